#include "devices/ConnectWindow.h"

#include <exception>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "devices/DeviceListWindow.h"
#include "devices/WindowLook.h"

namespace talvo {

ConnectWindow::ConnectWindow(ConnectController &controller, QWidget *parent)
    : QDialog(parent), controller_(controller) {
    setObjectName(QStringLiteral("TForm14"));
    setModal(true);
    ApplyTealLook(this);

    label11_ = new QLabel(this);
    label11_->setObjectName(QStringLiteral("Label11"));
    trackbar4_ = new QSpinBox(this);
    trackbar4_->setObjectName(QStringLiteral("trackbar4"));
    trackbar4_->setRange(1, kDeviceIdMax);
    trackbar4_->setValue(1);
    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    spinEdit1_ = new QSpinBox(this);
    spinEdit1_->setObjectName(QStringLiteral("SpinEdit1"));
    spinEdit1_->setRange(1, kDeviceSubIdMax);
    spinEdit1_->setValue(1);
    checkBox1_ = new QCheckBox(this);
    checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
    checkBox1_->setChecked(false);
    checkBox2_ = new QCheckBox(this);
    checkBox2_->setObjectName(QStringLiteral("CheckBox2"));
    checkBox2_->setChecked(true);
    label2_ = new QLabel(this);
    label2_->setObjectName(QStringLiteral("Label2"));
    QFont bold = label2_->font();
    bold.setBold(true);
    label2_->setFont(bold);
    label2_->setMinimumWidth(label2_->fontMetrics().horizontalAdvance(QLatin1Char('W')) * kDeviceNameMaxLength * 2 / 3);
    label2_->setMinimumHeight(label2_->fontMetrics().height() + 4);

    dxButton1_ = new QPushButton(this);
    dxButton1_->setObjectName(QStringLiteral("dxButton1"));
    dxButton1_->setDefault(true);
    dxButton2_ = new QPushButton(this);
    dxButton2_->setObjectName(QStringLiteral("dxButton2"));
    dxButton3_ = new QPushButton(this);
    dxButton3_->setObjectName(QStringLiteral("dxButton3"));
    cancelButton_ = new QPushButton(this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    cancelButton_->setVisible(false);
    // The connect procedure's outcome, on as many lines as it needs.
    outcome_ = new QLabel(this);
    outcome_->setObjectName(QStringLiteral("OutcomeLabel"));
    outcome_->setWordWrap(true);
    outcome_->setMinimumHeight(outcome_->fontMetrics().height() * 4 + 4);
    outcome_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    for (QWidget *w : {static_cast<QWidget *>(trackbar4_), static_cast<QWidget *>(spinEdit1_),
                       static_cast<QWidget *>(dxButton1_), static_cast<QWidget *>(dxButton2_),
                       static_cast<QWidget *>(dxButton3_), static_cast<QWidget *>(cancelButton_)})
        UsePlainLook(w);
    for (QSpinBox *spin : {trackbar4_, spinEdit1_}) {
        spin->setAlignment(Qt::AlignRight);
        spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 40);
    }

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(12);
    fields->setVerticalSpacing(8);
    fields->addWidget(label11_, 0, 0);
    fields->addWidget(trackbar4_, 0, 1);
    fields->addWidget(checkBox2_, 0, 2);
    fields->addWidget(label1_, 1, 0);
    fields->addWidget(spinEdit1_, 1, 1);
    fields->addWidget(checkBox1_, 1, 2);
    fields->addWidget(label2_, 2, 0, 1, 3);
    fields->setColumnStretch(2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(dxButton1_);
    buttons->addWidget(dxButton2_);
    buttons->addWidget(cancelButton_);
    buttons->addStretch(1);
    buttons->addWidget(dxButton3_);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(outcome_);

    // A device picked from the list no longer applies once its address is changed.
    connect(trackbar4_, &QSpinBox::valueChanged, label2_, &QLabel::clear);
    connect(spinEdit1_, &QSpinBox::valueChanged, label2_, &QLabel::clear);
    connect(trackbar4_, &QSpinBox::valueChanged, &controller_, &ConnectController::TakeWindowId);

    connect(dxButton1_, &QPushButton::clicked, this, &ConnectWindow::ConnectClick);
    connect(dxButton2_, &QPushButton::clicked, this, &ConnectWindow::DisconnectClick);
    connect(dxButton3_, &QPushButton::clicked, this, &ConnectWindow::DeviceClick);
    connect(cancelButton_, &QPushButton::clicked, this, &ConnectWindow::CancelClick);

    connect(&controller_, &ConnectController::buttonsEnabled, this, &ConnectWindow::EnableButtons);
    connect(&controller_, &ConnectController::closeRequested, this, [this] { closeWanted_ = true; });
    connect(&controller_, &ConnectController::cancelOffered, this, [this](bool offered) {
        cancelButton_->setEnabled(true);
        cancelButton_->setVisible(offered);
    });
    connect(&controller_, &ConnectController::outcomeText, outcome_, &QLabel::setText);

    SetCaptions();
    setFixedSize(sizeHint());
}

void ConnectWindow::SetDeviceList(DeviceListWindow *list) {
    if (deviceList_) disconnect(deviceList_, nullptr, this, nullptr);
    deviceList_ = list;
    if (!deviceList_) return;
    connect(deviceList_, &DeviceListWindow::deviceChosen, this, &ConnectWindow::TakeDevice);
    connect(deviceList_, &DeviceListWindow::noDeviceChosen, label2_, &QLabel::clear);
}

void ConnectWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(kConnectCaption));
    label11_->setText(QStringLiteral("Add"));
    dxButton1_->setText(QStringLiteral("Connect"));
    dxButton2_->setText(QStringLiteral("Disconnect"));
}

