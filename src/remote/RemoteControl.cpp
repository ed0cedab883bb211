#include "remote/RemoteControl.h"

#include <algorithm>
#include <cmath>

#include <QJsonValue>
#include <QLocale>
#include <QTimer>

#include "devices/ConnectProcedure.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverTable.h"
#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotLayout.h"
#include "state/AppState.h"
#include "testsignal/TestSignalController.h"

namespace talvo {

namespace {

const char *SideName(int channel)
{
    return channel == kLeftChannel ? "left" : "right";
}

double TableHz(int position)
{
    return CrossoverTable()[static_cast<std::size_t>(std::clamp(position, 0, kCrossoverCount - 1))];
}

// Two decimals at most, so that 0.1 x 3 shows as 0.3 and not as its binary neighbour.
double Hundredths(double v)
{
    return std::round(v * 100.0) / 100.0;
}

QJsonObject FilterJson(int slope, int position)
{
    return {{"slope", slope},
            {"slopeName", slope >= 0 && slope < kSlopeTypeCount ? QString::fromLatin1(SlopeTypeText(slope)) : QString()},
            {"position", position},
            {"freq", TableHz(position)}};
}

QJsonObject ChannelJson(const RemoteChannelView &c)
{
    QJsonArray bands;
    for (std::size_t b = 0; b < c.bands.size(); ++b)
        bands.append(QJsonObject{{"freq", c.bands[b].freq},
                                 {"gain", Hundredths(c.bands[b].gain)},
                                 {"q", Hundredths(c.bands[b].q)},
                                 {"flat", c.flats[b]}});
    return {{"gain", c.gainPosition / 10.0},
            {"muted", c.muted},
            {"gainEnabled", c.gainEnabled},
            {"muteEnabled", c.muteEnabled},
            {"delay", c.delayPosition / 100.0},
            {"limiterOn", c.limiterOn},
            {"limitThreshold", c.limiter[0]},
            {"limitThresholdDb", c.limiter[0] - 41},
            {"hold", c.limiter[1]},
            {"attack", c.limiter[2]},
            {"decay", c.limiter[3]},
            {"phase", c.phaseInverted ? int(kPhaseInverted) : 0},
            {"highPass", FilterJson(c.highPassSlope, c.highPassPosition)},
            {"lowPass", FilterJson(c.lowPassSlope, c.lowPassPosition)},
            {"peq", bands},
            {"curve", RemoteControl::CurveJson(c.bands, c.flats)}};
}

// A JSON value as it would be written after KEY= on talvoctl set's command line.
std::optional<QString> ValueText(const QJsonValue &v)
{
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (v.isString())
        return v.toString();
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return std::nullopt;
}

LimiterParameter ParameterOf(LiveStage stage)
{
    switch (stage) {
    case LiveStage::Hold:
        return LimiterParameter::Hold;
    case LiveStage::Attack:
        return LimiterParameter::Attack;
    case LiveStage::Decay:
        return LimiterParameter::Decay;
    default:
        return LimiterParameter::Threshold;
    }
}

}  // namespace

RemoteResult RemoteResult::Error(int status, const QString &message)
{
    return {status, QJsonObject{{"error", message}}};
}

RemoteControl::RemoteControl(const RemoteModels &models, QObject *parent) : QObject(parent), m_(models)
{
    connect(&m_.link, &Link::progressChanged, this, [this](int percent) {
        progress_ = percent;
        emit changed();
    });
}

RemoteView RemoteControl::View() const
{
    const AppState &s = m_.state;
    RemoteView v;
    v.online = s.link.linkActive == kYes;
    v.id = s.link.outFrame.address;
    v.subAddress = (s.link.outFrame.subAddressHigh << 8) | s.link.outFrame.subAddressLow;
    v.firmwareMajor = s.firmwareMajor;
    v.firmwareMinor = s.firmwareMinor;
    v.mode = static_cast<int>(s.mode);
    v.testMode = s.testMode;
    v.currentProgram = s.currentProgram;
    v.bridgeAvailable = s.bridgeAvailable;
    v.port = m_.portName ? m_.portName() : QString();
    v.progress = progress_;
    if (m_.connect && m_.connect->IsConnecting())
        v.busy = QStringLiteral("connect");
    else if (m_.linkController && m_.linkController->IsDisconnecting())
        v.busy = QStringLiteral("disconnect");
    else if (m_.editors.modes().IsChangingMode())
        v.busy = QStringLiteral("mode change");
    else if (m_.tests && m_.tests->IsEntering())
        v.busy = QStringLiteral("test mode entry");
    else if (m_.memory.IsBusy() || memoryRunning_)
        v.busy = QStringLiteral("memory transfer");
    v.reason = Refusal().value_or(QString());

    for (int ch : {kLeftChannel, kRightChannel}) {
        RemoteChannelView &c = v.channels[static_cast<std::size_t>(ch)];
        const GainModel &g = m_.editors.gain(ch);
        c.gainPosition = g.position();
        c.muted = g.muted();
        c.gainEnabled = g.sliderEnabled();
        c.muteEnabled = s.testMode == kTestModeNone;
        c.delayPosition = m_.editors.delay(ch).position();
        const LimiterModel &lim = m_.editors.limiter(ch);
        c.limiterOn = !lim.limiterOff();
        for (LimiterParameter p : kLimiterParameters)
            c.limiter[static_cast<std::size_t>(p)] = lim.value(p);
        c.phaseInverted = m_.editors.modes().phaseInverted(ch);
        const CrossoverModel &x = m_.editors.crossover(ch);
        c.highPassSlope = x.filter(XoverFilter::HighPass).slope;
        c.highPassPosition = x.filter(XoverFilter::HighPass).position;
        c.lowPassSlope = x.filter(XoverFilter::LowPass).slope;
        c.lowPassPosition = x.filter(XoverFilter::LowPass).position;
        // The open PEQ window edits its own copy of its channel's bands.
        const bool inWindow = m_.peq.isShown() && m_.peq.channel() == ch;
        c.bands = inWindow ? s.peq.workingBands : (ch == kLeftChannel ? s.peq.leftBands : s.peq.rightBands);
        c.flats = ch == kLeftChannel ? s.peq.flatLeft : s.peq.flatRight;
    }
    for (int n = 1; n <= kMemorySlotCount; ++n) {
        const SlotState &slot = m_.memory.slotState(n);
        v.memorySlots[static_cast<std::size_t>(n - 1)] = {slot.answered, slot.inUse, slot.name.trimmed()};
    }
    return v;
}

std::optional<QString> RemoteControl::Refusal() const
{
    const AppState &s = m_.state;
    QString busy;
    if (m_.connect && m_.connect->IsConnecting())
        busy = QStringLiteral("a connect");
    else if (m_.linkController && m_.linkController->IsDisconnecting())
        busy = QStringLiteral("a disconnect");
    else if (m_.editors.modes().IsChangingMode())
        busy = QStringLiteral("a mode change");
    else if (m_.tests && m_.tests->IsEntering())
        busy = QStringLiteral("the entry into a test mode");
    else if (m_.memory.IsBusy() || memoryRunning_)
        busy = QStringLiteral("a memory transfer");
    if (!busy.isEmpty())
        return QStringLiteral("busy: %1 is running; the controls are held until it ends").arg(busy);
    if (s.link.linkActive != kYes) {
        if (m_.link.PortLost())
            return QStringLiteral("OFFLINE: the port was lost (%1)").arg(m_.link.Loss().describe());
        return QStringLiteral("OFFLINE: no amplifier is connected");
    }
    if (s.testMode == kTestModeSine || s.testMode == kTestModeNoise)
        return QStringLiteral("the %1 test holds the controls until a mode is chosen on the desktop")
            .arg(s.testMode == kTestModeSine ? QStringLiteral("sine") : QStringLiteral("noise"));
    return std::nullopt;
}

QJsonArray RemoteControl::CurveJson(const PeqBands &bands, const PeqFlats &flats)
{
    // The rows the desktop's plot draws, back in dB: 0 dB at the curve's zero row, 50 rows to
    // 12 dB.
    const PeqCurve rows = CurveRows(bands, flats);
    QJsonArray curve;
    for (int row : rows)
        curve.append(Hundredths((kPeqCurveZeroRow - row) * 12.0 / 50.0));
    return curve;
}

QJsonObject RemoteControl::MemoryJson(const RemoteView &view)
{
    QJsonArray list;
    bool refreshed = false;
    for (int n = 1; n <= kMemorySlotCount; ++n) {
        const RemoteSlotView &s = view.memorySlots[static_cast<std::size_t>(n - 1)];
        refreshed = refreshed || s.answered;
        list.append(QJsonObject{{"slot", n}, {"answered", s.answered}, {"inUse", s.inUse}, {"name", s.name}});
    }
    return {{"refreshed", refreshed}, {"current", view.currentProgram}, {"slots", list}};
}

QJsonObject RemoteControl::StateJson(const RemoteView &v)
{
    QJsonObject link{{"online", v.online},
                     {"status", QString::fromLatin1(v.online ? kOnlineText : kOfflineText)},
                     {"id", v.id},
                     {"sub", v.subAddress},
                     {"firmware", QStringLiteral("%1.%2").arg(v.firmwareMajor).arg(v.firmwareMinor)},
                     {"mode", QString::fromLatin1(LiveModeName(static_cast<Mode>(v.mode)))},
                     {"program", v.currentProgram},
                     {"bridge", v.bridgeAvailable},
                     {"port", v.port}};
    const QString test = v.testMode == kTestModeSine    ? QStringLiteral("sine")
                         : v.testMode == kTestModeNoise ? QStringLiteral("noise")
                                                        : QString();
    return {{"link", link},
            {"busy", v.busy},
            {"reason", v.reason},
            {"test", test},
            {"progress", v.progress},
            {"channels", QJsonObject{{"left", ChannelJson(v.channels[0])}, {"right", ChannelJson(v.channels[1])}}},
            {"memory", MemoryJson(v)}};
}

QJsonObject RemoteControl::Tables()
{
    QJsonArray crossover;
    for (double hz : CrossoverTable())
        crossover.append(hz);
    QJsonArray slopes;
    for (int i = 0; i < kSlopeTypeCount; ++i)
        slopes.append(QString::fromLatin1(SlopeTypeText(i)));
    QJsonArray grid;
    for (double hz : PeqFrequencyTable())
        grid.append(hz);
    const auto range = [](double min, double max, double step) {
        return QJsonObject{{"min", min}, {"max", max}, {"step", step}};
    };
    return {{"crossover", crossover},
            {"slopes", slopes},
            {"peqGrid", grid},
            {"highPass", QJsonObject{{"lowest", kHighPassLowest}, {"highest", kHighPassHighest}}},
            {"lowPass", QJsonObject{{"lowest", kLowPassLowest}, {"highest", kLowPassHighest}}},
            {"gain", range(kGainSliderMin / 10.0, kGainSliderMax / 10.0, 0.1)},
            {"delay", range(0, kDelaySliderMax / 100.0, 0.01)},
            {"limitThreshold", range(0, 64, 1)},
            {"hold", range(0, 100, 1)},
            {"attack", range(10, 1000, 1)},
            {"decay", range(10, 1000, 1)},
            {"peqGain", range(kPeqMinGain, kPeqMaxGain, 0.1)},
            {"peqQ", range(kPeqMinQ, kPeqMaxQ, 0.1)},
            {"curveZeroRow", kPeqCurveZeroRow},
            {"memorySlots", kMemorySlotCount}};
}

Program RemoteControl::liveProgram() const
{
    // What resolving and the crossover check look at: the filters and bands as the models
    // hold them now.
    const RemoteView v = View();
    Program p{};
    for (int ch : {kLeftChannel, kRightChannel}) {
        const RemoteChannelView &c = v.channels[static_cast<std::size_t>(ch)];
        ChannelSettings &s = ch == kLeftChannel ? p.left : p.right;
        s.highPass = {c.highPassSlope, TableHz(c.highPassPosition)};
        s.lowPass = {c.lowPassSlope, TableHz(c.lowPassPosition)};
        s.peq = c.bands;
        s.flat = c.flats;
    }
    return p;
}

std::optional<std::vector<LiveChange>> RemoteControl::parse(const QJsonObject &values, QString &problem) const
{
    if (values.isEmpty()) {
        problem = QStringLiteral("nothing to set: give at least one key and value");
        return std::nullopt;
    }
    std::vector<LiveChange> changes;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key() == QLatin1String("mode")) {
            problem = QStringLiteral("'mode' is not a channel value: the mode is changed on the desktop or with talvoctl set");
            return std::nullopt;
        }
        const std::optional<QString> text = ValueText(it.value());
        if (!text) {
            problem = QStringLiteral("'%1': the value is a number or a text").arg(it.key());
            return std::nullopt;
        }
        std::optional<LiveChange> change = ParseLiveChange(it.key(), *text, problem);
        if (!change)
            return std::nullopt;
        changes.push_back(*change);
    }
    return changes;
}

