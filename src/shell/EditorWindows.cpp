#include "shell/EditorWindows.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QProgressBar>

#include "editors/CrossoverModel.h"
#include "editors/CrossoverWindow.h"
#include "editors/DelayWindow.h"
#include "editors/EditorModels.h"
#include "editors/EditorWindowParts.h"
#include "editors/GainWindow.h"
#include "editors/LimiterWindow.h"
#include "editors/ModeController.h"
#include "shell/InterfaceTexts.h"
#include "shell/MainWindow.h"
#include "shell/SignalFlowPanel.h"

namespace talvo {

namespace {
const char *const kModeItems[] = {"Stereo1", "Bridge1", "Mono1"};
const char *const kMarkedItems[] = {"Stereo1", "Bridge1", "Mono1", "SineTest1", "NoiseTest1"};
}  // namespace

EditorWindows::EditorWindows(EditorModels &models, MainWindow &main, InterfaceTexts &texts, QObject *parent)
    : QObject(parent), models_(models), main_(main) {
    for (int channel : {0, 1}) {
        const auto i = static_cast<std::size_t>(channel);
        gain_[i] = new GainWindow(models_.gain(channel), &main_);
        crossover_[i] = new CrossoverWindow(models_.crossover(channel), &main_);
        delay_[i] = new DelayWindow(models_.delay(channel), &main_);
        limiter_[i] = new LimiterWindow(models_.limiter(channel), &main_);
    }
    // Left before right, gain, crossover, delay, limiter: the order the windows were created in.
    for (int channel : {0, 1}) {
        const auto i = static_cast<std::size_t>(channel);
        texts.Register(gain_[i], [w = gain_[i]] { w->ApplyTexts(); });
    }
    for (int channel : {0, 1}) {
        const auto i = static_cast<std::size_t>(channel);
        texts.Register(crossover_[i], [w = crossover_[i]] { w->ApplyTexts(); });
    }
    for (int channel : {0, 1}) {
        const auto i = static_cast<std::size_t>(channel);
        texts.Register(delay_[i], [w = delay_[i]] { w->ApplyTexts(); });
    }
    for (int channel : {0, 1}) {
        const auto i = static_cast<std::size_t>(channel);
        texts.Register(limiter_[i], [w = limiter_[i]] { w->ApplyTexts(); });
    }

    SignalFlowPanel *panel = main_.signalFlow();
    ModeController &modes = models_.modes();
    // Queued: the modal window opens after the block's own click handling is over (the main
    // window has brought the texts up to date by then).
    connect(panel, &SignalFlowPanel::blockClicked, this,
            [this](SignalFlowPanel::Channel channel, SignalFlowPanel::Stage stage) {
                openEditor(int(channel), int(stage));
            },
            Qt::QueuedConnection);
    connect(panel, &SignalFlowPanel::phaseClicked, &modes, [&modes](SignalFlowPanel::Channel channel, bool inverted) {
        Guarded([&] { modes.PhaseClicked(int(channel), inverted); });
    });
    connect(&modes, &ModeController::phaseChanged, panel, [panel](int channel, bool inverted) {
        panel->phaseBox(SignalFlowPanel::Channel(channel))->setChecked(inverted);
    });
    connect(&modes, &ModeController::diagramChanged, panel, &SignalFlowPanel::ShowDiagram);
    connect(&modes, &ModeController::panelEnabledChanged, panel, &QWidget::setEnabled);
    connect(&modes, &ModeController::modeChanged, this, &EditorWindows::ShowModeMark);
    // A port lost under a mode change is said once, with what it cut short; like the link's
    // own loss message it waits for the running handler to return.
    connect(&modes, &ModeController::modeChangeCutShort, this,
            [this](const QString &caption, const QString &text) {
                main_.prompts().tell(&main_, QMessageBox::Critical, caption, text);
            },
            Qt::QueuedConnection);

    for (const char *name : kMarkedItems) action(name)->setCheckable(true);
    // Handlers as queued calls, like the other menu items: the mode change waits with the
    // interface running and must not run inside the menu's own event handling.
    const Mode modesByItem[] = {Mode::Stereo, Mode::Bridge, Mode::Mono};
    for (std::size_t i = 0; i < std::size(kModeItems); ++i) {
        QAction *item = action(kModeItems[i]);
        const Mode mode = modesByItem[i];
        // A checkable item ticks and unticks itself when chosen; the marks stay as they are
        // until the controller moves them.
        // (The test items may hold the mark: the click is undone, not the mode's mark redrawn.)
        connect(item, &QAction::triggered, this, [item](bool checked) { item->setChecked(!checked); });
        connect(item, &QAction::triggered, this, [this, mode] { changeMode(mode); }, Qt::QueuedConnection);
    }

    panel->ShowDiagram(modes.diagram());
    panel->setEnabled(modes.panelEnabled());
    for (int channel : {0, 1}) panel->phaseBox(SignalFlowPanel::Channel(channel))->setChecked(modes.phaseInverted(channel));
    ShowModeMark(modes.mode());
}

QAction *EditorWindows::action(const char *name) const { return main_.action(name); }

void EditorWindows::ShowModeMark(Mode mode) {
    for (const char *name : kMarkedItems) action(name)->setChecked(false);
    action(kModeItems[static_cast<std::size_t>(mode)])->setChecked(true);
}

void EditorWindows::SetBridgeAvailable(bool available) { action("Bridge1")->setEnabled(available); }

void EditorWindows::Stereo1Click() { changeMode(Mode::Stereo); }
void EditorWindows::Bridge1Click() { changeMode(Mode::Bridge); }
void EditorWindows::Mono1Click() { changeMode(Mode::Mono); }

void EditorWindows::changeMode(Mode mode) {
    ModeController &modes = models_.modes();
    try {
        modes.ChangeMode(mode);
    } catch (const std::exception &) {
    }
    // Whatever happened inside, the panel is usable again at the end (unless the change was
    // ignored because another one holds the panel).
    if (!modes.IsChangingMode() && !modes.ModeChangesHeld()) main_.signalFlow()->setEnabled(true);
}

void EditorWindows::openEditor(int channel, int stage) {
    const auto s = static_cast<SignalFlowPanel::Stage>(stage);
    // A click queued before a mode change hid the block (or disabled the panel) opens nothing.
    if (!main_.signalFlow()->IsReachable(SignalFlowPanel::Channel(channel), s)) return;
    const auto i = static_cast<std::size_t>(channel);
    switch (s) {
    case SignalFlowPanel::Stage::Gain:
        gain_[i]->Open();
        break;
    case SignalFlowPanel::Stage::Delay:
        delay_[i]->Open();
        break;
    case SignalFlowPanel::Stage::Limiter:
        limiter_[i]->Open();
        break;
    case SignalFlowPanel::Stage::Crossover: {
        // The curve is redrawn and the open flag is up while the window is open.
        CrossoverModel &crossover = models_.crossover(channel);
        crossover.EditorOpening();
        crossover_[i]->Open();
        crossover.EditorClosed();
        break;
    }
    default:
        break;  // the PEQ blocks open their editor elsewhere
    }
}

}  // namespace talvo
