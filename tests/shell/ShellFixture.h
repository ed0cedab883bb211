#pragma once
// A whole application (state, link, every window) on a settings file of its own, with the
// operator's answers scripted: questions get `answer`, notices and opened files are recorded.

#include "tests/support/ScopedHome.h"
#include <memory>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "link/Clock.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"

namespace talvo::test {

struct Prompt {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
};

using ScopedConfigHome = testsupport::ScopedHome;

class ShellFixture : public ::testing::Test {
protected:
    void SetUp() override { Clock::setSpeed(20.0); }
    void TearDown() override {
        app_.reset();
        Clock::setSpeed(1.0);
    }

    // Options for the application app() builds.
    void UseOptions(const ApplicationOptions &options) { options_ = options; }

    // Builds the application; call after the settings the test needs are in place.
    Application &app() {
        if (!app_) {
            app_ = std::make_unique<Application>(options_);
            app_->Create();
            ShellPrompts &p = app_->mainWindow().prompts();
            p.ask = [this](QWidget *, QMessageBox::Icon icon, const QString &caption, const QString &text,
                           QMessageBox::StandardButtons buttons) {
                asked.push_back({icon, caption, text, buttons});
                return answer;
            };
            p.tell = [this](QWidget *, QMessageBox::Icon icon, const QString &caption, const QString &text) {
                told.push_back({icon, caption, text, QMessageBox::Ok});
            };
            p.chooseOpenFile = [this](QWidget *, const std::function<void(const QString &)> &selectionMoved) {
                ++openDialogs;
                for (const QString &path : openSelections) selectionMoved(path);
                labelWhileOpen = app_->mainWindow().openedFileLabel()->text();
                return NextChoice(openChoices);
            };
            p.chooseSaveFile = [this](QWidget *) {
                ++saveDialogs;
                return NextChoice(saveChoices);
            };
            p.openFile = [this](const QString &path) {
                opened.push_back(path);
                return openSucceeds;
            };
        }
        return *app_;
    }
    MainWindow &window() { return app().mainWindow(); }

    static void Pump() {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }

    // The file dialogs' answers, one per showing; an empty text or none left is a cancel.
    static QString NextChoice(std::vector<QString> &choices) {
        if (choices.empty()) return QString();
        const QString next = choices.front();
        choices.erase(choices.begin());
        return next;
    }

    ScopedConfigHome config;
    std::vector<QString> openChoices;
    std::vector<QString> saveChoices;
    // Files the open dialog's selection moves through before it closes.
    std::vector<QString> openSelections;
    QString labelWhileOpen;
    int openDialogs = 0;
    int saveDialogs = 0;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    bool openSucceeds = true;
    std::vector<Prompt> asked;
    std::vector<Prompt> told;
    std::vector<QString> opened;

private:
    ApplicationOptions options_;
    std::unique_ptr<Application> app_;
};

}  // namespace talvo::test