RemoteResult RemoteControl::Set(const QJsonObject &values)
{
    QString problem;
    const std::optional<std::vector<LiveChange>> changes = parse(values, problem);
    if (!changes)
        return RemoteResult::Error(400, problem);
    if (const std::optional<QString> refused = Refusal())
        return RemoteResult::Error(409, *refused);
    std::vector<LiveStep> steps = GatherLiveSteps(*changes);
    const Program running = liveProgram();
    std::optional<QString> wrong = LiveCrossoverConflict(steps, &running);
    if (!wrong)
        wrong = ResolveLiveSteps(steps, running);
    if (wrong)
        return RemoteResult::Error(400, *wrong);
    QJsonArray sent;
    for (const LiveStep &step : steps) {
        const QString shown = SendLiveStep(m_.editors, m_.peq, step);
        sent.append(QJsonObject{{"key", step.name()}, {"shown", shown}});
    }
    emit changed();
    return {200, QJsonObject{{"sent", sent}}};
}

RemoteResult RemoteControl::Edit(const QJsonObject &values, RemoteEdit how)
{
    QString problem;
    const std::optional<std::vector<LiveChange>> changes = parse(values, problem);
    if (!changes)
        return RemoteResult::Error(400, problem);
    if (const std::optional<QString> refused = Refusal())
        return RemoteResult::Error(409, *refused);
    std::vector<LiveStep> steps = GatherLiveSteps(*changes);
    if (steps.size() != 1)
        return RemoteResult::Error(400, QStringLiteral("one value, filter or band at a time"));
    LiveStep &step = steps.front();
    if (step.first.special || step.first.stage == LiveStage::Phase ||
        (step.first.stage == LiveStage::Band && step.first.part == LivePart::Flat && !step.freq && !step.gain && !step.q))
        return RemoteResult::Error(400, QStringLiteral("'%1' is no slider: set it instead").arg(step.first.key));
    if (const std::optional<QString> wrong = ResolveLiveSteps(steps, liveProgram()))
        return RemoteResult::Error(400, *wrong);
    RemoteResult result = editStep(step, how);
    emit changed();
    return result;
}

