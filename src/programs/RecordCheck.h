#pragma once
// The one check of a program record against the values the editors can produce. Every record
// that comes from outside (a program or memory file, the JSON of talvoctl pack) passes it
// before anything of it is shown or sent: a band at +110 dB, a Q of 173 or a delay of 220 ms is
// no program this system wrote, and the amplifier would be given values no editor can show.
//
// Checked: every value an editor holds (the three PEQ bands, both crossover filters, gain,
// delay, limiter and phase of each channel) and every hundredths byte (0..99). Not checked:
// the name (raw code-page bytes), the mode (above 2 is taken as Stereo), inUse, the program
// number and the filler bytes, which readers ignore.

#include <optional>

#include <QString>

#include "programs/ProgramRecord.h"

namespace talvo {

// The first field out of range, in record order.
struct RecordFault {
    QString key;   // the field as the record's JSON names it: "left.peq[0].gain"
    QString what;  // "110.2 is out of range (-12 to 12)"

    // "left.peq[0].gain: 110.2 is out of range (-12 to 12)"
    QString text() const { return key + QStringLiteral(": ") + what; }
};

std::optional<RecordFault> CheckRecordValues(const RecordImage &record);

}  // namespace talvo
