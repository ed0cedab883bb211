#pragma once
// What joins the sine and noise tests to the main window: the Test menu's "Sine Test" and
// "Noise Test" (with their check marks) enter a test mode through the controller, the
// signal-flow panel's test-signal button shows "Sine" or "Noise" and opens the generator
// window in sine test mode, and the generator window "Sine Ware" itself.
//
// Created once at start-up by the application, after the editor windows; the generator window
// belongs to the main window like every other dialog.

#include <QObject>

class QAction;

namespace talvo {

class InterfaceTexts;
class MainWindow;
class SineGenerator;
class SineWindow;
class TestModeController;

class TestWindows : public QObject {
    Q_OBJECT
public:
    TestWindows(TestModeController &tests, SineGenerator &generator, MainWindow &main, InterfaceTexts &texts,
                QObject *parent = nullptr);

    SineWindow &sineWindow() const { return *sine_; }

    // The Test menu's handlers: the whole entry into the test mode.
    void SineTest1Click();
    void NoiseTest1Click();
    // The panel's test-signal button: the generator window, in sine test mode only.
    void SINDDClick();

    // The check mark on the test's item; the mode items and the other test item lose theirs.
    void ShowTestMark(int testMode);

private:
    void enter(int testMode);
    QAction *action(const char *name) const;

    TestModeController &tests_;
    MainWindow &main_;
    SineWindow *sine_;
};

}  // namespace talvo
