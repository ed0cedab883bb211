#include "editors/EditorModels.h"

#include <algorithm>

#include "editors/CrossoverModel.h"
#include "editors/CrossoverTable.h"
#include "editors/DelayModel.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

namespace {

std::size_t side(int channel)
{
    return channel == kLeftChannel ? 0 : 1;
}

}  // namespace

EditorModels::EditorModels(AppState &state, Link &link, ProgramApplier &applier, QObject *parent)
    : QObject(parent), state_(state), applier_(applier)
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

namespace {

// A scroll position read as the frequency it stands for; a position outside the table (never
// left by the scroll limits) takes the nearest end.
double TableFrequency(int position)
{
    const auto &table = CrossoverTable();
    return table[static_cast<std::size_t>(std::clamp(position, 0, kCrossoverCount - 1))];
}

CrossoverFilter GatherFilter(const XoverFilterState &filter)
{
    // A list left without a valid selection gathers as -1, which the record stores as 255.
    return {filter.slope, TableFrequency(filter.position)};
}

}  // namespace

ChannelSettings EditorModels::gatherChannel(int channel) const
{
    const bool left = channel == kLeftChannel;
    ChannelSettings c;
    c.peq = left ? state_.peq.leftBands : state_.peq.rightBands;
    c.flat = left ? state_.peq.flatLeft : state_.peq.flatRight;

    const CrossoverModel &xover = *crossovers_[side(channel)];
    c.lowPass = GatherFilter(xover.filter(XoverFilter::LowPass));
    c.highPass = GatherFilter(xover.filter(XoverFilter::HighPass));

    const GainModel &g = *gains_[side(channel)];
    c.gain = g.muted() ? kMutedGain : g.position() / 10.0;
    c.delay = delays_[side(channel)]->position() / 100.0;

    const LimiterModel &lim = *limiters_[side(channel)];
    c.limitThreshold = lim.limiterOff() ? kLimiterOff : lim.value(LimiterParameter::Threshold);
    c.attack = lim.value(LimiterParameter::Attack);
    c.hold = lim.value(LimiterParameter::Hold);
    c.decay = lim.value(LimiterParameter::Decay);

    c.phase = modes_->phaseInverted(channel) ? kPhaseInverted : 0;
    c.channelTail = {0x20, 0x20, 0x20};
    return c;
}

RecordImage EditorModels::GatherProgram()
{
    Program p;
    p.name.fill('D');
    p.mode = static_cast<std::uint8_t>(state_.mode);
    p.inUse = 1;
    p.programNumber = 255;
    p.headerTail = {0x20, 0x20, 0x20};
    p.left = gatherChannel(kLeftChannel);
    p.right = gatherChannel(kRightChannel);
    state_.gatherBuffer = EncodeProgram(p);
    return state_.gatherBuffer;
}

FileResult EditorModels::WriteProgramFile(const QString &path)
{
    RecordImage record = GatherProgram();
    StampSavedHeader(record, path);
    return WriteRecordFile(path, record);
}

}  // namespace talvo
