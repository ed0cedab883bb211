#pragma once
// What the connect and search tests on simulated amplifiers share: how fast the clock may run
// so that every wait for an answer still lasts long enough in real time for a loaded two-core
// machine, the record a read-out should assemble, and a line that dies in the middle of a
// procedure.
//
// A reply crosses three threads (the sender's byte pauses, the simulator's, the main thread's
// event loop), each of which a busy machine may wake late; a sped-up wait must leave room for
// that, or the suite fails only when the machine is busy.

#include <algorithm>
#include <cstdint>

#include "tests/support/SimLine.h"

namespace talvo::testing {

// Real time a loaded machine may need to get a reply across the simulated line and handled
// (measured: 80 ms was not always enough with parallel builds beside the tests).
inline constexpr double kLoadedMachineNeedMs = 150;

// The shortest answer windows of the procedures, in nominal milliseconds after the request's
// last byte:
// - the search's second probe: 320 ms of waits from the send, less its 13 bytes on the wire;
inline constexpr double kSearchAnswerWindowMs = 320 - 13 * 6;
// - a block request: its pacing, 49 short waits and 20 ms before `received` is looked at;
inline constexpr double kBlockAnswerWindowMs = 150 + 49 + 20;
// - the connect answer: looked at 0.4 s after the frame and its 30 ms of pacing.
inline constexpr double kConnectAnswerWindowMs = 30 + 400;

// The fastest clock at which a window of `nominalMs` still lasts kLoadedMachineNeedMs.
constexpr double SpeedKeeping(double nominalMs)
{
    return std::max(1.0, nominalMs / kLoadedMachineNeedMs);
}

using testsupport::PatientBus;

// The record a connect's read-out should assemble from an amplifier: its live program with the
// live gains over the stored ones.
inline RecordImage LiveRecord(const sim::Amplifier &amp)
{
    RecordImage r = amp.liveProgram();
    const auto gains = amp.liveGains();
    std::copy(gains.begin(), gains.begin() + 3, r.begin() + 48);
    std::copy(gains.begin() + 3, gains.end(), r.begin() + 96);
    return r;
}

// From the first frame with `command` on, amplifier `index` of the line answers nothing, as when
// the line dies there. Set before anything is sent; it runs on the simulator's thread as each
// frame is recorded, before the amplifier answers it.
inline void SilenceFrom(testsupport::SimLine &line, std::uint8_t command, std::size_t index = 0)
{
    sim::Bus &bus = line.bus();
    bus.record().sink = [&bus, command, index](const QJsonObject &) {
        const auto &frames = bus.record().frames;
        if (!frames.empty() && frames.back().frame.command == command)
            bus.amplifier(index).faults().noAnswer = true;
    };
}

}  // namespace talvo::testing
