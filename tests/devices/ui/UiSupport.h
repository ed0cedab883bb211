#pragma once
// Driving modal windows in tests: an answer is scheduled before the window is opened and
// given once the window is up, so exec() returns without anyone at the screen.

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

namespace talvo::test {

// Once `dialog` is visible, runs `answer` on it (which should close it). Gives up after a while
// so that a dialog that never opens fails the test instead of hanging it.
inline void WhenShown(QDialog *dialog, std::function<void(QDialog *)> answer, int triesLeft = 500) {
    QTimer::singleShot(5, dialog, [dialog, answer, triesLeft] {
        if (dialog->isVisible()) {
            answer(dialog);
            return;
        }
        if (triesLeft <= 0) {
            ADD_FAILURE() << "dialog " << dialog->objectName().toStdString() << " never opened";
            return;
        }
        WhenShown(dialog, answer, triesLeft - 1);
    });
}

inline void Pump() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

inline QByteArray ReadAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

inline void WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

}  // namespace talvo::test
