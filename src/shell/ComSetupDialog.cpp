#include "shell/ComSetupDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "link/Link.h"
#include "link/Settings.h"
#include "state/AppState.h"
#include "shell/InterfaceTexts.h"

namespace talvo {

namespace {
QString PortText(int port) { return QStringLiteral("COM%1").arg(port); }
}  // namespace

ComSetupDialog::ComSetupDialog(AppState &state, Link &link, InterfaceTexts &texts, QWidget *parent)
    : QDialog(parent), state_(state), link_(link) {
    setObjectName(QStringLiteral("TForm15"));
    setWindowTitle(QStringLiteral("COM Setup"));
    setModal(true);

    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("ComboBox1"));
    combo_->setMinimumWidth(140);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("Label1"));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("Button1"));
    ok_->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(label_);
    layout->addWidget(combo_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(240, 0)));

    // The list is rebuilt inside the handlers with signals blocked, so neither event can
    // re-enter the other. A click on the entry already shown counts as choosing it again.
    connect(combo_, &QComboBox::textActivated, this, &ComSetupDialog::ChooseEntry);
    connect(combo_, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        if (!text.isEmpty()) ChooseEntry(text);
    });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    texts.Register(this, [this] { ApplyTexts(); });
}

void ComSetupDialog::ApplyTexts() {
    setWindowTitle(QStringLiteral("COM Setup"));
    ok_->setText(QStringLiteral("OK"));
}

void ComSetupDialog::Refill() {
    const QSignalBlocker block(combo_);
    // Port 0 (a remembered multiple of 256) names no port; 1 stands in for it.
    if (state_.link.portNumber == 0) link_.SetPortNumber(1);
    combo_->clear();
    for (int n : Settings::ExistingPorts(kComSetupFirstPort, kComSetupLastPort)) combo_->addItem(PortText(n));

    const QString current = PortText(state_.link.portNumber);
    const int index = combo_->findText(current);
    combo_->setCurrentIndex(index);
    // A port that is not in the list (absent, or above 120) is still named in the box.
    combo_->setPlaceholderText(current);
    label_->setText(QStringLiteral("COM Select:") + current);
}

void ComSetupDialog::ChooseEntry(const QString &entryText) {
    bool ok = false;
    const int n = entryText.mid(3).toInt(&ok);
    const int port = ok && n > 0 && Settings::PortExists(n) ? n % 256 : 1;
    // An open port moves to the new number at once.
    link_.SetPortNumber(port);
    Refill();
}

void ComSetupDialog::showEvent(QShowEvent *event) {
    Refill();
    QDialog::showEvent(event);
}

void ComSetupDialog::done(int result) {
    // Not being able to remember the number is not worth a message: the choice holds for
    // this run all the same.
    Settings::SavePortNumber(state_.link.portNumber % 256);
    QDialog::done(result);
}

}  // namespace talvo