RemoteResult RemoteControl::editStep(const LiveStep &step, RemoteEdit how)
{
    const LiveChange &c = step.first;
    const bool finish = how == RemoteEdit::Finish;
    const QString side = QString::fromLatin1(SideName(c.channel));
    switch (c.stage) {
    case LiveStage::Gain: {
        GainModel &g = m_.editors.gain(c.channel);
        // The window's slider is disabled while the channel is muted: a gain would unmute it.
        if (!g.sliderEnabled())
            return RemoteResult::Error(409, QStringLiteral("the %1 gain is muted: unmute it first").arg(side));
        if (finish)
            g.FinishedElsewhere(c.value);
        else
            g.MovedElsewhere(c.value);
        return {200, QJsonObject{{"shown", g.valueText()}}};
    }
    case LiveStage::Delay: {
        DelayModel &d = m_.editors.delay(c.channel);
        d.PositionChanged(c.value);
        if (finish) {
            d.SliderReleased();
            d.PositionChangeFinished();
        }
        return {200, QJsonObject{{"shown", d.valueText()}}};
    }
    case LiveStage::Threshold:
    case LiveStage::Hold:
    case LiveStage::Attack:
    case LiveStage::Decay: {
        LimiterModel &lim = m_.editors.limiter(c.channel);
        const LimiterParameter p = ParameterOf(c.stage);
        if (p == LimiterParameter::Threshold && !lim.thresholdEnabled())
            return RemoteResult::Error(409, QStringLiteral("the %1 limiter is off: switch it on first").arg(side));
        lim.PositionChanged(p, c.value);
        if (finish) {
            lim.SliderReleased(p);
            lim.PositionChangeFinished(p);
        }
        return {200, QJsonObject{{"shown", lim.valueText(p)}}};
    }
    case LiveStage::Filter: {
        CrossoverModel &x = m_.editors.crossover(c.channel);
        // As the window's scroll bars: the high-pass never above the low-pass corner.
        int position = step.resolvedPosition;
        if (c.filter == XoverFilter::HighPass)
            position = std::min(position, x.filter(XoverFilter::LowPass).position);
        else
            position = std::max(position, x.filter(XoverFilter::HighPass).position);
        if (finish)
            x.CommitFilter(c.filter, step.resolvedSlope, position);
        else
            x.EditFilter(c.filter, step.resolvedSlope, position);
        return {200, QJsonObject{{"shown", x.filter(c.filter).text}}};
    }
    case LiveStage::Band:
        m_.peq.EditBand(c.channel, c.band, step.resolvedBand, step.resolvedFlat, finish);
        return {200, QJsonObject{{"shown", PeqFrequencyText(step.resolvedBand.freq)}}};
    case LiveStage::Phase:
    case LiveStage::Mode:
        break;
    }
    return RemoteResult::Error(400, QStringLiteral("'%1' is no slider: set it instead").arg(c.key));
}

