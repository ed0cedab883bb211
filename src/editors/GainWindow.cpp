#include "editors/GainWindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "editors/EditorWindowParts.h"
#include "editors/GainModel.h"
#include "widgets/ArrowLamp.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo {

namespace {
constexpr int kSliderHeight = 230;
constexpr double kGainBoxMin = -60.0;
constexpr double kGainBoxMax = 6.0;
}  // namespace

GainWindow::GainWindow(GainModel &model, QWidget *parent) : QDialog(parent), model_(model) {
    const GainEditorTraits &traits = model_.traits();
    SetUpEditorWindow(this, traits.objectName);

    fctrackbar1_ = MakeEditorSlider(this, QStringLiteral("fctrackbar1"), Qt::Vertical, kGainSliderMin,
                                    kGainSliderMax, traits.wheelStep);
    fctrackbar1_->setPageStep(kGainPageStep);
    fctrackbar1_->setSingleStep(kGainArrowStep);
    fctrackbar1_->setMouseMode(traits.dragAnywhere ? TrackSlider::MouseMode::DragAnywhere
                                                   : TrackSlider::MouseMode::PageTowardClick);
    fctrackbar1_->setFixedHeight(kSliderHeight);
    edit1_ = MakeValueBox(this, QStringLiteral("edit1"), QStringLiteral("dB"), kGainBoxMin, kGainBoxMax,
                          QStringLiteral("-60.0dB"));
    dxButton2_ = MakeEditorButton(this, QStringLiteral("dxButton2"));
    dxButton1_ = MakeEditorButton(this, QStringLiteral("dxButton1"));
    led_ = MakeButtonLamp(this);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->addWidget(edit1_, 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(fctrackbar1_, 1, 0, 4, 1, Qt::AlignHCenter);
    grid->addWidget(led_, 1, 1, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(dxButton2_, 2, 1, Qt::AlignTop);
    grid->setRowStretch(3, 1);
    grid->addWidget(dxButton1_, 4, 1, Qt::AlignBottom);

    connect(fctrackbar1_, &TrackSlider::mousePressed, this, &GainWindow::fctrackbar1MouseDown);
    connect(fctrackbar1_, &TrackSlider::keyPressed, this, &GainWindow::fctrackbar1KeyDown);
    connect(fctrackbar1_, &TrackSlider::mouseReleased, this, &GainWindow::fctrackbar1MouseUp);
    connect(fctrackbar1_, &TrackSlider::keyReleased, this, &GainWindow::fctrackbar1KeyUp);
    connect(fctrackbar1_, &TrackSlider::positionChanged, this, &GainWindow::fctrackbar1PositionChange);
    connect(fctrackbar1_, &TrackSlider::positionChangeFinished, this, &GainWindow::fctrackbar1PositionChangeFinished);
    connect(edit1_, &ValueBox::valueEntered, this, &GainWindow::edit1ChangeUser);
    connect(dxButton2_, &QPushButton::clicked, this, &GainWindow::dxButton2Click);
    connect(dxButton1_, &QPushButton::clicked, this, &GainWindow::dxButton1Click);

    connect(&model_, &GainModel::positionChanged, this, [this](int p) { ShowSliderPosition(fctrackbar1_, p); });
    connect(&model_, &GainModel::valueTextChanged, edit1_, &ValueBox::showText);
    connect(&model_, &GainModel::controlsChanged, this, &GainWindow::showControls);

    showControls();
    ApplyTexts();
    setFixedSize(sizeHint());
}

void GainWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(model_.traits().caption));
    dxButton2_->setText(QStringLiteral("MUTE"));
    dxButton1_->setText(QStringLiteral("OK"));
}

void GainWindow::Open() {
    Guarded([this] { model_.PrepareOpen(); });
    exec();
}

void GainWindow::showControls() {
    // The whole state, position included: applying a program may have set it without a move.
    ShowSliderPosition(fctrackbar1_, model_.position());
    edit1_->showText(model_.valueText());
    fctrackbar1_->setEnabled(model_.sliderEnabled());
    edit1_->setEnabled(model_.editEnabled());
    dxButton2_->setEnabled(model_.muteButtonEnabled());
    led_->setLit(model_.lampLit());
}

void GainWindow::fctrackbar1MouseDown() { Guarded([this] { model_.SliderPressed(); }); }
void GainWindow::fctrackbar1KeyDown() { Guarded([this] { model_.SliderPressed(); }); }
void GainWindow::fctrackbar1MouseUp() { Guarded([this] { model_.SliderReleased(); }); }
void GainWindow::fctrackbar1KeyUp() { Guarded([this] { model_.SliderReleased(); }); }
void GainWindow::fctrackbar1PositionChange(int position) {
    Guarded([this, position] { model_.PositionChanged(position); });
}
void GainWindow::fctrackbar1PositionChangeFinished() { Guarded([this] { model_.PositionChangeFinished(); }); }
void GainWindow::edit1ChangeUser(double db) { Guarded([this, db] { model_.ValueEntered(db); }); }
void GainWindow::dxButton2Click() { Guarded([this] { model_.MuteClicked(); }); }

void GainWindow::dxButton1Click() {
    Guarded([this] { model_.Closed(); });
    accept();
}

void GainWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    Guarded([this] { model_.Shown(); });
}

void GainWindow::hideEvent(QHideEvent *event) {
    Guarded([this] { model_.Closed(); });
    QDialog::hideEvent(event);
}

}  // namespace talvo
