#include "editors/EditorModels.h"

#include "editors/CrossoverModel.h"
#include "editors/DelayModel.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "programs/ProgramApply.h"
#include "state/AppState.h"

namespace talvo {

namespace {

std::size_t side(int channel)
{
    return channel == kLeftChannel ? 0 : 1;
}

}  // namespace

EditorModels::EditorModels(AppState &state, Link &link, ProgramApplier &applier, QObject *parent)
    : QObject(parent), applier_(applier)
{
    for (int ch : {kLeftChannel, kRightChannel}) {
        gains_[side(ch)] = new GainModel(ch, state, link, this);
        delays_[side(ch)] = new DelayModel(ch, state, link, this);
        limiters_[side(ch)] = new LimiterModel(ch, state, link, this);
        crossovers_[side(ch)] = new CrossoverModel(ch, state, link, this);
    }
    modes_ = new ModeController(state, link, applier, *gains_[0], *gains_[1], this);

    applier_.SetModeSteps([this](Mode mode) { modes_->ModeSteps(mode); });
    connect(&applier_, &ProgramApplier::inputGainChanged, this,
            [this](int channel, int position, bool muted) { gain(channel).Apply(position, muted); });
    connect(&applier_, &ProgramApplier::programApplied, this, &EditorModels::applyStages);
}

EditorModels::~EditorModels()
{
    applier_.SetModeSteps({});
}

GainModel &EditorModels::gain(int channel)
{
    return *gains_[side(channel)];
}

DelayModel &EditorModels::delay(int channel)
{
    return *delays_[side(channel)];
}

LimiterModel &EditorModels::limiter(int channel)
{
    return *limiters_[side(channel)];
}

CrossoverModel &EditorModels::crossover(int channel)
{
    return *crossovers_[side(channel)];
}

void EditorModels::applyStages(const Program &program)
{
    const ChannelSettings *channels[2] = {&program.left, &program.right};

    // Both delays to 0 first, then each to its own value.
    for (DelayModel *d : delays_)
        d->Apply(0);
    for (std::size_t i = 0; i < 2; ++i)
        delays_[i]->Apply(SliderPosition(channels[i]->delay * 100.0, kDelaySliderMin, kDelaySliderMax));

    modes_->ApplyPhase(kLeftChannel, program.left.phase);
    modes_->ApplyPhase(kRightChannel, program.right.phase);

    for (std::size_t i = 0; i < 2; ++i) {
        const ChannelSettings &c = *channels[i];
        limiters_[i]->Apply(c.limitThreshold, c.hold, c.attack, c.decay);
    }

    for (std::size_t i = 0; i < 2; ++i)
        crossovers_[i]->Apply(channels[i]->lowPass, channels[i]->highPass);
}

}  // namespace talvo