RemoteResult RemoteControl::Mute(const QString &channel, bool muted)
{
    std::vector<int> channels;
    if (channel == QLatin1String("left") || channel == QLatin1String("both"))
        channels.push_back(kLeftChannel);
    if (channel == QLatin1String("right") || channel == QLatin1String("both"))
        channels.push_back(kRightChannel);
    if (channels.empty())
        return RemoteResult::Error(400, QStringLiteral("the channel is left, right or both"));
    if (const std::optional<QString> refused = Refusal())
        return RemoteResult::Error(409, *refused);
    QJsonObject shown;
    for (int ch : channels) {
        GainModel &g = m_.editors.gain(ch);
        // MUTE toggles, as the window's button does; pressed only when it changes something.
        if (g.muted() != muted)
            g.MuteClicked();
        shown.insert(QLatin1String(SideName(ch)), g.muted() ? QStringLiteral("muted") : g.valueText());
    }
    emit changed();
    return {200, shown};
}

void RemoteControl::runMemory(const std::function<MemoryOutcome()> &run,
                              const std::function<void(const RemoteResult &)> &done,
                              const std::function<RemoteResult()> &answer)
{
    if (const std::optional<QString> refused = Refusal()) {
        done(RemoteResult::Error(409, *refused));
        return;
    }
    memoryRunning_ = true;
    emit changed();
    // Started from the event loop, not from inside the request that asked for it: a transfer
    // waits with the loop running, and other requests are served meanwhile.
    QTimer::singleShot(0, this, [this, run, done, answer] {
        MemoryPrompts prompts = m_.memoryPrompts;
        QString told;
        // The request is the operator's answer; what goes wrong goes back to the caller.
        prompts.ask = [](const QString &, const QString &, bool) { return true; };
        prompts.tell = [&told](const QString &, const QString &text, bool) { told = text; };
        prompts.askName = [](ProgramNameState &dialog) { dialog.nameAccepted = 0; };
        m_.memory.SetPrompts(prompts);
        const MemoryOutcome outcome = run();
        m_.memory.SetPrompts(m_.memoryPrompts);
        memoryRunning_ = false;
        emit changed();
        if (!outcome.ok) {
            const QString message = outcome.message.isEmpty() ? told : outcome.message;
            done(RemoteResult::Error(502, message.isEmpty() ? QStringLiteral("the transfer failed") : message));
            return;
        }
        done(answer());
    });
}

void RemoteControl::Recall(int slot, const std::function<void(const RemoteResult &)> &done)
{
    if (slot < 1 || slot > kMemorySlotCount) {
        done(RemoteResult::Error(400, QStringLiteral("the slot is a whole number 1..%1").arg(kMemorySlotCount)));
        return;
    }
    runMemory([this, slot] { return m_.memory.Upload(slot); }, done, [this, slot]() -> RemoteResult {
        if (!m_.memory.slotState(slot).inUse)
            return RemoteResult::Error(409, QStringLiteral("slot %1 holds no program; nothing was recalled").arg(slot));
        return {200, QJsonObject{{"recalled", slot}}};
    });
}

void RemoteControl::RefreshMemory(const std::function<void(const RemoteResult &)> &done)
{
    runMemory([this] { return m_.memory.Refresh(); }, done, [this] { return RemoteResult{200, MemoryJson(View())}; });
}

}  // namespace talvo
