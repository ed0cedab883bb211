#pragma once
// The editor windows and the Mode menu inside the whole application on simulated amplifiers:
// connecting as the Connect window does, waiting on the shared clock with the interface
// running, and catching a modal window that a click opens.

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "AppOnSimBus.h"
#include "devices/ConnectProcedure.h"
#include "editors/EditorModels.h"
#include "editors/ModeController.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "shell/EditorWindows.h"
#include "shell/SignalFlowPanel.h"
#include "widgets/BlockButton.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo::test {

class EditorApp : public AppOnSimBus {
protected:
    // Tools > Connect's link steps and the Connect window's procedure (outputs not muted).
    bool Connect(int id) {
        if (!app().linkController().ConnectLinkSteps()) return false;
        ConnectRequest request;
        request.id = id;
        request.mute = false;
        return app().connectController().Connect(request);
    }

    // Nominal milliseconds on the shared clock with the interface running.
    void Wait(double ms) { app().link().WaitPumping(ms); }

    EditorWindows &editors() { return app().editorWindows(); }
    EditorModels &models() { return app().editorModels(); }
    SignalFlowPanel &panel() { return *main().signalFlow(); }

    // Runs `click`, then whatever modal window it opened (directly or queued) is closed again
    // and returned; null when none opened.
    QWidget *ModalOpenedBy(const std::function<void()> &click) {
        QPointer<QWidget> opened;
        // Looks every few milliseconds, also from inside the modal window's own loop; the
        // timer dies with this call, so nothing looks afterwards.
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&opened] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                opened = w;
                w->close();
            }
        });
        watch.start();
        click();
        // Long enough for a queued open to happen and be seen.
        for (int i = 0; i < 20 && !opened; ++i) Wait(20);
        watch.stop();
        Pump();
        return opened.data();
    }

    // Runs a whole mode change from the Mode menu item and waits until it is over.
    void ChooseMode(const char *item) {
        bool finished = false;
        auto c = QObject::connect(&models().modes(), &ModeController::modeChangeFinished, [&] { finished = true; });
        main().action(item)->trigger();
        for (int i = 0; i < 400 && !finished; ++i) Wait(50);
        QObject::disconnect(c);
        EXPECT_TRUE(finished) << item;
        Pump();
    }
};

}  // namespace talvo::test
