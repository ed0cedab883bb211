// The signal-flow panel and the Mode menu: the blocks open their editors, the right chain is
// out of reach in Bridge and Mono, the diagram and check marks follow the mode, the whole mode
// change runs with the panel disabled and the progress bar moving, the phase boxes send, and
// the Bridge entry follows what the connected amplifier offers.

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include "EditorUiSupport.h"
#include "editors/GainModel.h"
#include "editors/GainWindow.h"
#include "state/ProgramApply.h"
#include "widgets/ArrowLamp.h"
#include "widgets/BlockButton.h"

namespace talvo::test {
namespace {

using PanelModeTest = EditorApp;
using Channel = SignalFlowPanel::Channel;
using Stage = SignalFlowPanel::Stage;

struct BlockCase {
    Channel channel;
    Stage stage;
    const char *opens;  // the window's object name
};
const BlockCase kBlocks[] = {
    {Channel::Left, Stage::Gain, "TForm5"},     {Channel::Right, Stage::Gain, "TForm6"},
    {Channel::Left, Stage::Delay, "TForm9"},    {Channel::Right, Stage::Delay, "TForm10"},
    {Channel::Left, Stage::Limiter, "TForm11"}, {Channel::Right, Stage::Limiter, "TForm12"},
};

TEST_F(PanelModeTest, EveryBlockOpensItsEditorAndInBridgeAndMonoOnlyTheLeftOnes) {
    Start();
    auto opened = [&](const BlockCase &b) {
        QWidget *w = ModalOpenedBy([&] { panel().block(b.channel, b.stage)->click(); });
        return w ? w->objectName() : QString();
    };
    for (const BlockCase &b : kBlocks) EXPECT_EQ(opened(b), b.opens);

    for (const char *mode : {"Bridge1", "Mono1"}) {
        ChooseMode(mode);
        for (const BlockCase &b : kBlocks) {
            SCOPED_TRACE(std::string(mode) + " " + b.opens);
            if (b.channel == Channel::Left) {
                EXPECT_EQ(opened(b), b.opens);
                continue;
            }
            EXPECT_FALSE(panel().IsReachable(b.channel, b.stage));
            // Even a click that reaches the panel's signal (queued from before) opens nothing.
            EXPECT_EQ(ModalOpenedBy([&] { emit panel().blockClicked(b.channel, b.stage); }), nullptr);
        }
    }
    ChooseMode("Stereo1");
    for (const BlockCase &b : kBlocks) EXPECT_EQ(opened(b), b.opens);
}

struct ModeCase {
    const char *item;
    bool rightChain;
    std::array<bool, 6> arrows14to19;
};
const ModeCase kModes[] = {
    {"Bridge1", false, {false, true, true, true, true, false}},
    {"Mono1", false, {false, false, false, true, false, true}},
    {"Stereo1", true, {true, false, false, false, false, false}},
};

TEST_F(PanelModeTest, EachModeShowsItsDiagramAndCheckMarkAndEndsWithBothChannelsMuted) {
    Start();
    for (const ModeCase &m : kModes) {
        SCOPED_TRACE(m.item);
        // Something to reset: the left channel unmuted at -10.0 dB.
        GainModel &left = models().gain(kLeftChannel);
        left.MuteClicked();
        editors().gain(kLeftChannel).slider()->setValue(-100);
        ASSERT_FALSE(left.muted());

        ChooseMode(m.item);
        for (const char *item : {"Stereo1", "Bridge1", "Mono1"})
            EXPECT_EQ(main().action(item)->isChecked(), std::string(item) == m.item) << item;
        for (int n = 14; n <= 19; ++n)
            EXPECT_EQ(panel().arrow(n)->isVisibleTo(&panel()), m.arrows14to19[std::size_t(n - 14)]) << "iLedArrow" << n;
        for (int n = 7; n <= 12; ++n) EXPECT_EQ(panel().arrow(n)->isVisibleTo(&panel()), m.rightChain) << n;
        for (const char *name : {"fd1", "fd2", "fd3", "fd4", "fd5", "fd6", "FD7", "GB3", "RIGHT", "INB"}) {
            QWidget *w = panel().findChild<QWidget *>(name);
            ASSERT_TRUE(w) << name;
            EXPECT_EQ(w->isVisibleTo(&panel()), m.rightChain) << name;
        }
        for (const char *name : {"fe1", "fe4", "fe7", "LEFT", "INA", "OUT1", "OUT2"})
            EXPECT_TRUE(panel().findChild<QWidget *>(name)->isVisibleTo(&panel())) << name;
        for (int n = 1; n <= 6; ++n) EXPECT_TRUE(panel().arrow(n)->isVisibleTo(&panel())) << n;
        EXPECT_TRUE(panel().isEnabled());

        for (int ch : {kLeftChannel, kRightChannel}) {
            GainWindow &g = editors().gain(ch);
            EXPECT_EQ(g.slider()->value(), -600);
            EXPECT_EQ(g.valueBox()->text(), "-60.0dB");
            EXPECT_FALSE(g.slider()->isEnabled());
            EXPECT_TRUE(g.lamp()->isLit());
        }
    }
}

TEST_F(PanelModeTest, ConnectedModeChangeKeepsThePanelDisabledWhileTheProgressBarRunsAndSendsInOrder) {
    // The change waits 200 ms for each answer: slow enough for a loaded machine to deliver it.
    Clock::setSpeed(5.0);
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    std::vector<int> progress;
    std::vector<bool> panelEnabled;
    QObject::connect(main().progressBar(), &QProgressBar::valueChanged, &panel(), [&](int value) {
        progress.push_back(value);
        panelEnabled.push_back(panel().isEnabled());
    });
    ChooseMode("Bridge1");
    EXPECT_TRUE(panel().isEnabled());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 20);
    EXPECT_EQ(progress.back(), 0);
    for (int p : {40, 60, 80}) EXPECT_NE(std::find(progress.begin(), progress.end(), p), progress.end()) << p;
    for (bool enabled : panelEnabled) EXPECT_FALSE(enabled) << "Panel2 is disabled during the change";
    EXPECT_FALSE(panel().block(Channel::Right, Stage::Gain)->isVisibleTo(&panel()));

