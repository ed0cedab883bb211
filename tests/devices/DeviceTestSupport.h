#pragma once
// What the connect and search tests on simulated amplifiers share: the clock's speed for
// procedures, the record a read-out should assemble, and a line that dies in the middle of a
// procedure.

#include <algorithm>
#include <cstdint>

#include "tests/support/SimLine.h"

namespace talvo::testing {

// The clock for procedures on the simulated bus (connects, searches, memory transfers). A
// sped-up clock shrinks every window the program gives an amplifier to answer; a thread that a
// loaded machine wakes late holds the clock instead of missing one (Clock's holds: the simulator
// for its next reply, the I/O thread for its next byte, either end for bytes on their way), so
// the speed is not bounded by the machine's load.
inline constexpr double kProcedureSpeed = 20;

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
