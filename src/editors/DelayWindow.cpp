#include "editors/DelayWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editors/DelayModel.h"
#include "editors/EditorWindowParts.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo {

namespace {
constexpr int kSliderHeight = 230;
constexpr int kDelayWheelStep = 1;
constexpr DelayUnit kUnits[] = {DelayUnit::Millisecond, DelayUnit::Meter, DelayUnit::Feet};
}  // namespace

DelayWindow::DelayWindow(DelayModel &model, QWidget *parent) : QDialog(parent), model_(model) {
    SetUpEditorWindow(this, model_.traits().objectName);

    fctrackbar1_ = MakeEditorSlider(this, QStringLiteral("fctrackbar1"), Qt::Vertical, kDelaySliderMin,
                                    kDelaySliderMax, kDelayWheelStep);
    fctrackbar1_->setFixedHeight(kSliderHeight);
    EDIT1_ = MakeValueBox(this, QStringLiteral("EDIT1"), QString(), 0.0, 0.0, QStringLiteral("7.00FT__"));

    GroupBox1_ = new QGroupBox(this);
    GroupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    auto *units = new QVBoxLayout(GroupBox1_);
    units->setContentsMargins(10, 6, 10, 8);
    for (std::size_t i = 0; i < radio_.size(); ++i) {
        radio_[i] = new QRadioButton(GroupBox1_);
        radio_[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        units->addWidget(radio_[i]);
    }
    dxButton1_ = MakeEditorButton(this, QStringLiteral("dxButton1"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->addWidget(EDIT1_, 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(fctrackbar1_, 1, 0, 3, 1, Qt::AlignHCenter);
    grid->addWidget(GroupBox1_, 1, 1, Qt::AlignTop);
    grid->setRowStretch(2, 1);
    grid->addWidget(dxButton1_, 3, 1, Qt::AlignBottom | Qt::AlignRight);

    connect(fctrackbar1_, &TrackSlider::mousePressed, this, &DelayWindow::fctrackbar1MouseDown);
    connect(fctrackbar1_, &TrackSlider::mouseReleased, this, &DelayWindow::fctrackbar1MouseUp);
    connect(fctrackbar1_, &TrackSlider::positionChanged, this, &DelayWindow::fctrackbar1PositionChange);
    connect(fctrackbar1_, &TrackSlider::positionChangeFinished, this, &DelayWindow::fctrackbar1PositionChangeFinished);
    connect(radio_[0], &QRadioButton::clicked, this, &DelayWindow::RadioButton1Click);
    connect(radio_[1], &QRadioButton::clicked, this, &DelayWindow::RadioButton2Click);
    connect(radio_[2], &QRadioButton::clicked, this, &DelayWindow::RadioButton3Click);
    connect(EDIT1_, &ValueBox::valueEntered, this, &DelayWindow::EDIT1ChangeUser);
    connect(dxButton1_, &QPushButton::clicked, this, &DelayWindow::dxButton1Click);

    connect(&model_, &DelayModel::positionChanged, this, [this](int p) { ShowSliderPosition(fctrackbar1_, p); });
    connect(&model_, &DelayModel::valueTextChanged, EDIT1_, &ValueBox::showText);
    connect(&model_, &DelayModel::unitChanged, this, &DelayWindow::showUnit);

    ShowSliderPosition(fctrackbar1_, model_.position());
    showUnit();
    ApplyTexts();
    setFixedSize(sizeHint());
}

void DelayWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(model_.traits().caption));
    GroupBox1_->setTitle(QStringLiteral("Units"));
    for (std::size_t i = 0; i < radio_.size(); ++i) radio_[i]->setText(QString::fromLatin1(DelayUnitData(kUnits[i]).label));
    dxButton1_->setText(QStringLiteral("OK"));
}

void DelayWindow::Open() { exec(); }

void DelayWindow::showUnit() {
    const DelayUnit unit = model_.unit();
    radio_[static_cast<std::size_t>(unit)]->setChecked(true);
    EDIT1_->setUnit(model_.unitSuffix());
    EDIT1_->setRange(0.0, model_.editMaximum());
    EDIT1_->showText(model_.valueText());
}

void DelayWindow::fctrackbar1MouseDown() { Guarded([this] { model_.SliderPressed(); }); }
void DelayWindow::fctrackbar1MouseUp() { Guarded([this] { model_.SliderReleased(); }); }
void DelayWindow::fctrackbar1PositionChange(int position) {
    Guarded([this, position] { model_.PositionChanged(position); });
}
void DelayWindow::fctrackbar1PositionChangeFinished() { Guarded([this] { model_.PositionChangeFinished(); }); }
void DelayWindow::RadioButton1Click() { Guarded([this] { model_.UnitSelected(DelayUnit::Millisecond); }); }
void DelayWindow::RadioButton2Click() { Guarded([this] { model_.UnitSelected(DelayUnit::Meter); }); }
void DelayWindow::RadioButton3Click() { Guarded([this] { model_.UnitSelected(DelayUnit::Feet); }); }
void DelayWindow::EDIT1ChangeUser(double value) { Guarded([this, value] { model_.ValueEntered(value); }); }
void DelayWindow::dxButton1Click() { accept(); }

void DelayWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    Guarded([this] { model_.Shown(); });
}

}  // namespace talvo
