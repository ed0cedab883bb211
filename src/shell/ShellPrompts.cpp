#include "shell/ShellPrompts.h"

#include <QDesktopServices>
#include <QUrl>

namespace talvo {

ShellPrompts ShellPrompts::Defaults() {
    ShellPrompts p;
    p.ask = [](QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text,
               QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, caption, text, buttons, parent);
        const int answer = box.exec();
        return static_cast<QMessageBox::StandardButton>(answer);
    };
    p.tell = [](QWidget *parent, QMessageBox::Icon icon, const QString &caption, const QString &text) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
        box.exec();
    };
    p.openFile = [](const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    return p;
}

}  // namespace talvo
