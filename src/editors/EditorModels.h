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

#include <QObject>

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

private:
    void applyStages(const Program &program);

    ProgramApplier &applier_;
    GainModel *gains_[2];
    DelayModel *delays_[2];
    LimiterModel *limiters_[2];
    CrossoverModel *crossovers_[2];
    ModeController *modes_;
};

}  // namespace talvo
