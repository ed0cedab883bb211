#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include "link/Settings.h"
#include "memory/MemoryWindows.h"
#include "shell/AboutBox.h"
#include "shell/ComSetupDialog.h"
#include "shell/SignalFlowPanel.h"
#include "ShellFixture.h"
#include "widgets/BlockButton.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/RectLed.h"

namespace talvo::test {
namespace {

struct ItemTexts {
    const char *name;
    const char *builtin;
    const char *applied;
};

// Menu captions: the same words before and after ApplyTexts except two trailing spaces.
const ItemTexts kItems[] = {
    {"New1", "New", "New"},
    {"Open1", "Open...", "Open..."},
    {"Save1", "Save...", "Save..."},
    {"Memory1", "Memory...", "Memory..."},
    {"Exit1", "Exit", "Exit"},
    {"Stereo1", "Stereo", "Stereo"},
    {"Bridge1", "Bridge", "Bridge"},
    {"Mono1", "Mono", "Mono"},
    {"SineTest1", "Sine Test ", "Sine Test"},
    {"NoiseTest1", "Noise Test", "Noise Test"},
    {"COMSetup1", "COM Setup...", "COM Setup..."},
    {"Search1", "Search...", "Search... "},
    {"Connect1", "Connect", "Connect"},
    {"Disconnect1", "Disconnect", "Disconnect"},
    {"Content1", "Content", "Content"},
    {"About1", "About...", "About..."},
};

const ItemTexts kMenus[] = {
    {"File1", "File", "File"}, {"Mode1", "Mode", "Mode"}, {"Test1", "Test", "Test"},
    {"Tools1", "Tools", "Tools"}, {"Help1", "Help", "Help"},
};

// The toolbar left to right; null marks a separator.
const ItemTexts kToolBar[] = {
    {"New1", "NEW", "New"},
    {"Open1", "OPEN", "Open"},
    {"Save1", "SAVE", "Save"},
    {nullptr, nullptr, nullptr},
    {"Connect1", "CONNTECT", "Connect"},
    {"Disconnect1", "DISCONNECT", "Disconnect"},
    {nullptr, nullptr, nullptr},
    {"Memory1", "MEMORAY", "Memory"},
    {nullptr, nullptr, nullptr},
    {"About1", "ABOUT", "About"},
    {"Exit1", "EXIT", "Exit"},
};

class MainWindowTexts : public ShellFixture {
protected:
    void ExpectTexts(bool applied) {
        MainWindow &w = window();
        for (const ItemTexts &item : kItems) {
            QAction *a = w.action(item.name);
            ASSERT_NE(a, nullptr) << item.name;
            EXPECT_EQ(a->text(), QString::fromLatin1(applied ? item.applied : item.builtin)) << item.name;
        }
        const QList<QAction *> menus = w.menuBar()->actions();
        ASSERT_EQ(menus.size(), int(std::size(kMenus)));
        for (int i = 0; i < menus.size(); ++i) {
            EXPECT_EQ(menus[i]->menu()->objectName(), QString::fromLatin1(kMenus[i].name));
            EXPECT_EQ(menus[i]->text(), QString::fromLatin1(applied ? kMenus[i].applied : kMenus[i].builtin));
        }
        const QList<QAction *> tools = w.toolBar()->actions();
        ASSERT_EQ(tools.size(), int(std::size(kToolBar)));
        for (int i = 0; i < tools.size(); ++i) {
            const ItemTexts &t = kToolBar[i];
            if (!t.name) {
                EXPECT_TRUE(tools[i]->isSeparator()) << "position " << i + 1;
                continue;
            }
            EXPECT_EQ(tools[i]->objectName(), QString::fromLatin1(t.name)) << "position " << i + 1;
            // The hint as the operator sees it on the button.
            QWidget *button = w.toolBar()->widgetForAction(tools[i]);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->toolTip(), QString::fromLatin1(applied ? t.applied : t.builtin)) << t.name;
        }
    }
};

TEST_F(MainWindowTexts, BuiltInTextsUntilTheFirstApplyTextsThenTheEnglishTexts) {
    ExpectTexts(false);
    window().ApplyTexts();
    ExpectTexts(true);
    window().ApplyTexts();  // idempotent
    ExpectTexts(true);
}

TEST_F(MainWindowTexts, FirstRunWithoutLanguageValueKeepsTheBuiltInTexts) {
    window().show();
    Pump();
    EXPECT_EQ(app().texts().runCount(), 0);
    ExpectTexts(false);
    // Any command that applies the texts brings them in.
    window().Disconnect1Click();
    ExpectTexts(true);
}

TEST_F(MainWindowTexts, AnyLanguageValueGivesTheEnglishTextsAtStartUp) {
    for (int lan : {0, 100}) {
        ASSERT_TRUE(Settings::SetLanguage(lan));
        MainWindowTexts::TearDown();
        MainWindowTexts::SetUp();
        window().show();
        Pump();
        EXPECT_EQ(app().texts().runCount(), 1) << "LAN=" << lan;
        ExpectTexts(true);
    }
}

TEST_F(MainWindowTexts, ApplyTextsWritesTheStateDependentTexts) {
    MainWindow &w = window();
    AppState &s = app().state();
    SignalFlowPanel *panel = w.signalFlow();

    w.ApplyTexts();
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_EQ(w.idLabel()->text(), "ID:1");
    EXPECT_EQ(panel->testSignalButton()->text(), "Noise");
    EXPECT_EQ(w.statusText(2), "");

    s.link.linkActive = kYes;
    s.link.chosenId = 37;
    s.testMode = kTestModeSine;
    s.firmwareMajor = 3;
    s.firmwareMinor = 12;
    w.ApplyTexts();
    EXPECT_EQ(w.lineText()->text(), "ONLINE");
    EXPECT_EQ(w.idLabel()->text(), "ID:37");
    EXPECT_EQ(panel->testSignalButton()->text(), "Sine");
    EXPECT_EQ(w.statusText(2), "     MCU Firmware Version: DSP VS-3.12");

    s.link.linkActive = 0;
    s.testMode = 1;  // any other test mode is the noise test
    w.ApplyTexts();
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_EQ(panel->testSignalButton()->text(), "Noise");
    EXPECT_EQ(w.statusText(2), "");
}

TEST_F(MainWindowTexts, ApplyTextsRestoresTheDiagramAndTheOtherWindowsTexts) {
    MainWindow &w = window();
    using C = SignalFlowPanel::Channel;
    using S = SignalFlowPanel::Stage;
    const struct {
        S stage;
        const char *left;
        const char *right;
        const char *text;
    } blocks[] = {{S::Gain, "fe1", "fd1", "Gain"},
                  {S::Peq, "fe2", "fd2", "PEQ"},
                  {S::Crossover, "fe3", "fd3", "XOVER"},
                  {S::Delay, "fe4", "fd4", "Delay"},
                  {S::Limiter, "fe7", "FD7", "LIMIT"}};
    SignalFlowPanel *panel = w.signalFlow();
    for (const auto &b : blocks) {
        EXPECT_EQ(panel->block(C::Left, b.stage)->objectName(), b.left);
        EXPECT_EQ(panel->block(C::Right, b.stage)->objectName(), b.right);
        panel->block(C::Left, b.stage)->setText("x");
        panel->block(C::Right, b.stage)->setText("x");
    }
    panel->phaseGroup(C::Right)->setTitle("x");
    panel->outputLabel(C::Left)->setText("x");
    panel->channelLabel(C::Right)->setText("x");
    app().comSetup().setWindowTitle("x");
    app().comSetup().okButton()->setText("x");
    app().aboutBox().setWindowTitle("x");
    app().memoryWindow().setWindowTitle("x");
    for (int n = 1; n <= 8; ++n) app().memoryWindow().button(n)->setText("x");

    w.ApplyTexts();
    for (const auto &b : blocks) {
        EXPECT_EQ(panel->block(C::Left, b.stage)->text(), b.text);
        EXPECT_EQ(panel->block(C::Right, b.stage)->text(), b.text);
    }
    EXPECT_EQ(panel->phaseGroup(C::Left)->title(), "Phase");
    EXPECT_EQ(panel->phaseGroup(C::Right)->title(), "Phase");
    EXPECT_EQ(panel->phaseGroup(C::Right)->objectName(), "GB3");
    EXPECT_EQ(panel->outputLabel(C::Left)->text(), "OUT 1");
    EXPECT_EQ(panel->outputLabel(C::Right)->text(), "OUT 2");
    EXPECT_EQ(panel->channelLabel(C::Left)->text(), "LEFT");
    EXPECT_EQ(panel->channelLabel(C::Right)->text(), "RIGHT");
    EXPECT_EQ(panel->inputLabel(C::Left)->text(), "IN A");
    EXPECT_EQ(panel->inputLabel(C::Right)->text(), "IN B");
    EXPECT_EQ(app().comSetup().windowTitle(), "COM Setup");
    EXPECT_EQ(app().comSetup().okButton()->text(), "OK");
    EXPECT_EQ(app().aboutBox().windowTitle(), "About");
    EXPECT_EQ(app().memoryWindow().windowTitle(), "Memory precinct");
    const char *const memoryButtons[] = {"Refresh", "Upload", "File Down", "Setup Down", "Delete", "Delete All", "Save", "OK"};
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(app().memoryWindow().button(n)->text(), memoryButtons[n - 1]) << n;
}

// A status text longer than its panel shows whole in the panel's tooltip; one that fits has none.
TEST(PanelStatusBarTips, ATextLongerThanItsPanelShowsWholeInTheTooltip) {
    const auto settle = [] {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    };
    PanelStatusBar bar({150, 150, 50});
    bar.resize(400, 24);
    bar.show();
    settle();
    const QString longText = QStringLiteral("Restore stopped at slot 8: port lost; slots 1\u20137 written");
    bar.setPanelText(1, longText);
    EXPECT_EQ(bar.panel(1)->toolTip(), longText);
    bar.setPanelText(1, QStringLiteral("Done"));
    EXPECT_TRUE(bar.panel(1)->toolTip().isEmpty());

    // The last panel takes the room left: widened until the text fits, the tooltip goes.
    bar.setPanelText(2, longText);
    EXPECT_EQ(bar.panel(2)->toolTip(), longText);
    bar.resize(1600, 24);
    settle();
    EXPECT_TRUE(bar.panel(2)->toolTip().isEmpty());
}

TEST_F(MainWindowTexts, FrameAsBuilt) {
    MainWindow &w = window();
    EXPECT_EQ(w.objectName(), "TForm1");
    EXPECT_EQ(w.windowTitle(), "TALVO");
    EXPECT_EQ(w.lineText()->text(), "OFFLINE");
    EXPECT_EQ(w.idLabel()->text(), "ID:1");
    EXPECT_FALSE(w.lineLed()->isActive());
    EXPECT_EQ(w.progressBar()->minimum(), 0);
    EXPECT_EQ(w.progressBar()->maximum(), 100);
    ASSERT_EQ(w.statusPanels()->panelCount(), 3);
    EXPECT_EQ(w.statusPanels()->panel(0)->width(), 150);
    EXPECT_EQ(w.statusPanels()->panel(1)->width(), 150);
    EXPECT_GE(w.statusPanels()->panel(2)->minimumWidth(), 50);
    // Every item is offered.
    for (const char *name : {"New1", "Open1", "Save1", "Memory1", "Exit1", "Stereo1", "Bridge1", "Mono1", "SineTest1", "NoiseTest1", "COMSetup1", "Search1", "Connect1",
                             "Disconnect1", "Content1", "About1"})
        EXPECT_TRUE(w.action(name)->isEnabled()) << name;

    w.placeOnScreen();
    EXPECT_EQ(w.size(), kRestoredSize);
    w.showMaximized();
    Pump();
    EXPECT_TRUE(w.isMaximized());
    EXPECT_EQ(w.normalGeometry().size(), kRestoredSize);
}

TEST_F(MainWindowTexts, AboutBoxShowsItsTextsAndCloses) {
    AboutBox &about = app().aboutBox();
    about.hiddenLabel()->setText("left over");
    QTimer::singleShot(0, &about, [&] {
        EXPECT_TRUE(about.isVisible());
        about.okButton()->click();
    });
    window().About1Click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.hiddenLabel()->text(), "");
    EXPECT_EQ(about.size(), QSize(221, 127));
    QStringList shown;
    for (QLabel *l : about.findChildren<QLabel *>())
        if (!l->text().isEmpty()) shown << l->text();
    for (const char *text : {"TALVO  Version 1.0I", "REV:090313001", "2009-03"})
        EXPECT_TRUE(shown.contains(text)) << text;
    EXPECT_EQ(app().texts().runCount(), 1);
}

}  // namespace
}  // namespace talvo::test
