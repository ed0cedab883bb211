#include "testsignal/SineWindow.h"

#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "editors/EditorWindowParts.h"
#include "testsignal/TestSignalController.h"
#include "widgets/TrackSlider.h"

namespace talvo {

namespace {
constexpr int kFrequencySliderWidth = 380;
constexpr int kSpeedSliderHeight = 90;
constexpr int kFrequencyPageStep = 10;
}  // namespace

SineWindow::SineWindow(SineGenerator &generator, QWidget *parent) : QDialog(parent), generator_(generator) {
    SetUpEditorWindow(this, "TForm20");

    slider_ = MakeEditorSlider(this, QStringLiteral("fctrackbar1"), Qt::Horizontal, 0, kSweepIndexMax, 1);
    slider_->setSingleStep(1);
    slider_->setPageStep(kFrequencyPageStep);
    slider_->setFixedWidth(kFrequencySliderWidth);
    lowCaption_ = new QLabel(QStringLiteral("20Hz"), this);
    highCaption_ = new QLabel(QStringLiteral("20KHz"), this);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("Edit1"));
    field_->setAlignment(Qt::AlignCenter);
    field_->setFixedWidth(110);
    auto_ = MakeEditorButton(this, QStringLiteral("AutoButton"));
    pause_ = MakeEditorButton(this, QStringLiteral("PauseButton"));
    stop_ = MakeEditorButton(this, QStringLiteral("StopButton"));
    ok_ = MakeEditorButton(this, QStringLiteral("OKButton"));

    speedGroup_ = new QGroupBox(this);
    speedGroup_->setObjectName(QStringLiteral("ScanSpeed"));
    speedSlider_ = MakeEditorSlider(speedGroup_, QStringLiteral("SpeedSlider"), Qt::Vertical, kSweepStepMin,
                                    kSweepStepMax, 1);
    speedSlider_->setFixedHeight(kSpeedSliderHeight);
    speedField_ = new QSpinBox(speedGroup_);
    speedField_->setObjectName(QStringLiteral("SpeedField"));
    speedField_->setRange(kSweepStepMin, kSweepStepMax);
    auto *speedLayout = new QHBoxLayout(speedGroup_);
    speedLayout->setContentsMargins(10, 8, 10, 8);
    speedLayout->addWidget(speedSlider_);
    speedLayout->addWidget(speedField_, 0, Qt::AlignVCenter);

    auto *captions = new QHBoxLayout;
    captions->addWidget(lowCaption_);
    captions->addStretch(1);
    captions->addWidget(field_);
    captions->addStretch(1);
    captions->addWidget(highCaption_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(auto_);
    buttons->addWidget(pause_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);
    auto *frequency = new QVBoxLayout;
    frequency->setSpacing(10);
    frequency->addWidget(slider_);
    frequency->addLayout(captions);
    frequency->addSpacing(8);
    frequency->addLayout(buttons);
    frequency->addStretch(1);
    auto *side = new QVBoxLayout;
    side->addWidget(speedGroup_);
    side->addStretch(1);
    side->addWidget(ok_, 0, Qt::AlignRight);
    auto *whole = new QHBoxLayout(this);
    whole->setContentsMargins(14, 12, 14, 12);
    whole->setSpacing(18);
    whole->addLayout(frequency);
    whole->addLayout(side);

    connect(slider_, &TrackSlider::mousePressed, this, [this] { Guarded([this] { generator_.SliderClicked(); }); });
    connect(slider_, &TrackSlider::positionChanged, this,
            [this](int p) { Guarded([this, p] { generator_.SliderMoved(p); }); });
    connect(slider_, &TrackSlider::positionChangeFinished, this,
            [this] { Guarded([this] { generator_.SliderMoveFinished(); }); });
    connect(slider_, &TrackSlider::mouseReleased, this,
            [this] { Guarded([this] { generator_.SliderMouseReleased(); }); });
    connect(field_, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { generator_.FrequencyEntered(field_->text()); }); });
    connect(auto_, &QPushButton::clicked, this, [this] { Guarded([this] { generator_.AutoClicked(); }); });
    connect(pause_, &QPushButton::clicked, this, [this] { Guarded([this] { generator_.PauseClicked(); }); });
    connect(stop_, &QPushButton::clicked, this, [this] { Guarded([this] { generator_.StopClicked(); }); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        Guarded([this] { generator_.Closed(); });
        accept();
    });
    connect(speedSlider_, &TrackSlider::positionChanged, this,
            [this](int step) { Guarded([this, step] { generator_.SetSweepStep(step); }); });
    connect(speedField_, &QSpinBox::valueChanged, this,
            [this](int step) { Guarded([this, step] { generator_.SetSweepStep(step); }); });

    connect(&generator_, &SineGenerator::sliderPositionChanged, this, [this](int p) { ShowSliderPosition(slider_, p); });
    connect(&generator_, &SineGenerator::frequencyTextChanged, field_, &QLineEdit::setText);
    connect(&generator_, &SineGenerator::controlsChanged, this, &SineWindow::showControls);
    connect(&generator_, &SineGenerator::sweepStepChanged, this, &SineWindow::showSweepStep);

    ShowSliderPosition(slider_, generator_.sliderPosition());
    field_->setText(generator_.frequencyText());
    showSweepStep(generator_.sweepStep());
    showControls();
    ApplyTexts();
    setFixedSize(sizeHint());
}

void SineWindow::ApplyTexts() {
    setWindowTitle(QStringLiteral("Sine Ware"));
    speedGroup_->setTitle(QStringLiteral("Scan Speed"));
    auto_->setText(QStringLiteral("Auto"));
    pause_->setText(QStringLiteral("Pause"));
    stop_->setText(QStringLiteral("Stop"));
    ok_->setText(QStringLiteral("OK"));
}

void SineWindow::Open() {
    if (!generator_.CanOpen()) return;  // the "Noise" button has no action
    ApplyTexts();
    exec();
}

void SineWindow::showControls() {
    auto_->setEnabled(generator_.autoEnabled());
    pause_->setEnabled(generator_.pauseEnabled());
    stop_->setEnabled(generator_.stopEnabled());
}

void SineWindow::showSweepStep(int step) {
    ShowSliderPosition(speedSlider_, step);
    if (speedField_->value() != step) {
        const QSignalBlocker quiet(speedField_);
        speedField_->setValue(step);
    }
}

void SineWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    Guarded([this] { generator_.Shown(); });
}

void SineWindow::hideEvent(QHideEvent *event) {
    Guarded([this] { generator_.Closed(); });
    QDialog::hideEvent(event);
}

}  // namespace talvo
