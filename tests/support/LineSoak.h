#pragma once
// A long run of frames through the whole stack (link, I/O thread, line, simulated amplifiers
// with faults), and what the simulator's record says the program should have counted.
// Shared by the soak test and the soak benchmark.

#include <cstdint>
#include <vector>

#include "link/Clock.h"
#include "link/Link.h"
#include "sim/Amplifier.h"
#include "sim/BusRecord.h"

namespace talvo::testsupport {

// Two amplifiers with faults: ID 1 puts four random bytes before each reply and drops one
// reply in fifty; ID 2 cuts every reply short after twelve bytes (sync, ID, length, command and
// six data bytes).
inline std::vector<sim::AmplifierConfig> SoakAmplifiers()
{
    sim::AmplifierConfig noisy;
    noisy.id = 1;
    noisy.faults.garbageBytes = 4;
    noisy.faults.dropShare = 0.02;
    noisy.faults.seed = 20261210;
    sim::AmplifierConfig cut;
    cut.id = 2;
    cut.faults.cutShortTo = 12;
    return {noisy, cut};
}

inline int SoakAddress(int frame) { return frame % 4 == 3 ? 2 : 1; }

// Sends `count` search probes (the shortest frame with the shortest pacing, answered by every
// amplifier), three to ID 1 for each one to ID 2. Each probe waits for the first bytes of its
// answer (or, for a dropped one, a while) before the next goes out: the next frame is then
// queued while this one's pacing still runs, so the line does not idle. Returns once
// the last reply had time to arrive.
inline void SendSoakFrames(Link &link, int count)
{
    constexpr double kFrameMs = 13 * 6 + 30;
    constexpr double kAnswerWaitMs = 300;  // waited out only for dropped answers
    LinkState &s = link.state();
    for (int i = 0; i < count; ++i) {
        s.outFrame.address = static_cast<std::uint8_t>(SoakAddress(i));
        s.outFrame.subAddressHigh = 0;
        s.outFrame.subAddressLow = 0;
        s.outFrame.set(220, {110});
        link.SendCommand();  // clears replyAddress; a reply's ID byte sets it again
        link.WaitUntil([&s] { return s.reply.replyAddress != 0; }, kFrameMs + kAnswerWaitMs);
        // An answer later than the wait clears it for the next frame early; the queue stays
        // at this frame and the next however often that happens.
        link.WaitUntil([&s] { return s.pendingFrames.load() <= 1; }, kFrameMs * 2);
    }
    link.WaitForIdle(5000);
    link.WaitPumping(100);
}

// What the program should have counted, from the simulator's record.
struct SoakExpectation {
    std::int64_t framesRead = 0;     // frames with a good checksum
    std::int64_t wholeReplies = 0;   // replies that reached the line whole
    // A reply cut short is given up by the parser when the next reply's sync arrives: one
    // resynchronisation for each cut-short reply that a later reply follows on the line.
    std::int64_t resyncs = 0;
    std::int64_t dropped = 0;
    std::int64_t collided = 0;       // judged to touch another reply on the line: rare
};

inline SoakExpectation ExpectedFromRecord(const sim::BusRecord &record)
{
    SoakExpectation e;
    for (const sim::FrameRecord &f : record.frames)
        e.framesRead += f.checksumOk ? 1 : 0;
    bool cutWaiting = false;
    for (const sim::ReplyRecord &r : record.replies) {
        if (r.dropped || r.silent) {
            ++e.dropped;
            continue;
        }
        e.collided += r.collided ? 1 : 0;
        if (cutWaiting)
            ++e.resyncs;
        cutWaiting = r.cutShort;
        e.wholeReplies += r.cutShort ? 0 : 1;
    }
    return e;
}

}  // namespace talvo::testsupport