    // The change's waits run from the moment a frame is queued; on a loaded machine the last
    // one may still be on its way when they are over.
    ASSERT_TRUE(app().link().WaitForIdle(60000));
    line().stop();
    // From the mode change's connect frame (the last 220) on.
    std::vector<std::pair<int, int>> sent;
    for (const sim::FrameRecord &f : line().frames()) {
        if (f.frame.command == 220) sent.clear();
        sent.emplace_back(f.frame.command, f.frame.data[0]);
    }
    // In this order; a frame whose answer was late on a loaded machine goes out once more.
    std::vector<std::pair<int, int>> distinct;
    for (const auto &frame : sent) {
        if (!distinct.empty() && distinct.back() == frame) continue;
        distinct.push_back(frame);
    }
    const std::vector<std::pair<int, int>> expected{{220, 100}, {199, 100}, {198, 100}, {195, 1}};
    EXPECT_EQ(distinct, expected);
    EXPECT_LE(sent.size(), 2 * expected.size() - 1) << "the connect frame is never resent";
    EXPECT_EQ(line().bus().amplifier(0).mode(), Mode::Bridge);
}

// The port lost as the amplifier takes the announcement (198), before the mode (195): the
// windows keep the new mode, and the one message says the change did not complete.
TEST_F(PanelModeTest, AModeChangeCutShortByALostPortKeepsTheNewModeAndSaysItDidNotComplete) {
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    line().hangUpAtFrame([](const sim::FrameRecord &f) { return f.frame.command == 198; });
    ChooseMode("Bridge1");
    for (int i = 0; i < 100 && told.empty(); ++i) Wait(20);
    Wait(100);  // room for a second message, which must not come
    ASSERT_EQ(told.size(), 1) << told.join(" | ").toStdString();
    EXPECT_TRUE(told[0].contains("was lost")) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains("The change to Bridge mode did not complete")) << told[0].toStdString();
    EXPECT_TRUE(main().action("Bridge1")->isChecked());
    EXPECT_FALSE(panel().block(Channel::Right, Stage::Gain)->isVisibleTo(&panel()));
    EXPECT_TRUE(panel().arrow(15)->isVisibleTo(&panel()));
    EXPECT_TRUE(panel().isEnabled());
    EXPECT_EQ(models().modes().mode(), Mode::Bridge);
}

TEST_F(PanelModeTest, ThePhaseBoxesSendTheirChannelsPhase) {
    Start({Amp(3)});
    ASSERT_TRUE(Connect(3));
    QCheckBox *left = panel().phaseBox(Channel::Left);
    QCheckBox *right = panel().phaseBox(Channel::Right);
    EXPECT_EQ(left->objectName(), "fe5");
    EXPECT_EQ(right->objectName(), "fd5");
    EXPECT_EQ(left->text(), "180");
    ASSERT_TRUE(left->isEnabled());
    left->click();
    left->click();
    right->click();
    ASSERT_TRUE(app().link().WaitForIdle(60000));
    line().stop();
    std::vector<std::pair<int, int>> sent;
    for (const sim::FrameRecord &f : line().frames())
        if (f.frame.command == 95 || f.frame.command == 191) sent.emplace_back(f.frame.command, f.frame.data[0]);
    const std::vector<std::pair<int, int>> expected{{95, 180}, {95, 0}, {191, 180}};
    EXPECT_EQ(sent, expected);
    EXPECT_FALSE(left->isChecked());
    EXPECT_TRUE(right->isChecked());
}

TEST_F(PanelModeTest, TheBridgeEntryFollowsWhatTheConnectedAmplifierOffers) {
    sim::AmplifierConfig noBridge = Amp(3);
    noBridge.bridgeAvailable = false;
    Start({noBridge, Amp(5)});
    QAction *bridge = main().action("Bridge1");
    EXPECT_TRUE(bridge->isEnabled()) << "before any connect";
    EXPECT_TRUE(main().action("Stereo1")->isEnabled());
    EXPECT_TRUE(main().action("Mono1")->isEnabled());
    ASSERT_TRUE(Connect(3));
    EXPECT_FALSE(bridge->isEnabled());
    main().Disconnect1Click();
    EXPECT_TRUE(bridge->isEnabled()) << "a disconnect gives it back";
    ASSERT_TRUE(Connect(3));
    EXPECT_FALSE(bridge->isEnabled());
    ASSERT_TRUE(Connect(5));
    EXPECT_TRUE(bridge->isEnabled());
}

}  // namespace
}  // namespace talvo::test
