// The program's window on the offscreen platform: how long start-up takes until the main
// window is shown, and how much CPU the program uses while it sits idle with the window shown
// (the 20 ms status timer, the link's I/O thread, and, with the port open, the demonstration
// bus thread waiting for bytes).
//
// Figures: StartupToMainWindowShown/Cold is the first window of the process, timed from the top
// of main(): the QApplication with its platform plug-in, fonts, style and icon theme, then the
// application and its windows, as when the program starts. /Warm times the later windows of
// the same process (the application and its windows only). IdleCpu reports cpu_percent: the
// process's user + system CPU time over the wall time of the idle span, in per cent of one core.

#include <sys/resource.h>

#include <chrono>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include "link/Connection.h"
#include "link/Link.h"
#include "shell/Application.h"
#include "shell/DemoBus.h"
#include "shell/MainWindow.h"

namespace {

std::chrono::steady_clock::time_point g_processStart;
bool g_coldDone = false;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto sec = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

// Runs the event loop until the main window is shown and exposed (its first frame drawn).
void ShowAndWait(talvo::Application &app) {
    app.ShowMainWindow();
    talvo::MainWindow &w = app.mainWindow();
    while (!(w.isVisible() && w.windowHandle() && w.windowHandle()->isExposed()))
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QApplication::processEvents();
}

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void StartupToMainWindowShown(benchmark::State &state) {
    for (auto _ : state) {
        const auto start = g_coldDone ? std::chrono::steady_clock::now() : g_processStart;
        g_coldDone = true;
        auto app = std::make_unique<talvo::Application>();
        app->Create();
        ShowAndWait(*app);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        app.reset();
        QApplication::processEvents();
    }
}
// The cold run must come first: benchmarks run in the order they are registered.
BENCHMARK(StartupToMainWindowShown)->Name("StartupToMainWindowShown/Cold")->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StartupToMainWindowShown)->Name("StartupToMainWindowShown/Warm")->Iterations(10)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// state.range(0): 0 = port closed, 1 = port open on the demonstration bus.
void IdleCpu(benchmark::State &state) {
    constexpr int kIdleMs = 3000;
    std::unique_ptr<talvo::DemoBus> bus;
    talvo::ApplicationOptions options;
    if (state.range(0)) {
        QString error;
        bus = talvo::DemoBus::Start(&error);
        if (!bus) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        options.deviceOverride = bus->devicePath();
    }
    auto app = std::make_unique<talvo::Application>(options);
    app->Create();
    ShowAndWait(*app);
    if (state.range(0) && !app->linkController().SearchLinkSteps()) {
        state.SkipWithError("the demonstration port did not open");
        return;
    }
    RunEventLoopFor(200);  // let start-up work settle

    double cpu = 0, wall = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        const double cpu0 = CpuSeconds();
        clock.start();
        RunEventLoopFor(kIdleMs);
        wall = clock.nsecsElapsed() / 1e9;
        cpu = CpuSeconds() - cpu0;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_ms"] = cpu * 1e3;
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    app.reset();
    bus.reset();
}
BENCHMARK(IdleCpu)->ArgName("port_open")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    g_processStart = std::chrono::steady_clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's settings and device list stay out of the picture: folders of their own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
