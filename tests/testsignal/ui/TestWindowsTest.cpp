// The Test menu, the signal-flow panel's test layout and the generator window inside the whole
// application on simulated amplifiers: check marks, the "Sine" / "Noise" button with its lamp,
// which blocks stay usable, leaving the test through the Mode menu, and the window's controls.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "shell/TestWindows.h"
#include "state/ProgramApply.h"
#include "testsignal/SineWindow.h"
#include "testsignal/TestSignalController.h"
#include "tests/editors/ui/EditorUiSupport.h"
#include "editors/FrequencyText.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "widgets/ArrowLamp.h"

namespace talvo::test {
namespace {

using Channel = SignalFlowPanel::Channel;
using Stage = SignalFlowPanel::Stage;

class TestWindowsTest : public EditorApp {
protected:
    // Chooses a Test menu item and waits until the whole entry is over.
    void ChooseTest(const char *item) {
        bool entered = false;
        auto c = QObject::connect(&app().testModes(), &TestModeController::testModeEntered, [&] { entered = true; });
        main().action(item)->trigger();
        for (int i = 0; i < 400 && !entered; ++i) Wait(50);
        QObject::disconnect(c);
        EXPECT_TRUE(entered) << item;
        Pump();
    }

    std::vector<QString> checkedItems() {
        std::vector<QString> out;
        for (const char *name : {"Stereo1", "Bridge1", "Mono1", "SineTest1", "NoiseTest1"})
            if (main().action(name)->isChecked()) out.emplace_back(QString::fromLatin1(name));
        return out;
    }

