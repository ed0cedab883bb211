// talvoctl test: the sine and noise tests from a script, through the same controllers the Test
// menu and the sine generator window use. Every argument is checked before the port is
// touched; then the amplifier is connected as the Connect window does, the test mode entered
// (the whole entry the Test menu runs), the test signal's level and the sine frequency sent,
// or the generator's sweep run for a while, and the amplifier disconnected. The test mode is
// left as the amplifier has it.

#include <cmath>
#include <optional>

#include <QLocale>

#include "CliSupport.h"
#include "Commands.h"
#include "devices/ConnectProcedure.h"
#include "editors/EditorModels.h"
#include "editors/FrequencyText.h"
#include "editors/GainModel.h"
#include "editors/ModeController.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"
#include "testsignal/TestSignalController.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "test";

const char *const kTestUsage =
    "usage: talvoctl test --port PORT --id N [--sub S] MODE [--level DB]\n"
    "\n"
    "Connects as `talvoctl connect` does, puts the amplifier into a test mode as the Test menu\n"
    "does (every setting back to the default program, both inputs muted), prints ONLINE and\n"
    "one line per step, and disconnects. MODE is one of:\n"
    "  sine [FREQ]              sine test; FREQ in Hz (a `k` suffix allowed: 2.5k),\n"
    "                           19.7..20200, taken to the next frequency of the generator's\n"
    "                           grid at or above it\n"
    "  noise                    noise test (no frequency)\n"
    "  sweep [--speed 1..50] [--seconds S]\n"
    "                           sine test, then the generator sweeps up and down its grid,\n"
    "                           SPEED grid steps every 60 ms (default 1), for S seconds\n"
    "                           (default 10); prints each frequency sent\n"
    "  --level DB               the test signal's level on both channels, -60..6 dB in steps\n"
    "                           of 0.1 (left, then right), sent after entering the test mode\n"
    "\n"
    "The amplifier stays in the test mode after the command ends. A mode change leaves it\n"
    "(`talvoctl set --port PORT --id N mode=stereo`), as choosing a mode in the Mode menu does.\n"
    "Anything out of range or unknown is refused before anything is sent (exit 2). Exit 1 when\n"
    "the amplifier does not answer (OFFLINE) or the port fails.\n";

constexpr double kLevelMin = -60;
constexpr double kLevelMax = 6;
constexpr double kFrequencyMax = 20200;
constexpr double kDefaultSweepSeconds = 10;
constexpr double kSweepSecondsMax = 3600;
// The longest wait for frames still queued when the command ends: a few frames and pauses.
constexpr double kDrainMs = 3000;

enum class TestKind { Sine, Noise, Sweep };

struct TestRequest {
    TestKind kind = TestKind::Sine;
    std::optional<double> levelDb;
    std::optional<int> gridIndex;  // sine: the frequency's grid index
    int speed = 1;
    double seconds = kDefaultSweepSeconds;
};

std::optional<double> ParseDecimal(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Everything checked; nullopt with `problem` set when something is wrong.
std::optional<TestRequest> ParseTest(const QStringList &positional, const std::optional<QString> &level,
                                     const std::optional<QString> &speed, const std::optional<QString> &seconds,
                                     QString &problem)
{
    TestRequest r;
    if (positional.isEmpty()) {
        problem = QStringLiteral("no MODE: give sine, noise or sweep (see talvoctl test --help)");
        return std::nullopt;
    }
    const QString &mode = positional.first();
    if (mode == QLatin1String("sine")) {
        r.kind = TestKind::Sine;
    } else if (mode == QLatin1String("noise")) {
        r.kind = TestKind::Noise;
    } else if (mode == QLatin1String("sweep")) {
        r.kind = TestKind::Sweep;
    } else {
        problem = QStringLiteral("unknown MODE '%1': give sine, noise or sweep").arg(mode);
        return std::nullopt;
    }

    if (positional.size() > 2) {
        problem = QStringLiteral("unexpected argument '%1'").arg(positional[2]);
        return std::nullopt;
    }
    if (positional.size() == 2 && r.kind != TestKind::Sine) {
        problem = QStringLiteral("%1 takes no frequency ('%2'); only sine does").arg(mode, positional[1]);
        return std::nullopt;
    }
    if (positional.size() == 2) {
        const std::optional<double> hz = ParseFrequencyText(positional[1], QLocale::c());
        if (!hz || *hz < kSineFrequencyMin || *hz > kFrequencyMax) {
            problem = QStringLiteral("frequency '%1' is not 19.7..20200 Hz").arg(positional[1]);
            return std::nullopt;
        }
        r.gridIndex = SineGridIndexAtOrAbove(*hz);
    }

    if (level) {
        const std::optional<double> db = ParseDecimal(*level);
        if (!db || *db < kLevelMin || *db > kLevelMax) {
            problem = QStringLiteral("--level '%1' is not -60..6 dB").arg(*level);
            return std::nullopt;
        }
        r.levelDb = db;
    }
    if ((speed || seconds) && r.kind != TestKind::Sweep) {
        problem = QStringLiteral("%1 is for sweep only").arg(speed ? QStringLiteral("--speed") : QStringLiteral("--seconds"));
        return std::nullopt;
    }
    if (speed) {
        const std::optional<long long> n = ParseNumber(*speed, kSweepStepMin, kSweepStepMax);
        if (!n) {
            problem = QStringLiteral("--speed '%1' is not 1..50").arg(*speed);
            return std::nullopt;
        }
        r.speed = static_cast<int>(*n);
    }
    if (seconds) {
        const std::optional<double> s = ParseDecimal(*seconds);
        if (!s || *s <= 0 || *s > kSweepSecondsMax) {
            problem = QStringLiteral("--seconds '%1' is not above 0 and at most 3600").arg(*seconds);
            return std::nullopt;
        }
        r.seconds = *s;
    }
    return r;
}

// Once the amplifier is in the test mode: the levels, the frequency or the sweep, each frame
// printed as it goes.
void SendTestSignal(const TestRequest &test, EditorModels &models, SineGenerator &generator, Link &link, QTextStream &out)
{
    out << (test.kind == TestKind::Noise ? "noise test" : "sine test") << '\n';
    if (test.levelDb) {
        for (int ch : {kLeftChannel, kRightChannel}) {
            GainModel &gain = models.gain(ch);
            gain.CommitPosition(*test.levelDb * 10.0);
            out << (ch == kLeftChannel ? "left" : "right") << ".level " << gain.valueText() << ' '
                << FrameText(link.state().outFrame) << '\n';
        }
    }
    if (test.gridIndex) {
        generator.CommitIndex(*test.gridIndex);
        out << "frequency " << generator.frequencyText() << ' ' << FrameText(link.state().outFrame) << '\n';
    }
    out.flush();
    if (test.kind != TestKind::Sweep)
        return;
    const QMetaObject::Connection shown = QObject::connect(&generator, &SineGenerator::frequencySent, [&out](double hz) {
        out << "sweep " << FormatFrequency(hz) << '\n';
        out.flush();
    });
    generator.SetSweepStep(test.speed);
    generator.Shown();
    generator.AutoClicked();
    link.WaitUnlessLost(test.seconds * 1000.0);
    generator.Closed();
    QObject::disconnect(shown);
}

}  // namespace

int RunTestCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kTestUsage))
        return kExitOk;
    QString problem;
    const std::optional<CommandLine> line = ParseCommandLine(
        args, {kAmplifierOptions + QStringList{"--level", "--speed", "--seconds"}, {}, true}, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl test --help)"));
    const std::optional<QString> portText = line->value("--port");
    const std::optional<ConnectRequest> request = ConnectRequestFrom(
        portText, line->value("--id"), line->value("--sub"), false, kName, QStringLiteral("see talvoctl test --help"), err);
    if (!request)
        return kExitRefused;
    const std::optional<TestRequest> test =
        ParseTest(line->positional, line->value("--level"), line->value("--speed"), line->value("--seconds"), problem);
    if (!test)
        return Refuse(err, kName, problem);
    int status = kExitOk;
    const std::unique_ptr<AmplifierSession> session = OpenSession(*portText, kName, err, status);
    if (!session)
        return status;
    AppState &state = session->state;
    Link &link = session->link;
    ProgramApplier &applier = session->applier;
    EditorModels models(state, link, applier);
    TestModeController tests(state, link, applier, models.modes(), models.gain(kLeftChannel), models.gain(kRightChannel));
    SineGenerator generator(state, link);
    ConnectController connect(state, link, session->linkController, applier);

    const bool online = connect.Connect(*request);
    out << (online ? kOnlineText : kOfflineText) << '\n';
    out.flush();
    int lostFrames = 0;
    bool portGone = false;
    QObject::connect(&link, &Link::portLost, [&portGone] { portGone = true; });
    if (!online) {
        const QString why = ConnectFailureClause(connect.LastOutcome(), request->id, *portText);
        if (!why.isEmpty())
            err << "talvoctl test: " << why << "; no test was started\n";
    } else {
        // Whatever connecting left on the wire goes first: the noise test closes the port.
        link.WaitForIdle(kDrainMs);
        // A frame the I/O thread could not write (or discarded) means a step did not go out.
        const QMetaObject::Connection lost = QObject::connect(&link, &Link::frameDone, [&lostFrames](bool written) {
            if (!written)
                ++lostFrames;
        });
        const bool noise = test->kind == TestKind::Noise;
        tests.EnterTestMode(noise ? kTestModeNoise : kTestModeSine);
        // A port lost on the way in was said as it happened; nothing after it went out.
        if (!link.PortLost())
            SendTestSignal(*test, models, generator, link, out);
        link.WaitForIdle(kDrainMs);
        QObject::disconnect(lost);
        if (lostFrames > 0 && !link.PortLost())
            err << "talvoctl test: " << lostFrames << " frame(s) could not be written to the port\n";
    }

    state.link.shuttingDown = kYes;
    connect.Disconnect();
    link.WaitForIdle(kDrainMs);
    err.flush();
    return online && lostFrames == 0 && !portGone ? kExitOk : kExitFailed;
}

}  // namespace talvo::cli
