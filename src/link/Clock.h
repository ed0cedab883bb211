#pragma once
// The one clock every wait and pause takes its time from.
//
// Times are "nominal" milliseconds: what the protocol speaks of (6 ms per byte, 150 ms of
// pacing). The program runs at speed 1; tests may raise the speed so that a nominal
// millisecond passes faster in real time. Nothing here spins: sleeps block the thread.

#include <chrono>
#include <cstdint>

namespace talvo {

class Clock {
public:
    using RealClock = std::chrono::steady_clock;

    // Nominal milliseconds since the process first used the clock (fractional).
    static double nowMs();
    // Blocks the calling thread until nowMs() >= deadlineMs.
    static void sleepUntilMs(double deadlineMs);
    static void sleepForMs(double ms) { sleepUntilMs(nowMs() + ms); }

    // Real time that a nominal span takes at the current speed.
    static std::chrono::nanoseconds toReal(double nominalMs);
    // The same, rounded up to whole milliseconds: what a QTimer can be given without firing early.
    static std::chrono::milliseconds toRealCeilMs(double nominalMs);
    // Real point in time at which nowMs() reaches deadlineMs.
    static RealClock::time_point realDeadline(double deadlineMs);

    // 1.0 = real time. Changed only while nothing is being timed (tests only); the nominal
    // clock goes on from where it was, at the new speed.
    static void setSpeed(double speed);
    static double speed();
};

}  // namespace talvo
