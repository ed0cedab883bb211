#pragma once
// Drives a simulated bus the way the program does: frames built with the core codec go in
// paced like the sender writes them, the line output goes through the core reply parser.

#include <initializer_list>

#include "link/CommandFrame.h"
#include "link/ReplyParser.h"
#include "sim/Bus.h"

namespace talvo::sim::testing {

inline CommandFrame Frame(std::uint8_t id, std::uint8_t command, std::initializer_list<std::uint8_t> data,
                          std::uint16_t sub = 0)
{
    CommandFrame f;
    f.address = id;
    f.subAddressHigh = static_cast<std::uint8_t>(sub >> 8);
    f.subAddressLow = static_cast<std::uint8_t>(sub & 0xFF);
    f.set(command, data);
    return f;
}

struct Harness {
    Bus bus;
    ReplyFields fields;
    ReplyParser parser{fields};
    double now = 0.0;  // nominal ms; the next frame starts here
    QByteArray lastLine;  // what the line carried back for the last frame

    explicit Harness(const BusOptions &options = BusOptions()) : bus(options) {}

    Amplifier &add(const AmplifierConfig &config = AmplifierConfig()) { return bus.addAmplifier(config); }

    // One frame as the sender writes it (6 ms per byte, then its pacing delay); whatever the
    // line carries back before the next frame could start goes through the parser.
    // replyAddress is cleared first, as the send operations do.
    QByteArray send(const CommandFrame &f)
    {
        fields.replyAddress = 0;
        const double last = bus.receiveFrame(f, now);
        now = last + kByteGapMs + PacingDelayMs(f.command);
        lastLine = bus.takeDue(now);
        parser.ParseReplyBytes(lastLine);
        return lastLine;
    }

    // A program read request for block k (1..8) of program n; true when the block arrived.
    bool requestBlock(std::uint8_t id, int k, int n, std::uint16_t sub = 0)
    {
        fields.block(k).received = 0;
        send(Frame(id, static_cast<std::uint8_t>(230 + k), {static_cast<std::uint8_t>(n)}, sub));
        return fields.block(k).received == 100;
    }

    bool requestStatus(std::uint8_t id, std::uint16_t sub = 0)
    {
        fields.statusBlock().received = 0;
        send(Frame(id, 239, {100}, sub));
        return fields.statusBlock().received == 100;
    }

    // Blocks 1..7 of program n as the program reassembles them; false when one is missing.
    bool readRecord(std::uint8_t id, int n, RecordImage &out, std::uint16_t sub = 0)
    {
        for (int k = 1; k <= kRecordBlockCount; ++k) {
            if (!requestBlock(id, k, n, sub))
                return false;
            std::copy(fields.block(k).bytes.begin(), fields.block(k).bytes.end(), out.begin() + 16 * (k - 1));
        }
        return true;
    }
};

}  // namespace talvo::sim::testing
