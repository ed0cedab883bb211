#include "editors/LimiterWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "editors/EditorWindowParts.h"
#include "widgets/ArrowLamp.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo {

namespace {

constexpr int kThresholdSliderHeight = 230;
constexpr int kGroupSliderWidth = 190;
constexpr int kLimiterWheelStep = 1;
constexpr int kThresholdOffsetDb = 41;  // threshold = position - 41 dB

struct GroupText {
    const char *title;
    const char *unit;
};
// Hold, attack and decay: their groups and unit labels.
constexpr GroupText kGroupTexts[] = {{"Hold Time", "ms"}, {"Attack Time CST", "dB/sec"}, {"Decay Time", "dB/sec"}};

}  // namespace

LimiterWindow::LimiterWindow(LimiterModel &model, QWidget *parent) : QDialog(parent), model_(model) {
    SetUpEditorWindow(this, model_.traits().objectName);

    for (LimiterParameter p : kLimiterParameters) {
        const std::size_t i = index(p);
        const LimiterRange range = LimiterParameterRange(p);
        const bool threshold = p == LimiterParameter::Threshold;
        sliders_[i] = MakeEditorSlider(this, QStringLiteral("fctrackbar%1").arg(i + 1),
                                       threshold ? Qt::Vertical : Qt::Horizontal, range.min, range.max,
                                       kLimiterWheelStep);
        // The threshold box takes decibels; the slider is 41 positions above them.
        boxes_[i] = threshold ? MakeValueBox(this, QStringLiteral("edit1"), QStringLiteral("dB"),
                                             range.min - kThresholdOffsetDb, range.max - kThresholdOffsetDb,
                                             QStringLiteral("-41dB"))
                              : MakeValueBox(this, QStringLiteral("edit%1").arg(i + 1), QString(), range.min,
                                             range.max, QStringLiteral("10000"));
        ShowSliderPosition(sliders_[i], model_.value(p));
        boxes_[i]->showText(model_.valueText(p));

        TrackSlider *s = sliders_[i];
        connect(s, &TrackSlider::mousePressed, this, [this, p] { fctrackbarMouseDown(p); });
        connect(s, &TrackSlider::mouseReleased, this, [this, p] { fctrackbarMouseUp(p); });
        connect(s, &TrackSlider::positionChanged, this, [this, p](int v) { fctrackbarPositionChange(p, v); });
        connect(s, &TrackSlider::positionChangeFinished, this, [this, p] { fctrackbarPositionChangeFinished(p); });
        connect(boxes_[i], &ValueBox::valueEntered, this, [this, p](double v) { editChangeUser(p, v); });
    }
    sliders_[0]->setFixedHeight(kThresholdSliderHeight);

    auto *right = new QVBoxLayout;
    right->setSpacing(6);
    for (std::size_t i = 1; i < kLimiterParameterCount; ++i) {
        groups_[i] = new QGroupBox(this);
        groups_[i]->setObjectName(QStringLiteral("GroupBox%1").arg(i));
        unitLabels_[i] = new QLabel(groups_[i]);
        unitLabels_[i]->setObjectName(QStringLiteral("Label%1").arg(i));
        sliders_[i]->setParent(groups_[i]);
        boxes_[i]->setParent(groups_[i]);
        sliders_[i]->setFixedWidth(kGroupSliderWidth);
        auto *row = new QHBoxLayout(groups_[i]);
        row->setContentsMargins(10, 4, 10, 6);
        row->setSpacing(8);
        row->addWidget(sliders_[i], 1);
        row->addWidget(boxes_[i]);
        row->addWidget(unitLabels_[i]);
        right->addWidget(groups_[i]);
    }
    right->addStretch(1);

    dxButton1_ = MakeEditorButton(this, QStringLiteral("dxButton1"));
    dxButton2_ = MakeEditorButton(this, QStringLiteral("dxButton2"));
    led_ = MakeButtonLamp(this);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->addWidget(boxes_[0], 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(sliders_[0], 1, 0, 3, 1, Qt::AlignHCenter | Qt::AlignTop);
    grid->addWidget(led_, 1, 1, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(dxButton1_, 2, 1, Qt::AlignTop);
    grid->addLayout(right, 0, 2, 3, 1);
    grid->setRowStretch(3, 1);
    grid->addWidget(dxButton2_, 3, 2, Qt::AlignBottom | Qt::AlignRight);

    connect(dxButton1_, &QPushButton::clicked, this, &LimiterWindow::dxButton1Click);
    connect(dxButton2_, &QPushButton::clicked, this, &LimiterWindow::dxButton2Click);
    connect(&model_, &LimiterModel::valueChanged, this,
            [this](LimiterParameter p, int v) { ShowSliderPosition(sliders_[index(p)], v); });
    connect(&model_, &LimiterModel::valueTextChanged, this,
            [this](LimiterParameter p, const QString &text) { boxes_[index(p)]->showText(text); });
    connect(&model_, &LimiterModel::controlsChanged, this, &LimiterWindow::showControls);

    showControls();
    ApplyTexts();
    setFixedSize(sizeHint());
}

QGroupBox *LimiterWindow::group(LimiterParameter parameter) const { return groups_[index(parameter)]; }

void LimiterWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(model_.traits().caption));
    for (std::size_t i = 1; i < kLimiterParameterCount; ++i) {
        groups_[i]->setTitle(QString::fromLatin1(kGroupTexts[i - 1].title));
        unitLabels_[i]->setText(QString::fromLatin1(kGroupTexts[i - 1].unit));
    }
    dxButton1_->setText(QStringLiteral("ON"));
    dxButton2_->setText(QStringLiteral("OK"));
}

void LimiterWindow::Open() { exec(); }

void LimiterWindow::showControls() {
    sliders_[0]->setEnabled(model_.thresholdEnabled());
    boxes_[0]->setEnabled(model_.thresholdEnabled());
    led_->setLit(model_.lampLit());
}

void LimiterWindow::fctrackbarMouseDown(LimiterParameter p) { Guarded([this, p] { model_.SliderPressed(p); }); }
void LimiterWindow::fctrackbarMouseUp(LimiterParameter p) { Guarded([this, p] { model_.SliderReleased(p); }); }
void LimiterWindow::fctrackbarPositionChange(LimiterParameter p, int position) {
    Guarded([this, p, position] { model_.PositionChanged(p, position); });
}
void LimiterWindow::fctrackbarPositionChangeFinished(LimiterParameter p) {
    Guarded([this, p] { model_.PositionChangeFinished(p); });
}
void LimiterWindow::editChangeUser(LimiterParameter p, double value) {
    Guarded([this, p, value] { model_.ValueEntered(p, value); });
}
void LimiterWindow::dxButton1Click() { Guarded([this] { model_.OnClicked(); }); }
void LimiterWindow::dxButton2Click() { accept(); }

void LimiterWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    Guarded([this] { model_.Shown(); });
}

}  // namespace talvo
