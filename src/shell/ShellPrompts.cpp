#include "shell/ShellPrompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPushButton>
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
    p.chooseOpenFile = [](QWidget *parent, const std::function<void(const QString &)> &selectionMoved) {
        QFileDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("OpenDialog1"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QString::fromLatin1(kProgramFileFilter));
        QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&](const QString &path) {
            if (selectionMoved) selectionMoved(path);
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().constFirst();
    };
    p.chooseSaveFile = [](QWidget *parent) {
        // A fresh dialog each time: the name field always starts empty.
        QFileDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("SaveDialog1"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QString::fromLatin1(kProgramFileFilter));
        // The overwrite question is the program's own, asked after the extension is added.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().constFirst();
    };
    p.chooseFolder = [](QWidget *parent, const QString &caption) {
        return QFileDialog::getExistingDirectory(parent, caption);
    };
    p.chooseFilterFile = [](QWidget *parent) {
        QFileDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("EqImportDialog"));
        dialog.setWindowTitle(QStringLiteral("Import EQ"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QString::fromLatin1(kFilterFileFilter));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().constFirst();
    };
    p.chooseEqChannel = [](QWidget *parent) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Import EQ"),
                        QStringLiteral("Load the filters into the PEQ of which channel?"), QMessageBox::Cancel, parent);
        box.setObjectName(QStringLiteral("EqChannelChoice"));
        QPushButton *left = box.addButton(QStringLiteral("Left"), QMessageBox::AcceptRole);
        left->setObjectName(QStringLiteral("EqChannelLeft"));
        QPushButton *right = box.addButton(QStringLiteral("Right"), QMessageBox::AcceptRole);
        right->setObjectName(QStringLiteral("EqChannelRight"));
        QPushButton *both = box.addButton(QStringLiteral("Both"), QMessageBox::AcceptRole);
        both->setObjectName(QStringLiteral("EqChannelBoth"));
        box.setDefaultButton(left);
        box.exec();
        if (box.clickedButton() == left) return kEqChannelLeft;
        if (box.clickedButton() == right) return kEqChannelRight;
        if (box.clickedButton() == both) return kEqChannelBoth;
        return kEqChannelCancelled;
    };
    return p;
}

}  // namespace talvo
