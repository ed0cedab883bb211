#include "state/ProgramApply.h"

#include <algorithm>
#include <cmath>

#include "state/AppState.h"

namespace talvo {

int GainPosition(double gainDb)
{
    if (std::isnan(gainDb))
        return kGainPositionMin;
    // The slider takes whole positions; a record's hundredths round half to even, as the
    // slider's own rounding does.
    const double position = std::nearbyint(std::clamp(gainDb * 10.0, double(kGainPositionMin), double(kGainPositionMax)));
    return static_cast<int>(position);
}

double GainFromBytes(std::uint8_t whole, std::uint8_t hundredths, std::uint8_t sign)
{
    const double magnitude = JoinHundredths(whole, hundredths);
    return sign == kSignNegative ? -magnitude : magnitude;
}

ProgramApplier::ProgramApplier(AppState &state, QObject *parent) : QObject(parent), state_(state) {}

void ProgramApplier::ApplyProgram()
{
    // Decoded as a whole first: the steps below may wait with the event loop running, and
    // nothing that happens meanwhile may change what is being applied.
    const Program program = DecodeProgram(state_.programBuffer);

    const Mode mode = program.mode <= static_cast<std::uint8_t>(Mode::Mono) ? static_cast<Mode>(program.mode) : Mode::Stereo;
    state_.mode = mode;
    emit modeApplied(mode);
    if (modeSteps_)
        modeSteps_(mode);

    state_.peq.leftBands = program.left.peq;
    state_.peq.flatLeft = program.left.flat;
    state_.peq.rightBands = program.right.peq;
    state_.peq.flatRight = program.right.flat;

    SetInputGain(kLeftChannel, program.left.gain);
    SetInputGain(kRightChannel, program.right.gain);

    emit programApplied(program);
}

FileResult ProgramApplier::ApplyProgramFile(const QString &path)
{
    RecordImage record{};
    const FileResult result = ReadCheckedRecordFile(path, record);
    if (result.ok()) {
        state_.programBuffer = record;
        ApplyProgram();
    } else if (result.status == FileResult::Status::WrongLength) {
        LoadDefaultProgram();
    }
    // A file that cannot be read at all, or holds a value no editor produces, changes nothing;
    // the caller reports it.
    return result;
}

void ProgramApplier::LoadDefaultProgram()
{
    LinkState &link = state_.link;
    const bool reopen = link.sendEnabled.load() == 1;
    if (reopen) {
        link.sendEnabled.store(0);
        if (closePort_)
            closePort_();
    }
    state_.programBuffer = DefaultProgram();
    ApplyProgram();
    if (reopen) {
        if (openPort_)
            openPort_();  // a port that does not open shows when the next frame cannot be written
        link.sendEnabled.store(1);
    }
}

void ProgramApplier::SetInputGain(int channel, double gainDb)
{
    if (channel != kLeftChannel && channel != kRightChannel)
        return;
    InputGainState gain;
    if (std::isnan(gainDb) || gainDb <= kMuteThreshold) {
        gain.position = kGainPositionMin;
        gain.muted = kYes;
    } else {
        gain.position = GainPosition(gainDb);
        gain.muted = 0;
    }
    state_.inputGains[static_cast<std::size_t>(channel)] = gain;
    emit inputGainChanged(channel, gain.position, gain.muted == kYes);
}

void ProgramApplier::MuteInput(int channel)
{
    SetInputGain(channel, kMutedGain);
}

}  // namespace talvo
