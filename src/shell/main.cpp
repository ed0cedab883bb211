// talvo: the TALVO Control program.
//
//   talvo                     the program on the remembered COM port
//   talvo --demo              the program on simulated amplifiers (IDs 1 and 3) inside the process
//   talvo --screenshot FILE   after start-up, save the main window as a PNG image and quit
//         [--window NAME]     ... or another window: connect, search (after a search of the
//                             first range), devices (the device list), or an editor with a
//                             program applied: gain-left, gain-right, delay-left, delay-right,
//                             limiter-left, limiter-right, peq-left, peq-right, xover-left,
//                             xover-right; the memory window after a Refresh of the demonstration
//                             amplifier ID 1 (memory), the manage window (manage), the program-name
//                             dialog (program-name)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "devices/ConnectWindow.h"
#include "devices/DeviceListWindow.h"
#include "devices/SearchWindow.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverWindow.h"
#include "editors/DelayWindow.h"
#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "editors/LimiterWindow.h"
#include "link/Clock.h"
#include "link/Connection.h"
#include "memory/MemoryController.h"
#include "memory/MemoryWindows.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqWindow.h"
#include "shell/AppIcon.h"
#include "shell/Application.h"
#include "programs/ProgramApply.h"
#include "shell/DemoBus.h"
#include "talvo/Version.h"
#include "shell/EditorWindows.h"
#include "shell/MainWindow.h"
#include "remote/RemoteHost.h"
#include "shell/TestWindows.h"
#include "testsignal/SineWindow.h"
#include "testsignal/TestSignalController.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

// Long enough for the first layout and paint to settle before the picture is taken.
constexpr int kScreenshotDelayMs = 600;

// A search of the first range takes about a minute on the line; for its picture the clock runs
// this much faster (the simulated amplifiers of --demo keep pace, they share the clock).
constexpr double kSearchScreenshotClockSpeed = 10.0;

const char kUsage[] =
    "Usage: talvo [--demo [--tcp]] [--remote [HOST:]PORT] [--screenshot FILE [--window NAME]] [PROGRAM.VKP]\n"
    "  PROGRAM.VKP        open this program file at start-up, as File > Open... does\n"
    "  --remote [HOST:]PORT\n"
    "                     start the room remote (Tools > Room Remote...) with the program: the\n"
    "                     phone page and HTTP API on HOST (loopback unless given: an IPv4\n"
    "                     address, [IPv6], localhost or any) at PORT; its address with the\n"
    "                     pairing token goes to stderr\n"
    "  --demo             run on simulated amplifiers (IDs 1 and 3) on a pseudo-terminal inside\n"
    "                     the program; the remembered COM port is left as it is\n"
    "  --tcp              with --demo: reach them over TCP on the loopback address instead, as\n"
    "                     through a serial server on the network (tcp://127.0.0.1:PORT)\n"
    "  --screenshot FILE  save the main window as a PNG image after start-up, then quit\n"
    "  --window NAME      with --screenshot: the window to save instead: connect (the Connect\n"
    "                     window with the device list's first device), search (the Search window\n"
    "                     after a search of IDs 1..64), devices (the device list), or an editor\n"
    "                     with a program applied: gain-left, gain-right, delay-left,\n"
    "                     delay-right, limiter-left, limiter-right, peq-left, peq-right,\n"
    "                     xover-left, xover-right; sine (the sine generator in sine test\n"
    "                     mode) or main-sine (the main window in sine test mode);\n"
    "                     memory (after a Refresh, with --demo), manage, program-name\n"
    "  --version          print the version\n"
    "  -h, --help         show this text\n";

// The sine test's pictures: the generator window, and the main window in sine test mode.
const QStringList kTestShots{"sine", "main-sine"};

const QStringList kEditorShots{"gain-left",  "gain-right",    "delay-left",
                               "delay-right", "limiter-left", "limiter-right",
                               "peq-left",    "peq-right",    "xover-left",
                               "xover-right"};

// The program the editor pictures show: both channels unmuted with settings of their own.
talvo::RecordImage ScreenshotProgram() {
    talvo::Program p = talvo::DecodeProgram(talvo::DefaultProgram());
    auto set = [](talvo::ChannelSettings &c, double gain, double delay, int threshold, int hold, int attack, int decay) {
        c.gain = gain;
        c.delay = delay;
        c.limitThreshold = threshold;
        c.hold = hold;
        c.attack = attack;
        c.decay = decay;
    };
    set(p.left, -12.5, 2.5, 35, 20, 200, 120);
    set(p.right, -3.0, 1.2, 45, 50, 500, 250);
    // Equaliser curves with a boost, a cut and a narrow notch; one FLAT band on the right.
    p.left.peq = {{{50.6, 4.5, 2.0}, {500.0, -6.0, 8.0}, {5040.0, 3.0, 1.0}}};
    p.right.peq = {{{101.0, -4.0, 1.5}, {1560.0, 7.5, 30.0}, {10100.0, -9.0, 3.0}}};
    p.right.flat = {false, false, true};
    // Crossovers: a band-pass of two Butterworth filters on the left; on the right a resonant
    // high-pass under a 48 dB Link-Riley low-pass.
    p.left.highPass = {10, 80.3};
    p.left.lowPass = {12, 5040.0};
    p.right.highPass = {7, 250.0};
    p.right.lowPass = {15, 2000.0};
    return talvo::EncodeProgram(p);
}

