#include "shell/Screenshot.h"

#include "programs/ProgramFile.h"

#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include "devices/ConnectProcedure.h"
#include "devices/ConnectWindow.h"
#include "devices/DeviceListWindow.h"
#include "devices/SearchWindow.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverWindow.h"
#include "editors/DelayWindow.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "editors/LimiterWindow.h"
#include "link/Clock.h"
#include "link/Connection.h"
#include "memory/MemoryController.h"
#include "memory/MemoryWindows.h"
#include "peq/EqImportWindow.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqWindow.h"
#include "shell/Application.h"
#include "shell/EditorWindows.h"
#include "remote/RemoteHost.h"
#include "shell/MainWindow.h"
#include "shell/RemoteWindow.h"
#include "shell/StartOptions.h"
#include "shell/TestWindows.h"
#include "state/ProgramApply.h"
#include "testsignal/SineWindow.h"
#include "testsignal/TestSignalController.h"

namespace talvo {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// Long enough for the first layout and paint to settle before the picture is taken.
constexpr int kScreenshotDelayMs = 600;

// A search of the first range takes about a minute on the line; for its picture the clock runs
// this much faster (the simulated amplifiers of --demo keep pace, they share the clock).
constexpr double kSearchScreenshotClockSpeed = 10.0;

// A Refresh reads twenty slots; for its picture the clock runs this much faster, still leaving
// each reply its time on a busy machine.
constexpr double kMemoryScreenshotClockSpeed = 2.0;

// The sine test's pictures: the generator window, and the main window in sine test mode.
const QStringList kTestShots{"sine", "main-sine"};

const QStringList kEditorShots{"gain-left",  "gain-right",    "delay-left",
                               "delay-right", "limiter-left", "limiter-right",
                               "peq-left",    "peq-right",    "xover-left",
                               "xover-right"};

const QStringList kMemoryShots{"memory", "manage", "program-name"};

// File > Import EQ... of a filter file as room-measurement software writes it: more peaking
// filters than bands, a shelf, a slot left empty.
const char kEqShot[] = "eq-import";
const char kScreenshotFilters[] =
    "Filter Settings file\r\n"
    "\r\n"
    "Room EQ V5.20\r\n"
    "Dated: 12-Mar-2024 14:02:51\r\n"
    "\r\n"
    "Notes:Main hall, left stack\r\n"
    "\r\n"
    "Equaliser: Generic\r\n"
    "Average 1\r\n"
    "Filter  1: ON  PK       Fc   42.5 Hz  Gain  -8.5 dB  Q  5.20\r\n"
    "Filter  2: ON  PK       Fc   63.0 Hz  Gain  -5.0 dB  Q  4.00\r\n"
    "Filter  3: ON  PK       Fc    118 Hz  Gain  -6.5 dB  Q  6.50\r\n"
    "Filter  4: ON  PK       Fc    240 Hz  Gain   2.5 dB  Q  2.10\r\n"
    "Filter  5: ON  LS       Fc    105 Hz  Gain   4.0 dB\r\n"
    "Filter  6: ON  PK       Fc   1850 Hz  Gain  -1.5 dB  Q  1.80\r\n"
    "Filter  7: ON  None\r\n";

// The program the editor pictures show: both channels unmuted with settings of their own.
RecordImage ScreenshotProgram()
{
    Program p = DecodeProgram(DefaultProgram());
    auto set = [](ChannelSettings &c, double gain, double delay, int threshold, int hold, int attack, int decay) {
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
    return EncodeProgram(p);
}

// The window the picture is of, made ready as far as it can be before the event loop runs.
QWidget *Subject(Application &shell, const QString &shotWindow)
{
    if (shotWindow == QLatin1String("connect")) {
        // As after picking the list's first device with "Device".
        ConnectWindow &connect = shell.connectWindow();
        for (const DeviceEntry &entry : shell.deviceListWindow().list().Entries())
            if (entry.vi) {
                connect.TakeDevice(entry);
                break;
            }
        connect.PrepareToShow();
        return &connect;
    }
    if (shotWindow == QLatin1String("devices"))
        return &shell.deviceListWindow();
    if (shotWindow == QLatin1String("search"))
        return &shell.searchWindow();
    if (shotWindow == QLatin1String("memory"))
        return &shell.memoryWindow();
    if (shotWindow == QLatin1String("manage")) {
        // A prepared memory image: new slots, one renamed, one blanked.
        ManageWindow &manage = shell.manageWindow();
        manage.manage().New();
        manage.manage().Modify(1, QStringLiteral("Main Hall"));
        manage.manage().Modify(2, QStringLiteral("Speech"));
        manage.manage().Delete(4);
        manage.RefreshClick();
        manage.SelectRow(2);
        return &manage;
    }
    if (shotWindow == QLatin1String("program-name"))
        return &shell.programNameDialog();
    if (kEditorShots.contains(shotWindow)) {
        const int channel = shotWindow.endsWith(QLatin1String("-left")) ? kLeftChannel : kRightChannel;
        EditorWindows &editors = shell.editorWindows();
        if (shotWindow.startsWith(QLatin1String("peq")))
            return &shell.peqWindow();
        if (shotWindow.startsWith(QLatin1String("gain")))
            return &editors.gain(channel);
        if (shotWindow.startsWith(QLatin1String("delay")))
            return &editors.delay(channel);
        if (shotWindow.startsWith(QLatin1String("xover")))
            return &editors.crossover(channel);
        return &editors.limiter(channel);
    }
    if (shotWindow == QLatin1String("sine"))
        return &shell.testWindows().sineWindow();
    if (shotWindow == QLatin1String("remote")) {
        // Started on loopback as the window's "Start" does; another free port when the usual one
        // is taken on this machine.
        RemoteHost &host = shell.remoteHost();
        if (!host.Start(QHostAddress(QHostAddress::LocalHost), kDefaultRemotePort))
            host.Start(QHostAddress(QHostAddress::LocalHost), 0);
        shell.remoteWindow().Open();
        return &shell.remoteWindow();
    }
    if (shotWindow == QLatin1String(kEqShot))
        return &shell.eqImportWindow();
    return &shell.mainWindow();
}

}  // namespace

const QStringList &ScreenshotWindows()
{
    static const QStringList windows =
        QStringList{"main", "connect", "search", "devices", "remote"} + kEditorShots + kTestShots + kMemoryShots +
        QStringList{kEqShot};
    return windows;
}

QString PrepareScreenshot(const StartOptions &options)
{
    const QString &startFile = options.programFile;
    if (!startFile.isEmpty()) {
        const QFileInfo info(startFile);
        QFile probe(startFile);
        QString reason;
        if (!info.exists())
            reason = QStringLiteral("no such file");
        else if (!info.isFile())
            reason = QStringLiteral("not a regular file");
        else if (!probe.open(QIODevice::ReadOnly))
            reason = probe.errorString();
        if (!reason.isEmpty())
            return QStringLiteral("cannot read the program file %1: %2").arg(startFile, reason);
        // A picture cannot wait for the operator to close a message box: a file that is no
        // program file or holds a value no editor produces is refused before anything starts.
        RecordImage record;
        if (const FileResult read = ReadCheckedRecordFile(startFile, record); !read.ok())
            return read.message;
    }
    if (options.window == QLatin1String("search"))
        Clock::setSpeed(kSearchScreenshotClockSpeed);
    if (options.window == QLatin1String("memory"))
        Clock::setSpeed(kMemoryScreenshotClockSpeed);
    return QString();
}

int RunScreenshot(QApplication &app, Application &shell, const StartOptions &options)
{
    const QString &shotWindow = options.window;
    const QString &startFile = options.programFile;
    const QString &screenshotPath = options.screenshotPath;

    // A picture at the restored size, the same on every machine whatever its screen.
    MainWindow &window = shell.mainWindow();
    window.placeOnScreen();
    window.show();
    QWidget *subject = Subject(shell, shotWindow);
    const bool editorShot = kEditorShots.contains(shotWindow);
    const bool testShot = kTestShots.contains(shotWindow);
    const bool eqShot = shotWindow == QLatin1String(kEqShot);
    if (subject != &window && !editorShot && !testShot && !eqShot)
        subject->show();
    // The filter file the import picture reads, kept until the picture is taken.
    QTemporaryDir eqFolder;

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
        if (!startFile.isEmpty())
            window.OpenProgramFile(startFile);
        if (testShot) {
            // As after Test > Sine Test (offline: the windows change all the same), then, for
            // the generator, its "Sine" button and a frequency typed in.
            shell.testModes().EnterTestMode(kTestModeSine);
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
            ConnectRequest request;
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
        if (eqShot) {
            // The demonstration program applied (or the file given), then File > Import EQ...
            // of a measurement's filter file into the left channel.
            if (startFile.isEmpty()) {
                shell.state().programBuffer = ScreenshotProgram();
                shell.programApplier().ApplyProgram();
            }
            shell.texts().ApplyTexts();
            const QString filters = eqFolder.filePath(QStringLiteral("main-hall-left.txt"));
            QFile file(filters);
            if (!eqFolder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(kScreenshotFilters) < 0) {
                std::fprintf(stderr, "talvo: cannot write the filter file for the import picture\n");
                status = kExitFailed;
                QApplication::exit(status);
                return;
            }
            file.close();
            shell.ImportEq(filters, kEqChannelLeft);
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
            if (auto *gain = qobject_cast<GainWindow *>(subject))
                gain->model().PrepareOpen();
            if (auto *xover = qobject_cast<CrossoverWindow *>(subject))
                xover->model().EditorOpening();
            if (auto *peq = qobject_cast<PeqWindow *>(subject))
                peq->model().Open(shotWindow.endsWith(QLatin1String("-left")) ? kLeftChannel : kRightChannel);
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

}  // namespace talvo
