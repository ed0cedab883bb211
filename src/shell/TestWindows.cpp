#include "shell/TestWindows.h"

#include <QAction>

#include "editors/EditorWindowParts.h"
#include "shell/InterfaceTexts.h"
#include "shell/MainWindow.h"
#include "shell/SignalFlowPanel.h"
#include "state/AppState.h"
#include "testsignal/SineWindow.h"
#include "testsignal/TestSignalController.h"
#include "widgets/BlockButton.h"

namespace talvo {

namespace {
const char *const kTestItems[] = {"SineTest1", "NoiseTest1"};
const char *const kModeItems[] = {"Stereo1", "Bridge1", "Mono1"};
}  // namespace

TestWindows::TestWindows(TestModeController &tests, SineGenerator &generator, MainWindow &main, InterfaceTexts &texts,
                         QObject *parent)
    : QObject(parent), tests_(tests), main_(main), sine_(new SineWindow(generator, &main)) {
    texts.Register(sine_, [w = sine_] { w->ApplyTexts(); });

    const int testByItem[] = {kTestModeSine, kTestModeNoise};
    for (std::size_t i = 0; i < std::size(kTestItems); ++i) {
        QAction *item = action(kTestItems[i]);
        item->setCheckable(true);
        const int testMode = testByItem[i];
        // A checkable item ticks and unticks itself when chosen; the marks stay as they are
        // until the controller moves them.
        connect(item, &QAction::triggered, this, [item](bool checked) { item->setChecked(!checked); });
        // Queued, like the other menu items: the entry waits with the interface running and
        // must not run inside the menu's own event handling.
        connect(item, &QAction::triggered, this, [this, testMode] { enter(testMode); }, Qt::QueuedConnection);
    }
    connect(&tests_, &TestModeController::testModeMarked, this, &TestWindows::ShowTestMark);

    SignalFlowPanel *panel = main_.signalFlow();
    // The button's caption follows the test as soon as the panel shows the test layout.
    connect(&tests_, &TestModeController::testModeMarked, panel,
            [panel](int testMode) { panel->ApplyTexts(testMode == kTestModeSine); });
    // Queued: the modal window opens after the button's own click handling is over.
    connect(panel, &SignalFlowPanel::testSignalClicked, this, &TestWindows::SINDDClick, Qt::QueuedConnection);
}

QAction *TestWindows::action(const char *name) const { return main_.action(name); }

void TestWindows::ShowTestMark(int testMode) {
    for (const char *name : kModeItems) action(name)->setChecked(false);
    action("SineTest1")->setChecked(testMode == kTestModeSine);
    action("NoiseTest1")->setChecked(testMode == kTestModeNoise);
}

void TestWindows::SineTest1Click() { enter(kTestModeSine); }
void TestWindows::NoiseTest1Click() { enter(kTestModeNoise); }

void TestWindows::SINDDClick() {
    // A click queued before the test ended (or while the panel was disabled) opens nothing.
    SignalFlowPanel *panel = main_.signalFlow();
    if (!panel->isEnabled() || !panel->testSignalButton()->isVisibleTo(panel)) return;
    main_.ApplyTexts();
    sine_->Open();
}

void TestWindows::enter(int testMode) {
    // The entry gives the panel back itself, however it ends; one asked for while a mode change
    // or another entry runs is ignored and leaves the panel to that one.
    Guarded([this, testMode] { tests_.EnterTestMode(testMode); });
}

}  // namespace talvo
