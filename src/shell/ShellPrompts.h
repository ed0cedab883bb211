#pragma once
// The ways the shell speaks to the operator outside its windows: modal questions, notices and
// handing a file to the desktop. They are plain functions so that tests can answer a question
// or catch a notice without a human at the screen; the defaults use message boxes and the
// desktop's file handler.

#include <functional>

#include <QMessageBox>
#include <QString>

class QWidget;

namespace talvo {

// "*.VKP|*.VKP": shown as "*.VKP", matching *.VKP.
inline constexpr char kProgramFileFilter[] = "*.VKP (*.VKP)";
// What room-measurement software writes its filter settings as.
inline constexpr char kFilterFileFilter[] = "Filter settings (*.txt *.TXT);;All files (*)";
inline constexpr int kEqChannelCancelled = -1;
inline constexpr int kEqChannelLeft = 0;
inline constexpr int kEqChannelRight = 1;
inline constexpr int kEqChannelBoth = 2;

struct ShellPrompts {
    // A question with the given buttons; returns the button chosen (Cancel/Escape when closed).
    std::function<QMessageBox::StandardButton(QWidget *parent, QMessageBox::Icon icon, const QString &caption,
                                              const QString &text, QMessageBox::StandardButtons buttons)>
        ask;
    // A notice with one "OK" button.
    std::function<void(QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text)>
        tell;
    // Opens a file with the desktop's handler for its type; false when nothing could open it.
    std::function<bool(const QString &path)> openFile;
    // The program file dialogs; both give the chosen full path, or the empty text when
    // cancelled. The open dialog reports every file the selection moves to.
    std::function<QString(QWidget *parent, const std::function<void(const QString &path)> &selectionMoved)>
        chooseOpenFile;
    std::function<QString(QWidget *parent)> chooseSaveFile;
    // A folder to write into (the Search window's "Back Up All..."); empty when cancelled.
    std::function<QString(QWidget *parent, const QString &caption)> chooseFolder;
    // File > Import EQ...: the filter file (empty: cancelled), then the channel it goes into:
    // 0 left, 1 right, 2 both, -1 cancelled.
    std::function<QString(QWidget *parent)> chooseFilterFile;
    std::function<int(QWidget *parent)> chooseEqChannel;

    static ShellPrompts Defaults();
};

}  // namespace talvo
