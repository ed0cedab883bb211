#pragma once
// The live values of a connected amplifier by key, as `talvoctl set` and the room remote take
// them: "left.gain" = "-12.5", "right.peq.2.freq" = "1k", "mode" = "bridge". Each change is
// checked on its own (the key known, the value in the editor's range), then the changes are
// gathered into steps (the keys of one crossover filter or one PEQ band make one frame), the
// parts not given are filled from the program the amplifier runs, and each step goes out
// through the editor model the desktop window drives, with exactly the frame that editor sends.
//
// Widget-free; the callers decide where the running program comes from (the read-out of a
// connect, or the models as they stand) and what to say about each step.

#include <optional>
#include <vector>

#include <QString>

#include "editors/CrossoverModel.h"
#include "programs/PeqBand.h"
#include "state/ProgramApply.h"
#include "programs/ProgramRecord.h"

namespace talvo {

class EditorModels;
class PeqEditorModel;

// Decimal, or hexadecimal with 0x; nothing else, so that a typo never becomes another value.
std::optional<long long> ParseWholeNumber(const QString &text, long long min, long long max);
// A plain decimal number: an optional sign, up to nine digits either side of the point.
std::optional<double> ParseDecimalText(const QString &text);

enum class LiveStage { Gain, Delay, Threshold, Hold, Attack, Decay, Phase, Mode, Filter, Band };

// The parts of a crossover filter and of a PEQ band.
enum class LivePart { Slope, Freq, Gain, Q, Flat };

struct LiveChange {
    QString key;
    LiveStage stage = LiveStage::Gain;
    int channel = kLeftChannel;
    // In the stage's slider positions (phase: degrees; mode: Mode; a filter's frequency: its
    // CrossoverTable index; a band's frequency: Hz on the PEQ grid; flat: 1 or 0).
    double value = 0;
    bool special = false;                        // gain `muted`, threshold `off`
    XoverFilter filter = XoverFilter::HighPass;  // LiveStage::Filter
    int band = 0;                                // LiveStage::Band, 1..3
    LivePart part = LivePart::Slope;             // LiveStage::Filter and LiveStage::Band
};

// One key and its value, checked; `problem` names what is wrong (with "KEY=VALUE" quoted) when
// the result is empty.
// An unknown key's message ends with `keysHint` in parentheses, when given.
std::optional<LiveChange> ParseLiveChange(const QString &key, const QString &value, QString &problem,
                                          const QString &keysHint = QString());
// The same from "KEY=VALUE".
std::optional<LiveChange> ParseLivePair(const QString &pair, QString &problem, const QString &keysHint = QString());

// One frame's worth of changes: a single change, or every key of one filter or one band (the
// first of them in `first`), with the parts resolved against the running program.
struct LiveStep {
    LiveChange first;
    std::optional<int> slope;     // filter
    std::optional<int> position;  // filter
    std::optional<double> freq;   // band
    std::optional<double> gain;
    std::optional<double> q;
    std::optional<bool> flat;
    bool afterMode = false;  // a mode change (which resets every setting) comes before it
    // Resolved before anything is sent.
    int resolvedSlope = 0;
    int resolvedPosition = 0;
    PeqBand resolvedBand;
    bool resolvedFlat = false;

    bool grouped() const { return first.stage == LiveStage::Filter || first.stage == LiveStage::Band; }
    bool sameGroup(const LiveChange &c) const;
    // "left.highPass", "right.peq.2"; a single change's key otherwise.
    QString name() const;
    // Everything the frame holds was given.
    bool complete() const;
};

std::vector<LiveStep> GatherLiveSteps(const std::vector<LiveChange> &changes);

// Whether the steps would leave a channel's high-pass above its low-pass: followed through the
// steps from the running program (unknown when `running` is null, until a mode change resets
// it), looked at before every mode change and at the end. Gives what is wrong.
std::optional<QString> LiveCrossoverConflict(const std::vector<LiveStep> &steps, const Program *running);

// Fills the parts of each filter and band that were not given from the running program (or,
// after a mode change, the default program). Gives what is wrong when a filter's running slope
// is none of the 16 and no slope was given.
std::optional<QString> ResolveLiveSteps(std::vector<LiveStep> &steps, const Program &running);

// Sends one step through its editor (with SendCommand, so none is dropped) and gives what the
// editor shows for it ("-12.5dB", "muted", "12dB Butterworth 80.3Hz", ...).
QString SendLiveStep(EditorModels &models, PeqEditorModel &peq, const LiveStep &step);

// "stereo", "bridge", "mono".
const char *LiveModeName(Mode mode);

}  // namespace talvo
