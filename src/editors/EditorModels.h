#pragma once
// Every editor model of both channels and the mode controller, created once and kept for the
// whole run (by the application, talvoctl or a test), and joined to applying: a program that
// is applied shows in every model, and its mode runs the mode steps.
//
// Applying lands here in this order: the mode steps (with ResetGainEditors), the gains, then
// the delays (both to 0 first), the phase boxes, the limiter thresholds and the limiter times,
// then the crossovers (low-pass before high-pass, each redrawing its curve), left before
// right. Nothing is sent while applying except the mode steps' 198 and 195 frames, which the
// callers' disabled sending drops.
//
// Gathering goes the other way: every model's current state collected into one record, which
// gives back the channel blocks of the record last applied byte for byte (a muted channel
// gathers as -100.00 dB whatever gain it was applied with).

#include <QObject>
#include <QString>

#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class CrossoverModel;
class DelayModel;
class GainModel;
class LimiterModel;
class Link;
class ModeController;
class ProgramApplier;
struct Program;

class EditorModels : public QObject {
    Q_OBJECT
public:
    EditorModels(AppState &state, Link &link, ProgramApplier &applier, QObject *parent = nullptr);
    ~EditorModels() override;

    // kLeftChannel (0) / kRightChannel (1).
    GainModel &gain(int channel);
    DelayModel &delay(int channel);
    LimiterModel &limiter(int channel);
    CrossoverModel &crossover(int channel);
    ModeController &modes() { return *modes_; }

    // The editors collected into gatherBuffer (and returned): the gather header (name ten
    // letters D, the current mode, in use, program number 255, tail 20 20 20), then both
    // channels as the models hold them.
    RecordImage GatherProgram();
    // The editors gathered under the saved-file header (the name taken from the path's base
    // name) and written through a temporary file that replaces `path` only when complete.
    FileResult WriteProgramFile(const QString &path);

private:
    void applyStages(const Program &program);
    ChannelSettings gatherChannel(int channel) const;

    AppState &state_;
    ProgramApplier &applier_;
    GainModel *gains_[2];
    DelayModel *delays_[2];
    LimiterModel *limiters_[2];
    CrossoverModel *crossovers_[2];
    ModeController *modes_;
};

}  // namespace talvo
