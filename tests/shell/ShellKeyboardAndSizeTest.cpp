// The main window under the keyboard and when made small: Space never closes the program, and
// the window stops shrinking where the signal-flow panel's blocks would no longer fit.

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "shell/SignalFlowPanel.h"
#include "ShellFixture.h"
#include "widgets/ArrowLamp.h"
#include "widgets/BlockButton.h"

namespace talvo::test {
namespace {

class MainWindowKeyboard : public ShellFixture {
protected:
    void ShowActive() {
        MainWindow &w = window();
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        Pump();
    }
};

TEST_F(MainWindowKeyboard, SpaceAfterClickingTheBackgroundOrALabelLeavesTheProgramRunning) {
    MainWindow &w = window();
    ShowActive();
    // Space may press whichever block has the focus, which opens that block's editor: that is
    // the keyboard's way to a block, so such an editor is simply closed again.
    QTimer closeEditors;
    QObject::connect(&closeEditors, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closeEditors.start(20);
    for (QWidget *clicked : {w.centralWidget(), static_cast<QWidget *>(w.signalFlow()),
                             static_cast<QWidget *>(w.lineText())}) {
        QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(2, 2));
        QWidget *focus = QApplication::focusWidget();
        EXPECT_NE(focus, w.signalFlow()->closeButton());
        QTest::keyClick(focus ? focus : &w, Qt::Key_Space);
        Pump();
        EXPECT_TRUE(w.isVisible()) << "Space after a click on " << clicked->objectName().toStdString();
        EXPECT_TRUE(asked.empty());
    }
}

TEST_F(MainWindowKeyboard, TabNeverReachesThePanelsCloseButtonWhichClosesOnlyWhenClicked) {
    MainWindow &w = window();
    app().state().link.unsavedChanges = kYes;
    ShowActive();
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), w.signalFlow()->closeButton()) << "after " << i + 1 << " tabs";
    }
    EXPECT_TRUE(w.isVisible());

    // A click asks the exit question, as File > Exit does.
    answer = QMessageBox::Cancel;
    QTest::mouseClick(w.signalFlow()->closeButton(), Qt::LeftButton);
    Pump();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Exit this program,Save the change to a file?");
    EXPECT_TRUE(w.isVisible());
}

// The part of `widget` that lies outside `area` (both in the panel's coordinates) is empty.
bool Inside(const QRect &area, const QWidget *widget, const QWidget *panel) {
    const QRect r(widget->mapTo(panel, QPoint(0, 0)), widget->size());
    return area.contains(r);
}

class MainWindowSize : public ShellFixture {};

TEST_F(MainWindowSize, ShrinkingStopsWhereTheBlocksStillFit) {
    MainWindow &w = window();
    w.show();
    Pump();
    w.resize(120, 90);
    Pump();
    // The window's minimum still lets it take its restored size.
    EXPECT_LE(w.minimumWidth(), kRestoredSize.width());
    EXPECT_LE(w.minimumHeight(), kRestoredSize.height());

    EXPECT_GT(w.width(), 120);
    EXPECT_GT(w.height(), 90);
    SignalFlowPanel *panel = w.signalFlow();
    const QRect area = panel->contentsRect();
    std::vector<QRect> taken;
    for (BlockButton *block : panel->findChildren<BlockButton *>()) {
        if (!block->isVisibleTo(panel)) continue;
        SCOPED_TRACE(block->objectName().toStdString());
        EXPECT_TRUE(Inside(area, block, panel));
        // Room beside the caption: at least 9 pixels on each side.
        EXPECT_GE(block->width(), block->fontMetrics().horizontalAdvance(block->text()) + 18);
        EXPECT_GE(block->height(), block->minimumSizeHint().height());
        const QRect r(block->mapTo(panel, QPoint(0, 0)), block->size());
        for (const QRect &other : taken) EXPECT_FALSE(r.intersects(other));
        taken.push_back(r);
    }
    EXPECT_EQ(taken.size(), 12u);
    for (auto channel : {SignalFlowPanel::Channel::Left, SignalFlowPanel::Channel::Right}) {
        QGroupBox *phase = panel->phaseGroup(channel);
        EXPECT_GE(phase->width(), phase->minimumSizeHint().width());
        EXPECT_TRUE(Inside(area, panel->outputLabel(channel), panel));
        EXPECT_TRUE(Inside(area, panel->inputLabel(channel), panel));
    }
    EXPECT_TRUE(Inside(panel->contentsRect(), panel->closeButton(), panel));
}

}  // namespace
}  // namespace talvo::test