    bool shown(QWidget *w) { return w->isVisibleTo(&panel()); }
};

TEST_F(TestWindowsTest, TestItemsMarkTheirTestAndShowTheTestLayoutUntilAModeIsChosen) {
    Start();
    ChooseTest("SineTest1");
    EXPECT_EQ(app().state().testMode, kTestModeSine);
    EXPECT_EQ(checkedItems(), std::vector<QString>{"SineTest1"});
    EXPECT_TRUE(shown(panel().testSignalButton()));
    EXPECT_EQ(panel().testSignalButton()->text(), QStringLiteral("Sine"));
    EXPECT_TRUE(shown(panel().testSignalLamp()));
    for (Channel ch : {Channel::Left, Channel::Right}) {
        EXPECT_FALSE(shown(panel().inputLabel(ch)));
        EXPECT_FALSE(shown(panel().channelLabel(ch)));
        // Only the Gain blocks set something during a test: the test signal's level.
        EXPECT_TRUE(panel().IsReachable(ch, Stage::Gain));
        for (Stage s : {Stage::Peq, Stage::Crossover, Stage::Delay, Stage::Phase, Stage::Limiter})
            EXPECT_FALSE(panel().IsReachable(ch, s)) << int(s);
    }
    EXPECT_TRUE(panel().isEnabled());

    ChooseTest("NoiseTest1");
    EXPECT_EQ(checkedItems(), std::vector<QString>{"NoiseTest1"});
    EXPECT_EQ(panel().testSignalButton()->text(), QStringLiteral("Noise"));

    ChooseMode("Stereo1");
    EXPECT_EQ(app().state().testMode, kTestModeNone);
    EXPECT_EQ(checkedItems(), std::vector<QString>{"Stereo1"});
    EXPECT_FALSE(shown(panel().testSignalButton()));
    EXPECT_FALSE(shown(panel().testSignalLamp()));
    EXPECT_TRUE(shown(panel().inputLabel(Channel::Left)));
    EXPECT_TRUE(panel().IsReachable(Channel::Right, Stage::Delay));
}

TEST_F(TestWindowsTest, AModeChosenDuringTheEntryLeavesThePanelDisabledAndTheTestOn) {
    Start();
    bool looked = false;
    bool enabledAfterModeClick = true;
    // Inside the entry's waits: the Mode menu's click and, after its queued handler, a look.
    auto c = QObject::connect(&app().testModes(), &TestModeController::testModeMarked, [&] {
        main().action("Stereo1")->trigger();
        QTimer::singleShot(0, [&] {
            looked = true;
            enabledAfterModeClick = panel().isEnabled();
        });
    });
    ChooseTest("NoiseTest1");
    QObject::disconnect(c);
    EXPECT_TRUE(looked);
    EXPECT_FALSE(enabledAfterModeClick);
    EXPECT_TRUE(panel().isEnabled());
    EXPECT_EQ(app().state().testMode, kTestModeNoise);
    EXPECT_EQ(checkedItems(), std::vector<QString>{"NoiseTest1"});
}

TEST_F(TestWindowsTest, TheSineButtonOpensTheGeneratorAndTheNoiseButtonNothing) {
    Start();
    ChooseTest("NoiseTest1");
    EXPECT_EQ(ModalOpenedBy([&] { panel().testSignalButton()->click(); }), nullptr);
    ChooseTest("SineTest1");
    QWidget *opened = ModalOpenedBy([&] { panel().testSignalButton()->click(); });
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->objectName(), QStringLiteral("TForm20"));
    EXPECT_EQ(opened->windowTitle(), QStringLiteral("Sine Ware"));
    // Test mode stays on after the window closes.
    EXPECT_EQ(app().state().testMode, kTestModeSine);
}

TEST_F(TestWindowsTest, TheGainEditorSetsTheTestLevelWithMuteOutOfReach) {
    Start();
    ChooseTest("SineTest1");
    GainWindow &left = editors().gain(kLeftChannel);
    EXPECT_EQ(ModalOpenedBy([&] { panel().block(Channel::Left, Stage::Gain)->click(); }), &left);
    // As the block left the window for the operator.
    EXPECT_FALSE(left.muteButton()->isEnabled());
    EXPECT_TRUE(left.slider()->isEnabled());
    EXPECT_TRUE(left.model().muted());
    EXPECT_EQ(left.model().GainCommand(), 4);
}

TEST_F(TestWindowsTest, GeneratorControlsDriveTheGenerator) {
    Start();
    ChooseTest("SineTest1");
    SineWindow &w = app().testWindows().sineWindow();
    w.show();
    Pump();
    EXPECT_TRUE(w.autoButton()->isEnabled());
    EXPECT_FALSE(w.pauseButton()->isEnabled());
    EXPECT_FALSE(w.stopButton()->isEnabled());

    w.frequencyField()->setText(QStringLiteral("1k"));
    QTest::keyClick(w.frequencyField(), Qt::Key_Return);
    EXPECT_EQ(w.frequencySlider()->value(), 203);
    EXPECT_EQ(w.frequencyField()->text(), QStringLiteral("1000Hz"));

    w.speedField()->setValue(7);
    EXPECT_EQ(app().sineGenerator().sweepStep(), 7);
    EXPECT_EQ(w.speedSlider()->value(), 7);

    w.autoButton()->click();
    EXPECT_FALSE(w.autoButton()->isEnabled());
    EXPECT_TRUE(w.pauseButton()->isEnabled());
    EXPECT_TRUE(w.stopButton()->isEnabled());
    Wait(10 * kSweepTickMs);
    // The sweep moves the slider without counting as the operator's move.
    EXPECT_GT(w.frequencySlider()->value(), 203);
    EXPECT_TRUE(app().sineGenerator().sweepRunning());

    w.stopButton()->click();
    EXPECT_EQ(w.frequencySlider()->value(), 0);
    EXPECT_EQ(w.frequencyField()->text(), QStringLiteral("19.7Hz"));
    EXPECT_TRUE(w.autoButton()->isEnabled());
    EXPECT_FALSE(w.stopButton()->isEnabled());

    // Keys on the slider are the operator's: the field follows.
    w.frequencySlider()->setFocus();
    QTest::keyClick(w.frequencySlider(), Qt::Key_PageUp);
    EXPECT_EQ(w.frequencySlider()->value(), 10);
    EXPECT_EQ(app().sineGenerator().sweepIndex(), 10);
    EXPECT_EQ(w.frequencyField()->text(), FormatFrequency(SineGridFrequency(10)));

    w.autoButton()->click();
    w.okButton()->click();
    EXPECT_FALSE(app().sineGenerator().sweepRunning());
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace talvo::test
