#pragma once
// Several simulated amplifiers on one serial line.
//
// The bus is pure logic on an explicit time base: bytes written by the program go in with the
// time they arrived, replies come out as bytes with the time they reach the line. Nothing here
// sleeps or reads a clock, so tests drive it without a terminal and without real time; the
// serial server (SerialServer.h) is a thin event loop around it.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

#include "link/CommandFrame.h"
#include "sim/Amplifier.h"
#include "sim/BusRecord.h"

namespace talvo::sim {

struct BusOptions {
    // One byte at 38400 baud 8N1 (ten bits): replies take this long per byte on the line.
    double byteTimeMs = 10.0 / 38.4;
    // Leeway for the record's timing flags, for time stamps taken by a loaded machine.
    double timingToleranceMs = 0.0;
    // A frame whose bytes stop for longer than this is abandoned, as an amplifier's receiver
    // would time out; 0 = wait for ever. Generous, because a sender thread on a busy machine
    // can stall between two bytes, and losing its frame would be worse than the wait.
    double interByteTimeoutMs = 500.0;
    // The largest data count taken as a frame (the program's sender holds 26 at most).
    int maxDataBytes = 26;
};

class Bus {
public:
    explicit Bus(const BusOptions &options = BusOptions());

    Amplifier &addAmplifier(const AmplifierConfig &config);
    std::size_t amplifierCount() const { return amps_.size(); }
    Amplifier &amplifier(std::size_t i) { return *amps_.at(i); }

    // Bytes written by the program, all arriving at atMs (times must not go backwards).
    void receive(QByteArrayView bytes, double atMs);
    // A whole frame written as the sender writes it: one byte every byteGapMs from startMs.
    // Returns the time of its last byte.
    double receiveFrame(const CommandFrame &frame, double startMs, double byteGapMs = kByteGapMs);
    // The same for raw bytes (broken frames, garbage).
    double receivePaced(QByteArrayView bytes, double startMs, double byteGapMs = kByteGapMs);

    // Line output due at or before nowMs, in the order the bytes reach the line.
    QByteArray takeDue(double nowMs);
    QByteArray takeAll();
    // When the next pending output byte is due; empty when nothing is pending.
    std::optional<double> nextDueMs() const;

    // Records bytes still waiting for a start mark as garbage (at the end of a session).
    void flush();

    BusRecord &record() { return record_; }
    const BusRecord &record() const { return record_; }

private:
    struct RxByte {
        std::uint8_t value;
        double atMs;
    };
    struct Span {
        std::size_t replyIndex;
        const Amplifier *amp;
        double startMs;
        double endMs;
    };

    void parse();
    void dropAsGarbage(std::size_t count);
    void flushGarbage();
    void takeFrame(std::size_t size);
    void schedule(Amplifier &amp, const AmplifierReply &reply, int frameIndex, double frameEndMs);

    BusOptions options_;
    std::vector<std::unique_ptr<Amplifier>> amps_;
    std::deque<RxByte> rx_;
    GarbageRecord pendingGarbage_;
    std::multimap<double, std::uint8_t> tx_;  // equal times keep their insertion order
    std::vector<Span> spans_;                 // replies that may still overlap later ones
    BusRecord record_;
    int frameCount_ = 0;
};

}  // namespace talvo::sim
