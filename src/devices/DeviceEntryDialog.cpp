#include "devices/DeviceEntryDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "devices/DeviceListWindow.h"
#include "devices/WindowLook.h"

namespace talvo {

DeviceEntryDialog::DeviceEntryDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm29"));
    setModal(true);
    ApplyTealLook(this);

    nameLabel_ = new QLabel(this);
    nameLabel_->setObjectName(QStringLiteral("Label1"));
    idLabel_ = new QLabel(this);
    idLabel_->setObjectName(QStringLiteral("Label2"));
    subIdLabel_ = new QLabel(this);
    subIdLabel_->setObjectName(QStringLiteral("Label3"));

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("Edit1"));
    name_->setMaxLength(kDeviceNameMaxLength);
    // A control character (a pasted line break or tab) could not be kept in the list file.
    name_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\x00-\\x1f\\x7f]*")), name_));
    name_->setMinimumWidth(name_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 12);

    id_ = new QSpinBox(this);
    id_->setObjectName(QStringLiteral("SpinEdit1"));
    id_->setRange(1, kDeviceIdMax);
    subId_ = new QSpinBox(this);
    subId_->setObjectName(QStringLiteral("SpinEdit2"));
    subId_->setRange(1, kDeviceSubIdMax);

    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("Button1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("Button2"));
    for (QWidget *w : {static_cast<QWidget *>(name_), static_cast<QWidget *>(id_), static_cast<QWidget *>(subId_),
                       static_cast<QWidget *>(ok_), static_cast<QWidget *>(cancel_)})
        UsePlainLook(w);

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(10);
    fields->setVerticalSpacing(8);
    fields->addWidget(nameLabel_, 0, 0);
    fields->addWidget(name_, 0, 1);
    fields->addWidget(idLabel_, 1, 0);
    fields->addWidget(id_, 1, 1);
    fields->addWidget(subIdLabel_, 2, 0);
    fields->addWidget(subId_, 2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->setSpacing(12);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    ApplyTexts();
    setFixedSize(sizeHint());
}

void DeviceEntryDialog::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(kDeviceListCaption));
    nameLabel_->setText(QStringLiteral("Name"));
    idLabel_->setText(QStringLiteral("Add"));
    subIdLabel_->setText(QStringLiteral("Sub Add"));
    ok_->setText(QStringLiteral("OK"));
    cancel_->setText(QStringLiteral("Cancle"));
}

void DeviceEntryDialog::SetEntry(const DeviceEntry &entry) {
    // A hand-edited name may be longer than the field takes; the field shows what fits.
    name_->setText(entry.name.left(kDeviceNameMaxLength));
    id_->setValue(entry.id);
    subId_->setValue(entry.subid);
    name_->setFocus();
    name_->selectAll();
}

DeviceEntry DeviceEntryDialog::Entry() const {
    return DeviceEntry{true, name_->text(), id_->value(), subId_->value()};
}

}  // namespace talvo