const QStringList kMemoryShots{"memory", "manage", "program-name"};

// A Refresh reads twenty slots; for its picture the clock runs this much faster, still leaving
// each reply its time on a busy machine.
constexpr double kMemoryScreenshotClockSpeed = 2.0;

bool HasArgument(int argc, char **argv, const char *name, const char *alias = nullptr) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], name) || (alias && !std::strcmp(argv[i], alias))) return true;
    return false;
}

// Without a display Qt aborts with a long message; say plainly what is missing instead.
bool HasDisplay(int argc, char **argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(name);
        if (value && *value) return true;
    }
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "-platform") || !std::strncmp(argv[i], "-platform=", 10)) return true;
    return false;
#else
    (void)argc;
    (void)argv;
    return true;
#endif
}

// The display named in the environment, for the message when it cannot be reached.
QByteArray DisplayName() {
    for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty()) return QByteArray(name) + '=' + value;
    }
    return QByteArrayLiteral("the default display");
}

// While the application object connects to the display, Qt's complaints are held back: when
// the display cannot be reached (a DISPLAY with no X server behind it, a closed Wayland
// socket) Qt would print several lines and abort; the program says so in one line and ends
// with status 1 instead, as without a display. Once connected, what was held back is passed on.
class DisplayOpening {
public:
    DisplayOpening() { previous_ = qInstallMessageHandler(&DisplayOpening::Handle); }
    ~DisplayOpening() {
        qInstallMessageHandler(previous_);
        for (const Held &m : held_) qt_message_output(m.type, QMessageLogContext(), m.text);
        held_.clear();
    }
    DisplayOpening(const DisplayOpening &) = delete;
    DisplayOpening &operator=(const DisplayOpening &) = delete;

private:
    struct Held {
        QtMsgType type;
        QString text;
    };

    static void Handle(QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtFatalMsg) {
            held_.push_back({type, text});
            return;
        }
        std::fprintf(stderr,
                     "talvo: cannot open the display (%s): is it running, and may this user reach it? "
                     "QT_QPA_PLATFORM=offscreen runs without one\n",
                     DisplayName().constData());
        std::fflush(stderr);
        std::_Exit(kExitFailed);
    }

    static inline std::vector<Held> held_;
    QtMessageHandler previous_ = nullptr;
};

void ApplyIconThemeFallback() {
    // On a desktop the theme comes from the desktop; without one (a bare X server, a kiosk)
    // Adwaita, where installed, stands in before the built-in icons.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

}  // namespace

