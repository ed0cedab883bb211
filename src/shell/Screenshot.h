#pragma once
// `talvo --screenshot FILE [--window NAME]`: after start-up one window is brought into the state
// its picture shows (a search run, a program applied, a test mode entered ...), saved as a PNG
// image, and the program ends. The README's pictures are taken this way (scripts/screenshot.sh).

#include <QString>
#include <QStringList>

class QApplication;

namespace talvo {

class Application;
struct StartOptions;

// The names --window takes, "main" (the main window) first.
const QStringList &ScreenshotWindows();

// Before anything starts: the clock speed the window's picture needs (a search or a Refresh
// would take long on the line). A picture cannot wait for the operator to close a message box,
// so a program file that cannot be read is refused here: the result is that refusal's line
// (without the program's name), empty when the picture can be taken.
QString PrepareScreenshot(const StartOptions &options);

// Once the application was created: the window shown and saved after the layouts settled. Runs
// the event loop until the picture is written; the result is the program's exit status.
int RunScreenshot(QApplication &app, Application &shell, const StartOptions &options);

}  // namespace talvo
