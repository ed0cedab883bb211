// talvo: the TALVO Control program.
//
//   talvo                     the program on the remembered COM port
//   talvo --demo              the program on simulated amplifiers (IDs 1 and 3) inside the process
//   talvo --screenshot FILE   after start-up, save the main window as a PNG image and quit
//         [--window NAME]     ... or another window (shell/Screenshot.h)
//
// The options and their usage text are in shell/StartOptions.h.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "shell/AppIcon.h"
#include "shell/Application.h"
#include "shell/DemoBus.h"
#include "remote/RemoteHost.h"
#include "shell/MainWindow.h"
#include "shell/Screenshot.h"
#include "shell/StartOptions.h"
#include "talvo/Version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

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
    switch (talvo::QuickAnswerAsked(argc, argv)) {
    case talvo::QuickAnswer::Help:
        std::fputs(talvo::StartUsage(), stdout);
        return kExitOk;
    case talvo::QuickAnswer::Version:
        std::printf("talvo %s\n", talvo::kVersion);
        return kExitOk;
    case talvo::QuickAnswer::None:
        break;
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

    const talvo::StartOptions options = talvo::ParseStartOptions(QApplication::arguments());
    if (!options.refusal.isEmpty()) {
        std::fprintf(stderr, "talvo: %s\n%s", qPrintable(options.refusal), talvo::StartUsage());
        return kExitBadArguments;
    }
    if (options.screenshot) {
        const QString refusal = talvo::PrepareScreenshot(options);
        if (!refusal.isEmpty()) {
            std::fprintf(stderr, "talvo: %s\n", qPrintable(refusal));
            return kExitBadArguments;
        }
    }

    // The bus outlives the application object below, so the port is closed before the
    // simulated amplifiers go away.
    std::unique_ptr<talvo::DemoBus> demoBus;
    talvo::ApplicationOptions shellOptions;
    if (options.demo) {
        QString error;
        demoBus = talvo::DemoBus::Start(&error, options.demoTcp);
        if (!demoBus) {
            std::fprintf(stderr, "talvo: cannot start the demonstration bus: %s\n", qPrintable(error));
            return kExitFailed;
        }
        shellOptions.deviceOverride = demoBus->devicePath();
        shellOptions.deviceNote = QStringLiteral(" Demo: ") + demoBus->devicePath();
        std::fprintf(stderr, "talvo: demonstration bus on %s\n", qPrintable(demoBus->devicePath()));
    }
    talvo::Application shell(shellOptions);
    shell.Create();
    if (options.remote) {
        QString error;
        if (!shell.remoteHost().Start(options.remote->address, options.remote->port, &error)) {
            std::fprintf(stderr, "talvo: cannot start the room remote on port %u: %s\n",
                         unsigned(options.remote->port), qPrintable(error));
            return kExitFailed;
        }
        std::fprintf(stderr, "talvo: room remote at %s\n", qPrintable(shell.remoteHost().pageUrl()));
    }

    if (!options.screenshotPath.isEmpty())
        return talvo::RunScreenshot(app, shell, options);

    shell.ShowMainWindow();
    // As File > Open... with the file already chosen (a file manager opening a program file
    // with this program); a file that cannot be read is reported there.
    if (!options.programFile.isEmpty()) {
        const QString startFile = options.programFile;
        QTimer::singleShot(0, &shell.mainWindow(), [&shell, startFile] { shell.mainWindow().OpenProgramFile(startFile); });
    }
    return app.exec();
}