int main(int argc, char **argv) {
    // Both answer without a display.
    if (HasArgument(argc, argv, "--help", "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (HasArgument(argc, argv, "--version")) {
        std::printf("talvo %s\n", talvo::kVersion);
        return kExitOk;
    }
    if (!HasDisplay(argc, argv)) {
        std::fputs("talvo: no display found: run it on a desktop, or set DISPLAY (X11), WAYLAND_DISPLAY, "
                   "or QT_QPA_PLATFORM=offscreen\n",
                   stderr);
        return kExitFailed;
    }

    std::optional<DisplayOpening> opening(std::in_place);
    QApplication app(argc, argv);
    opening.reset();
    QApplication::setApplicationName(QStringLiteral("TALVO"));
    QApplication::setWindowIcon(talvo::AppIcon());
    ApplyIconThemeFallback();

    QCommandLineParser parser;
    const QCommandLineOption demo(QStringLiteral("demo"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption windowName(QStringLiteral("window"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption demoTcp(QStringLiteral("tcp"));
    const QCommandLineOption remote(QStringLiteral("remote"), QString(), QStringLiteral("[HOST:]PORT"));
    parser.addOption(remote);
    parser.addOption(demo);
    parser.addOption(demoTcp);
    parser.addOption(screenshot);
    parser.addOption(windowName);
    QString why;
    if (!parser.parse(QApplication::arguments()))
        why = parser.errorText();
    else if (parser.positionalArguments().size() > 1)
        why = QStringLiteral("unexpected argument '%1' (one program file at most)").arg(parser.positionalArguments().value(1));
    else if (parser.isSet(demoTcp) && !parser.isSet(demo))
        why = QStringLiteral("--tcp goes with --demo");
    else if (parser.isSet(remote) && !talvo::ParseListenAddress(parser.value(remote), why))
        why = QStringLiteral("--remote: %1").arg(why);
    else if (parser.isSet(windowName) && !parser.isSet(screenshot))
        why = QStringLiteral("--window goes with --screenshot");
    else if (parser.isSet(windowName) &&
             !(QStringList{"main", "connect", "search", "devices"} + kEditorShots + kTestShots + kMemoryShots)
                  .contains(parser.value(windowName)))
        why = QStringLiteral("unknown window '%1'").arg(parser.value(windowName));
    if (!why.isEmpty()) {
        std::fprintf(stderr, "talvo: %s\n%s", qPrintable(why), kUsage);
        return kExitBadArguments;
    }
    const QString startFile = parser.positionalArguments().value(0);
    // A picture cannot wait for the operator to close a message box: a file that cannot be
    // read is refused before anything starts.
    if (!startFile.isEmpty() && parser.isSet(screenshot)) {
        const QFileInfo info(startFile);
        QFile probe(startFile);
        QString reason;
        if (!info.exists())
            reason = QStringLiteral("no such file");
        else if (!info.isFile())
            reason = QStringLiteral("not a regular file");
        else if (!probe.open(QIODevice::ReadOnly))
            reason = probe.errorString();
        if (!reason.isEmpty()) {
            std::fprintf(stderr, "talvo: cannot read the program file %s: %s\n", qPrintable(startFile), qPrintable(reason));
            return kExitBadArguments;
        }
    }
    const QString shotWindow = parser.isSet(windowName) ? parser.value(windowName) : QStringLiteral("main");
    if (shotWindow == QLatin1String("search")) talvo::Clock::setSpeed(kSearchScreenshotClockSpeed);
    if (shotWindow == QLatin1String("memory")) talvo::Clock::setSpeed(kMemoryScreenshotClockSpeed);

    // The bus outlives the application object below, so the port is closed before the
    // simulated amplifiers go away.
    std::unique_ptr<talvo::DemoBus> demoBus;
    talvo::ApplicationOptions options;
    if (parser.isSet(demo)) {
        QString error;
        demoBus = talvo::DemoBus::Start(&error, parser.isSet(demoTcp));
        if (!demoBus) {
            std::fprintf(stderr, "talvo: cannot start the demonstration bus: %s\n", qPrintable(error));
            return kExitFailed;
        }
        options.deviceOverride = demoBus->devicePath();
        options.deviceNote = QStringLiteral(" Demo: ") + demoBus->devicePath();
        std::fprintf(stderr, "talvo: demonstration bus on %s\n", qPrintable(demoBus->devicePath()));
    }
    talvo::Application shell(options);
    shell.Create();
    if (parser.isSet(remote)) {
        QString problem;
        const talvo::ListenAddress at = *talvo::ParseListenAddress(parser.value(remote), problem);
        QString error;
        if (!shell.remoteHost().Start(at.address, at.port, &error)) {
            std::fprintf(stderr, "talvo: cannot start the room remote on %s: %s\n", qPrintable(parser.value(remote)),
                         qPrintable(error));
            return kExitFailed;
        }
        std::fprintf(stderr, "talvo: room remote at %s\n", qPrintable(shell.remoteHost().pageUrl()));
    }

    const QString screenshotPath = parser.value(screenshot);
    if (screenshotPath.isEmpty()) {
        shell.ShowMainWindow();
        // As File > Open... with the file already chosen (a file manager opening a program
        // file with this program); a file that cannot be read is reported there.
        if (!startFile.isEmpty())
            QTimer::singleShot(0, &shell.mainWindow(), [&shell, startFile] { shell.mainWindow().OpenProgramFile(startFile); });
        return app.exec();
    }

    // A picture at the restored size, the same on every machine whatever its screen.
    talvo::MainWindow &window = shell.mainWindow();
    window.placeOnScreen();
    window.show();
    QWidget *subject = &window;
    if (shotWindow == QLatin1String("connect")) {
        // As after picking the list's first device with "Device".
        talvo::ConnectWindow &connect = shell.connectWindow();
        for (const talvo::DeviceEntry &entry : shell.deviceListWindow().list().Entries())
            if (entry.vi) {
                connect.TakeDevice(entry);
                break;
            }
        connect.PrepareToShow();
        subject = &connect;
    } else if (shotWindow == QLatin1String("devices")) {
        subject = &shell.deviceListWindow();
    } else if (shotWindow == QLatin1String("search")) {
        subject = &shell.searchWindow();
    } else if (shotWindow == QLatin1String("memory")) {
        subject = &shell.memoryWindow();
    } else if (shotWindow == QLatin1String("manage")) {
        // A prepared memory image: new slots, one renamed, one blanked.
        talvo::ManageWindow &manage = shell.manageWindow();
        manage.manage().New();
        manage.manage().Modify(1, QStringLiteral("Main Hall"));
        manage.manage().Modify(2, QStringLiteral("Speech"));
        manage.manage().Delete(4);
        manage.RefreshClick();
        manage.SelectRow(2);
        subject = &manage;
    } else if (shotWindow == QLatin1String("program-name")) {
        subject = &shell.programNameDialog();
    } else if (kEditorShots.contains(shotWindow)) {
        const int channel = shotWindow.endsWith(QLatin1String("-left")) ? talvo::kLeftChannel : talvo::kRightChannel;
        talvo::EditorWindows &editors = shell.editorWindows();
        if (shotWindow.startsWith(QLatin1String("peq")))
            subject = &shell.peqWindow();
        else if (shotWindow.startsWith(QLatin1String("gain")))
            subject = &editors.gain(channel);
        else if (shotWindow.startsWith(QLatin1String("delay")))
            subject = &editors.delay(channel);
        else if (shotWindow.startsWith(QLatin1String("xover")))
            subject = &editors.crossover(channel);
        else
            subject = &editors.limiter(channel);
    } else if (shotWindow == QLatin1String("sine")) {
        subject = &shell.testWindows().sineWindow();
    }
    const bool editorShot = kEditorShots.contains(shotWindow);
    const bool testShot = kTestShots.contains(shotWindow);
    if (subject != &window && !editorShot && !testShot) subject->show();

    int status = kExitOk;
    auto save = [&] {
        if (!subject->grab().save(screenshotPath, "PNG")) {
            std::fprintf(stderr, "talvo: cannot write the screenshot %s\n", qPrintable(screenshotPath));
            status = kExitFailed;
        }
        QApplication::exit(status);
    };
    QTimer::singleShot(kScreenshotDelayMs, &app, [&] {
        if (shotWindow == QLatin1String("search")) {
            // Tools > Search's link steps, then the window's "Search"; it returns when the
            // search is over.
            if (!shell.linkController().SearchLinkSteps()) {
                std::fprintf(stderr, "talvo: cannot open the port for the search\n");
                status = kExitFailed;
                QApplication::exit(status);
                return;
            }
            shell.searchWindow().SearchClick();
            QTimer::singleShot(kScreenshotDelayMs / 2, &app, save);
            return;
        }
        if (!startFile.isEmpty()) window.OpenProgramFile(startFile);
        if (testShot) {
            // As after Test > Sine Test (offline: the windows change all the same), then, for
            // the generator, its "Sine" button and a frequency typed in.
            shell.testModes().EnterTestMode(talvo::kTestModeSine);
            if (subject != &window) {
                shell.texts().ApplyTexts();
                shell.sineGenerator().FrequencyEntered(QStringLiteral("1k"));
                subject->show();
            }
            QTimer::singleShot(kScreenshotDelayMs / 2, &app, save);
            return;
        }
        if (shotWindow == QLatin1String("memory")) {
            // Tools > Connect to ID 1, then File > Memory... and "Refresh".
            talvo::ConnectRequest request;
            request.id = 1;
            request.mute = false;
            if (!shell.linkController().ConnectLinkSteps() || !shell.connectController().Connect(request)) {
                std::fprintf(stderr, "talvo: no amplifier ID 1 to show the memory of (run with --demo)\n");
                status = kExitFailed;
                QApplication::exit(status);
                return;
            }
            shell.memoryWindow().PrepareToShow();
            shell.memoryController().Refresh();
            shell.memoryController().SelectRow(2);
            QTimer::singleShot(kScreenshotDelayMs / 2, &app, save);
            return;
        }
        if (editorShot) {
            // As after connecting to an amplifier that runs this program (or opening the file
            // given), then opening the editor from its block.
            if (startFile.isEmpty()) {
                shell.state().programBuffer = ScreenshotProgram();
                shell.programApplier().ApplyProgram();
            }
            shell.texts().ApplyTexts();
            if (auto *gain = qobject_cast<talvo::GainWindow *>(subject)) gain->model().PrepareOpen();
            if (auto *xover = qobject_cast<talvo::CrossoverWindow *>(subject)) xover->model().EditorOpening();
            if (auto *peq = qobject_cast<talvo::PeqWindow *>(subject))
                peq->model().Open(shotWindow.endsWith(QLatin1String("-left")) ? talvo::kLeftChannel : talvo::kRightChannel);
            subject->show();
            QTimer::singleShot(kScreenshotDelayMs / 2, &app, save);
            return;
        }
        // The windows' layouts take the opened file's texts on the next turn of the event loop.
        if (!startFile.isEmpty()) {
            QTimer::singleShot(kScreenshotDelayMs / 2, &app, save);
            return;
        }
        save();
    });
    app.exec();
    return status;
}
