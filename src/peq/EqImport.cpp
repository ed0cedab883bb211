#include "peq/EqImport.h"

#include "peq/PeqEditorModel.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {

QString EqChannelName(int channel)
{
    return channel == kLeftChannel ? QStringLiteral("LEFT") : QStringLiteral("RIGHT");
}

EqImportOutcome ImportMeasuredEq(const QString &path, EqChannels which, AppState &state, PeqEditorModel &peq)
{
    EqImportOutcome outcome;
    outcome.path = path;
    const MeasuredEqRead read = ReadMeasuredEqFile(path);
    if (!read.ok()) {
        outcome.error = read.error;
        return outcome;
    }
    std::vector<int> channels;
    if (which != EqChannels::Right)
        channels.push_back(kLeftChannel);
    if (which != EqChannels::Left)
        channels.push_back(kRightChannel);
    outcome.sent = state.link.sendEnabled.load() == 1 && state.link.linkActive == kYes;
    for (int channel : channels) {
        const PeqBands &current = channel == kLeftChannel ? state.peq.leftBands : state.peq.rightBands;
        EqChannelImport import{channel, PlanEqImport(*read.eq, current)};
        peq.ImportBands(channel, import.plan.bands, import.plan.flats);
        outcome.channels.push_back(std::move(import));
    }
    return outcome;
}

}  // namespace talvo