void ConnectWindow::SetCaptions() {
    ApplyTexts();
    label1_->setText(QStringLiteral("Sub Add"));
    checkBox1_->setText(QStringLiteral("Sub Add"));
    checkBox2_->setText(QStringLiteral("MUTE"));
    dxButton3_->setText(QStringLiteral("Device"));
    cancelButton_->setText(QStringLiteral("Cancel"));
}

void ConnectWindow::PrepareToShow() {
    EnableButtons(true);
    // What the last connect ended with belongs to that connect, not to this showing.
    if (!controller_.IsConnecting()) outcome_->clear();
}

ConnectRequest ConnectWindow::Request() const {
    ConnectRequest request;
    request.id = trackbar4_->value();
    request.useSubAddress = checkBox1_->isChecked();
    request.subAddress = spinEdit1_->value();
    request.mute = checkBox2_->isChecked();
    return request;
}

void ConnectWindow::EnableButtons(bool enabled) {
    dxButton1_->setEnabled(enabled);
    dxButton2_->setEnabled(enabled);
}

void ConnectWindow::ConnectClick() {
    if (controller_.IsConnecting()) return;
    closeWanted_ = false;
    try {
        controller_.Connect(Request());
    } catch (const std::exception &) {
        // The window stays usable whatever went wrong inside.
        EnableButtons(true);
    }
    if (closeWanted_) {
        closeWanted_ = false;
        accept();
    }
}

void ConnectWindow::DisconnectClick() {
    if (controller_.IsConnecting()) return;
    try {
        controller_.Disconnect();
    } catch (const std::exception &) {
    }
    accept();
}

void ConnectWindow::CancelClick() {
    controller_.Cancel();
    // Pressed once is enough: the procedure ends after the wait it is in.
    if (controller_.IsCancelling()) cancelButton_->setEnabled(false);
}

void ConnectWindow::DeviceClick() {
    if (!deviceList_) return;
    deviceList_->exec();
}

void ConnectWindow::TakeDevice(const DeviceEntry &entry) {
    // The name last: setting the address clears it.
    trackbar4_->setValue(entry.id);
    spinEdit1_->setValue(entry.subid);
    label2_->setText(entry.name);
}

void ConnectWindow::reject() {
    if (controller_.IsConnecting()) {
        CancelClick();
        return;
    }
    QDialog::reject();
}

void ConnectWindow::done(int result) {
    if (controller_.IsConnecting()) return;
    QDialog::done(result);
}

void ConnectWindow::showEvent(QShowEvent *event) {
    SetCaptions();
    QDialog::showEvent(event);
}

}  // namespace talvo
