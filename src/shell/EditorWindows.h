#pragma once
// The editor windows of both channels (gain, crossover, delay, limiter) and what joins them and the mode
// controller to the main window: the signal-flow panel's blocks open the windows, its "180"
// boxes switch the phase, the Mode menu changes the operating mode (its check marks and the
// Bridge entry follow), and the panel shows the diagram of the mode.
//
// Created once at start-up by the application, after the main window; the windows belong to
// the main window like every other dialog.

#include <array>

#include <QObject>

#include "programs/ProgramRecord.h"

class QAction;

namespace talvo {

class CrossoverWindow;
class DelayWindow;
class EditorModels;
class GainWindow;
class InterfaceTexts;
class LimiterWindow;
class MainWindow;

class EditorWindows : public QObject {
    Q_OBJECT
public:
    EditorWindows(EditorModels &models, MainWindow &main, InterfaceTexts &texts, QObject *parent = nullptr);

    // kLeftChannel / kRightChannel.
    GainWindow &gain(int channel) const { return *gain_[static_cast<std::size_t>(channel)]; }
    DelayWindow &delay(int channel) const { return *delay_[static_cast<std::size_t>(channel)]; }
    LimiterWindow &limiter(int channel) const { return *limiter_[static_cast<std::size_t>(channel)]; }
    CrossoverWindow &crossover(int channel) const { return *crossover_[static_cast<std::size_t>(channel)]; }

    // The Mode menu's handlers: the whole mode change through the controller.
    void Stereo1Click();
    void Bridge1Click();
    void Mono1Click();
    // The Mode menu's "Bridge" entry is usable while the connected amplifier offers it.
    void SetBridgeAvailable(bool available);

    // The check mark on the mode's item; the other mode items and the test items lose theirs.
    void ShowModeMark(Mode mode);

private:
    void openEditor(int channel, int stage);
    void changeMode(Mode mode);
    QAction *action(const char *name) const;

    EditorModels &models_;
    MainWindow &main_;
    std::array<GainWindow *, 2> gain_{};
    std::array<DelayWindow *, 2> delay_{};
    std::array<LimiterWindow *, 2> limiter_{};
    std::array<CrossoverWindow *, 2> crossover_{};
};

}  // namespace talvo
