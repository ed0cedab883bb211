#pragma once
// The one clock every wait and pause takes its time from.
//
// Times are "nominal" milliseconds: what the protocol speaks of (6 ms per byte, 150 ms of
// pacing). The program runs at speed 1; tests may raise the speed so that a nominal
// millisecond passes faster in real time. Nothing here spins: sleeps block the thread.
//
// Holds (tests only). A sped-up clock shrinks every window the program gives an amplifier to
// answer in; a loaded machine may then wake the simulator, or the program's own I/O thread, after
// the window is over, and a test fails for the machine's sake. So a thread that has something
// due at a nominal time (a reply the simulator will write, the I/O thread's next byte) or a byte
// that is on its way to the other end of a line holds the clock there: nominal time does not
// pass a hold until it is released. A late thread then costs real time only, never a window.
// Holds are off unless enableHolds() was called (the tests' mains do); each lasts at most
// kHoldLimit of real time, so that one nobody releases slows a test down but cannot hang it.

#include <chrono>
#include <cstdint>

namespace talvo {

class Clock {
public:
    using RealClock = std::chrono::steady_clock;
    using HoldId = std::uint64_t;  // 0: no hold

    // Nominal milliseconds since the process first used the clock (fractional).
    static double nowMs();
    // Blocks the calling thread until nowMs() >= deadlineMs.
    static void sleepUntilMs(double deadlineMs);
    static void sleepForMs(double ms) { sleepUntilMs(nowMs() + ms); }

    // Real time that a nominal span takes at the current speed.
    static std::chrono::nanoseconds toReal(double nominalMs);
    // The same, rounded up to whole milliseconds: what a QTimer can be given without firing early.
    static std::chrono::milliseconds toRealCeilMs(double nominalMs);
    // Real point in time at which nowMs() reaches deadlineMs if nothing holds the clock on the
    // way; a waiter looks again when it gets there.
    static RealClock::time_point realDeadline(double deadlineMs);

    // 1.0 = real time. Changed only while nothing is being timed (tests only); the nominal
    // clock goes on from where it was, at the new speed.
    static void setSpeed(double speed);
    static double speed();

    static void enableHolds(bool on);
    static bool holdsEnabled();
    // Nominal time stops at atMs (or where it is, if it is already past) until the hold is
    // released. Returns 0, and holds nothing, while holds are off.
    static HoldId hold(double atMs, const char *who);
    // A waiter that finds the clock standing at a hold looks again after this much real time at
    // the soonest, instead of at once.
    static constexpr std::chrono::microseconds kHeldRecheck{200};
    static void release(HoldId id);
    static constexpr std::chrono::milliseconds kHoldLimit{5000};
    // How late (nominal ms) a thread or a byte on its way may be before the clock waits for it:
    // a few milliseconds cost no window anything (the shortest leaves a hundred to spare), and
    // they spare the clock stopping at every byte for a thread that is only a little slow.
    static constexpr double kLineSlackMs = 5;   // a byte on its way, a reply byte falling due
    static constexpr double kStepSlackMs = 1;   // the I/O thread's next byte or pause
};

// One hold that moves: where a thread's next due time is, or nowhere.
class ClockHold {
public:
    // `who` names the holder in the warning about a hold nobody released.
    explicit ClockHold(const char *who) : who_(who) {}
    ~ClockHold() { clear(); }
    ClockHold(const ClockHold &) = delete;
    ClockHold &operator=(const ClockHold &) = delete;

    void at(double nominalMs)
    {
        if (id_ != 0 && atMs_ == nominalMs)
            return;
        const Clock::HoldId old = id_;
        id_ = Clock::hold(nominalMs, who_);  // the new one first: the clock never runs in between
        atMs_ = nominalMs;
        Clock::release(old);
    }
    void clear()
    {
        Clock::release(id_);
        id_ = 0;
    }

private:
    const char *who_;
    Clock::HoldId id_ = 0;
    double atMs_ = 0;
};

}  // namespace talvo
