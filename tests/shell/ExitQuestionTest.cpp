#include <QAction>
#include <QToolButton>

#include "shell/SignalFlowPanel.h"
#include "ShellFixture.h"
#include "widgets/PanelStatusBar.h"

namespace talvo::test {
namespace {

struct ExitCase {
    const char *name;
    int unsavedChanges;
    QMessageBox::StandardButton answer;
    bool saveAvailable;
    bool expectAsked;
    bool expectSaved;
    bool expectClosed;
};

const ExitCase kExitCases[] = {
    {"NoChangesNoQuestion", 0, QMessageBox::Cancel, true, false, false, true},
    {"YesSavesThenCloses", kYes, QMessageBox::Yes, true, true, true, true},
    {"YesWithoutSaveClosesAnyway", kYes, QMessageBox::Yes, false, true, false, true},
    {"NoClosesWithoutSaving", kYes, QMessageBox::No, true, true, false, true},
    {"CancelKeepsRunning", kYes, QMessageBox::Cancel, true, true, false, false},
    {"ClosedBoxCountsAsCancel", kYes, QMessageBox::Escape, true, true, false, false},
};

class ExitQuestion : public ShellFixture, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitQuestion, Answers) {
    const ExitCase &c = GetParam();
    MainWindow &w = window();
    app().state().link.unsavedChanges = c.unsavedChanges;
    answer = c.answer;
    w.action("Save1")->setEnabled(c.saveAvailable);
    w.show();
    Pump();
    w.statusPanels()->setPanelText(2, "firmware");

    const bool closed = w.close();

    EXPECT_EQ(closed, c.expectClosed);
    EXPECT_EQ(w.isVisible(), !c.expectClosed);
    ASSERT_EQ(asked.size(), c.expectAsked ? 1u : 0u);
    if (c.expectAsked) {
        EXPECT_EQ(asked[0].icon, QMessageBox::Question);
        EXPECT_EQ(asked[0].caption, "TALVO");
        EXPECT_EQ(asked[0].text, "Exit this program,Save the change to a file?");
        EXPECT_EQ(asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    }
    EXPECT_EQ(saveDialogs, c.expectSaved ? 1 : 0);
    // Closing disconnects (on the link level) as the program ends; a cancelled close does not.
    EXPECT_EQ(app().state().link.shuttingDown, c.expectClosed ? kYes : 0);
    EXPECT_EQ(w.statusText(2), c.expectClosed ? "" : "firmware");
}

INSTANTIATE_TEST_SUITE_P(, ExitQuestion, ::testing::ValuesIn(kExitCases),
                         [](const auto &info) { return std::string(info.param.name); });

class ClosingTheWindow : public ShellFixture {};

TEST_F(ClosingTheWindow, EveryWayOfClosingAsksAndCancelLeavesTheWindowWorking) {
    MainWindow &w = window();
    app().state().link.unsavedChanges = kYes;
    w.show();
    Pump();

    answer = QMessageBox::Cancel;
    w.action("Exit1")->trigger();          // menu and toolbar Exit
    Pump();
    w.signalFlow()->closeButton()->click();  // the panel's close button
    Pump();
    w.close();                               // the window's close box
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(w.isVisible());

    // Still working: the menus run, and the next close goes through.
    w.action("Disconnect1")->trigger();
    Pump();
    EXPECT_EQ(w.action("Search1")->text(), "Search... ");
    answer = QMessageBox::No;
    w.action("Exit1")->trigger();
    Pump();
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace talvo::test
