#pragma once
// The whole application (every window) on simulated amplifiers served on a pseudo-terminal in
// a thread of this process, with settings and the device list in folders of their own, a
// faster clock, and the operator's message boxes caught.

#include "tests/support/ScopedHome.h"
#include "tests/support/SimLine.h"
#include <memory>
#include <thread>
#include <vector>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "link/Clock.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"
#include "UiSupport.h"
#include "tests/devices/DeviceTestSupport.h"

namespace talvo::test {

using SimBusLine = testsupport::SimLine;

inline sim::AmplifierConfig Amp(int id, int subAddress = 1) {
    sim::AmplifierConfig config;
    config.id = static_cast<std::uint8_t>(id);
    config.subAddress = static_cast<std::uint16_t>(subAddress);
    return config;
}

class AppOnSimBus : public ::testing::Test {
protected:
    // The whole application on one main thread: the clock holds for the simulator and the I/O
    // thread, but not for a main thread the machine wakes late, whose editor ticks and waits
    // then fall due together. A quarter of the procedures' speed leaves those room.
    void SetUp() override {
        Clock::setSpeed(testing::kProcedureSpeed / 4);
    }
    void TearDown() override {
        app_.reset();
        line_.reset();
        Clock::setSpeed(1.0);
    }

    // Builds the application on a bus with these amplifiers (none: no bus, the ports as
    // configured, which here are none).
    Application &Start(const std::vector<sim::AmplifierConfig> &amplifiers = {}) {
        ApplicationOptions options;
        if (!amplifiers.empty()) {
            line_ = std::make_unique<SimBusLine>(amplifiers, testing::PatientBus());
            options.deviceOverride = line_->devicePath();
        }
        app_ = std::make_unique<Application>(options);
        app_->Create();
        ShellPrompts &p = app_->mainWindow().prompts();
        p.ask = [](QWidget *, QMessageBox::Icon, const QString &, const QString &, QMessageBox::StandardButtons) {
            return QMessageBox::Cancel;
        };
        p.tell = [this](QWidget *, QMessageBox::Icon, const QString &, const QString &text) { told << text; };
        p.openFile = [](const QString &) { return false; };
        app_->mainWindow().show();
        Pump();
        return *app_;
    }
    Application &app() { return *app_; }
    MainWindow &main() { return app_->mainWindow(); }
    SimBusLine &line() { return *line_; }

    testsupport::ScopedHome home;
    QStringList told;

private:
    std::unique_ptr<SimBusLine> line_;
    std::unique_ptr<Application> app_;
};

}  // namespace talvo::test
