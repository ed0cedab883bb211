#include "peq/PeqWindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "devices/WindowLook.h"
#include "editors/EditorWindowParts.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqPlotLayout.h"
#include "peq/PeqPlotPainter.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo {

namespace {

constexpr int kClientWidth = 666;
constexpr int kClientHeight = 415;
constexpr int kGainCaptionWidth = 44;  // the gain captions left of the plot
constexpr int kPlotTop = 10;
constexpr int kFrequencyCaptionHeight = 22;
constexpr int kPlotMargin = 14;
constexpr int kSliderHeight = 170;
const char *const kSliderNames[] = {"ktrack1", "ktrack2", "ktrack3"};
const char *const kSliderTexts[] = {"Freq", "Gain", "Q"};
constexpr int kSliderMax[] = {kPeqFreqSliderMax, kPeqGainSliderMax, kPeqQSliderMax};

void SetLabelColour(QLabel *label, const QColor &colour)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

QLabel *MakeLabel(QWidget *parent, const QString &name, const QRect &at)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(at);
    return label;
}

QLineEdit *MakeFrequencyEdit(QWidget *parent, const QString &name, const QRect &at)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    UsePlainLook(edit);
    edit->setGeometry(at);
    return edit;
}

ValueBox *PlaceValueBox(ValueBox *box, const QRect &at)
{
    box->setFixedSize(at.size());
    box->move(at.topLeft());
    return box;
}

void ShowText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

}  // namespace

PeqPlotView::PeqPlotView(PeqEditorModel &model, QWidget *parent) : QWidget(parent), model_(model)
{
    setObjectName(QStringLiteral("Image1"));
    setMouseTracking(true);
    // Everything is painted from the bitmap: no background to clear first, so no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sizeHint());
    Redraw();
}

QPoint PeqPlotView::PlotOrigin()
{
    return {kGainCaptionWidth, kPlotTop};
}

QSize PeqPlotView::sizeHint() const
{
    return {kGainCaptionWidth + kPeqBitmapWidth + kPlotMargin, kPlotTop + kPeqVisibleHeight + kFrequencyCaptionHeight};
}

void PeqPlotView::Redraw()
{
    DrawPeqPlot(bitmap_, model_.drawnBands(), model_.curve());
    // Only the plot area changes; the captions stay.
    update(QRect(PlotOrigin(), QSize(kPeqBitmapWidth, kPeqVisibleHeight)));
}

void PeqPlotView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(PlotOrigin(), bitmap_, QRect(0, 0, kPeqBitmapWidth, kPeqVisibleHeight));
    painter.setPen(kPeqCaptionColour);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    for (const PeqAxisLabel &label : kPeqGainLabels) {
        const int y = kPlotTop + label.at;
        painter.drawText(QRect(0, y - 8, kGainCaptionWidth - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromLatin1(label.text));
    }
    for (const PeqAxisLabel &label : kPeqFrequencyLabels) {
        const QString text = QString::fromLatin1(label.text);
        const int x = kGainCaptionWidth + label.at - metrics.horizontalAdvance(text) / 2;
        painter.drawText(x, kPlotTop + kPeqVisibleHeight + metrics.ascent() + 3, text);
    }
}

QPoint PeqPlotView::plotPoint(const QMouseEvent *event) const
{
    return event->position().toPoint() - PlotOrigin();
}

void PeqPlotView::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = plotPoint(event);
    Guarded([&] { model_.PlotPressed(p.x(), p.y()); });
}

void PeqPlotView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = plotPoint(event);
    setCursor(model_.IsOverMarker(p.x(), p.y()) ? Qt::SizeAllCursor : Qt::ArrowCursor);
    Guarded([&] { model_.PlotMoved(p.x(), p.y()); });
}

void PeqPlotView::mouseReleaseEvent(QMouseEvent *)
{
    Guarded([&] { model_.PlotReleased(); });
}

void PeqPlotView::mouseDoubleClickEvent(QMouseEvent *)
{
    // A double-click does nothing; its second press is not a new press on the plot.
}

PeqWindow::PeqWindow(PeqEditorModel &model, QWidget *parent) : QDialog(parent), model_(model)
{
    SetUpEditorWindow(this, "TForm13");

    // Band table, upper left.
    const int columnsX[] = {30, 128, 226};
    for (int i = 0; i < 3; ++i)
        headers_[static_cast<std::size_t>(i)] = MakeLabel(this, QStringLiteral("Label%1").arg(i + 1), QRect(columnsX[i], 12, 90, 18));
    const QColor numberColours[] = {QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 0)};
    for (int b = 1; b <= 3; ++b) {
        const auto i = static_cast<std::size_t>(b - 1);
        const int y = 34 + 32 * (b - 1);
        rowNumbers_[i] = MakeLabel(this, QStringLiteral("LabelBand%1").arg(b), QRect(12, y, 14, 24));
        rowNumbers_[i]->setText(QString::number(b));
        SetLabelColour(rowNumbers_[i], numberColours[i]);
        QFont bold = rowNumbers_[i]->font();
        bold.setBold(true);
        rowNumbers_[i]->setFont(bold);
        rowFreq_[i] = MakeFrequencyEdit(this, QStringLiteral("freqEdit%1").arg(b), QRect(30, y, 90, 24));
        rowGain_[i] = PlaceValueBox(MakeValueBox(this, QStringLiteral("gainEdit%1").arg(b), QStringLiteral("dB"), kPeqMinGain,
                                                 kPeqMaxGain, QStringLiteral("-12.00dB")),
                                    QRect(128, y, 90, 24));
        rowQ_[i] = PlaceValueBox(MakeValueBox(this, QStringLiteral("qEdit%1").arg(b), QString(), kPeqMinQ, kPeqMaxQ,
                                              QStringLiteral("128.0")),
                                 QRect(226, y, 70, 24));
        flat_[i] = new QCheckBox(this);
        flat_[i]->setObjectName(QStringLiteral("CheckBox%1").arg(b));
        flat_[i]->setGeometry(306, y, 70, 24);
        rowFreq_[i]->installEventFilter(this);
        connect(rowFreq_[i], &QLineEdit::returnPressed, this, [this, b] {
            Guarded([&] { model_.FrequencyEntered(b, rowFreq_[static_cast<std::size_t>(b - 1)]->text()); });
        });
        connect(rowGain_[i], &ValueBox::valueEntered, this, [this, b](double v) { Guarded([&] { model_.GainEntered(b, v); }); });
        connect(rowQ_[i], &ValueBox::valueEntered, this, [this, b](double v) { Guarded([&] { model_.QEntered(b, v); }); });
        connect(flat_[i], &QCheckBox::clicked, this, [this, b](bool ticked) { Guarded([&] { model_.FlatClicked(b, ticked); }); });
    }

    // The plot, lower left, on its black panel.
    plot_ = new PeqPlotView(model_, this);
    plot_->move(12, 145);

    // Group "PEQ", right.
    group_ = new QGroupBox(this);
    group_->setObjectName(QStringLiteral("GroupBox1"));
    group_->setGeometry(456, 8, 198, 350);
    dxButton2_ = MakeEditorButton(group_, QStringLiteral("dxButton2"));
    dxButton2_->setGeometry(12, 22, 80, 26);
    TrackBar1_ = new QSlider(Qt::Horizontal, group_);
    TrackBar1_->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1_->setRange(1, 3);
    TrackBar1_->setPageStep(1);
    TrackBar1_->setTickPosition(QSlider::TicksBelow);
    TrackBar1_->setGeometry(12, 56, 130, 26);
    bandNumber_ = MakeLabel(group_, QStringLiteral("Label7"), QRect(152, 56, 30, 26));
    QFont big = bandNumber_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    bandNumber_->setFont(big);
    for (int s = 0; s < 3; ++s) {
        const auto i = static_cast<std::size_t>(s);
        ktrack_[i] = MakeEditorSlider(group_, QString::fromLatin1(kSliderNames[s]), Qt::Vertical, 0, kSliderMax[s], 1);
        ktrack_[i]->setSingleStep(kPeqArrowSteps[i]);
        ktrack_[i]->setPageStep(kPeqPageStep);
        ktrack_[i]->setGeometry(18 + 62 * s, 90, 36, kSliderHeight);
        sliderCaptions_[i] = MakeLabel(group_, QStringLiteral("LabelSlider%1").arg(s + 1), QRect(6 + 62 * s, 262, 60, 18));
        sliderCaptions_[i]->setAlignment(Qt::AlignHCenter);
        const auto slider = static_cast<PeqSlider>(s);
        TrackSlider *t = ktrack_[i];
        connect(t, &TrackSlider::mousePressed, this, [this, slider] { Guarded([&] { model_.SliderMouseDown(slider); }); });
        connect(t, &TrackSlider::mouseReleased, this, [this, slider] { Guarded([&] { model_.SliderMouseUp(slider); }); });
        connect(t, &TrackSlider::keyPressed, this, [this, slider] { Guarded([&] { model_.SliderKeyDown(slider); }); });
        connect(t, &TrackSlider::keyReleased, this, [this, slider] { Guarded([&] { model_.SliderKeyUp(slider); }); });
        connect(t, &TrackSlider::positionChanged, this,
                [this, slider](int p) { Guarded([&] { model_.SliderMoved(slider, p); }); });
        connect(t, &TrackSlider::positionChangeFinished, this,
                [this, slider] { Guarded([&] { model_.SliderMovementFinished(slider); }); });
    }
    edit1_ = MakeFrequencyEdit(group_, QStringLiteral("edit1"), QRect(6, 286, 62, 24));
    edit2_ = PlaceValueBox(MakeValueBox(group_, QStringLiteral("edit2"), QString(), kPeqMinGain, kPeqMaxGain, QStringLiteral("-12.00")),
                           QRect(70, 286, 58, 24));
    edit3_ = PlaceValueBox(MakeValueBox(group_, QStringLiteral("edit3"), QString(), kPeqMinQ, kPeqMaxQ, QStringLiteral("128.0")),
                           QRect(130, 286, 58, 24));
    connect(edit1_, &QLineEdit::returnPressed, this, [this] { Guarded([&] { model_.FrequencyEntered(0, edit1_->text()); }); });
    connect(edit2_, &ValueBox::valueEntered, this, [this](double v) { Guarded([&] { model_.GainEntered(0, v); }); });
    connect(edit3_, &ValueBox::valueEntered, this, [this](double v) { Guarded([&] { model_.QEntered(0, v); }); });
    connect(TrackBar1_, &QSlider::valueChanged, this, [this](int p) { Guarded([&] { model_.BandSelectorChanged(p); }); });
    connect(dxButton2_, &QPushButton::clicked, this, &PeqWindow::dxButton2Click);

    dxButton1_ = MakeEditorButton(this, QStringLiteral("dxButton1"));
    dxButton1_->setGeometry(566, 372, 88, 28);
    connect(dxButton1_, &QPushButton::clicked, this, &PeqWindow::dxButton1Click);

    connect(&model_, &PeqEditorModel::controlsChanged, this, &PeqWindow::showControls);
    connect(&model_, &PeqEditorModel::plotChanged, plot_, &PeqPlotView::Redraw);

    showControls();
    ApplyTexts();
    setFixedSize(kClientWidth, kClientHeight);
}

void PeqWindow::ApplyTexts()
{
    setWindowTitle(model_.caption());
    for (int i = 0; i < 3; ++i) {
        headers_[static_cast<std::size_t>(i)]->setText(QString::fromLatin1(kSliderTexts[i]));
        sliderCaptions_[static_cast<std::size_t>(i)]->setText(QString::fromLatin1(kSliderTexts[i]));
        flat_[static_cast<std::size_t>(i)]->setText(QStringLiteral("FLAT"));
    }
    group_->setTitle(QStringLiteral("PEQ"));
    dxButton2_->setText(QStringLiteral("Reset"));
    dxButton1_->setText(QStringLiteral("OK"));
}

void PeqWindow::Open(int channel)
{
    Guarded([&] { model_.Open(channel); });
    ApplyTexts();
    exec();
}

void PeqWindow::showControls()
{
    for (int b = 1; b <= 3; ++b) {
        const auto i = static_cast<std::size_t>(b - 1);
        ShowText(rowFreq_[i], model_.rowFrequencyText(b));
        rowGain_[i]->showText(model_.rowGainText(b));
        rowQ_[i]->showText(model_.rowQText(b));
        {
            const QSignalBlocker quiet(flat_[i]);
            flat_[i]->setChecked(model_.flatBox(b));
        }
        const bool rowOn = model_.rowEnabled(b);
        rowFreq_[i]->setEnabled(rowOn);
        rowGain_[i]->setEnabled(rowOn);
        rowQ_[i]->setEnabled(rowOn);
    }
    ShowText(edit1_, model_.selectedFrequencyText());
    edit2_->showText(model_.selectedGainText());
    edit3_->showText(model_.selectedQText());
    {
        const QSignalBlocker quiet(TrackBar1_);
        TrackBar1_->setValue(model_.selectorPosition());
    }
    bandNumber_->setText(QString::number(model_.selectorPosition()));
    const bool slidersOn = model_.slidersEnabled();
    for (int s = 0; s < 3; ++s) {
        TrackSlider *t = ktrack_[static_cast<std::size_t>(s)];
        ShowSliderPosition(t, model_.sliderPosition(static_cast<PeqSlider>(s)));
        t->setEnabled(slidersOn);
    }
    edit1_->setEnabled(slidersOn);
    edit2_->setEnabled(slidersOn);
    edit3_->setEnabled(slidersOn);
}

void PeqWindow::dxButton1Click()
{
    Guarded([this] { model_.Closed(); });
    accept();
}

void PeqWindow::dxButton2Click()
{
    Guarded([this] { model_.SendPeqReset(); });
}

void PeqWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guarded([this] { model_.Shown(); });
}

void PeqWindow::hideEvent(QHideEvent *event)
{
    Guarded([this] { model_.Closed(); });
    QDialog::hideEvent(event);
}

bool PeqWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A key pressed in a table row's frequency field selects that row's band at once.
    if (event->type() == QEvent::KeyPress) {
        for (int b = 1; b <= 3; ++b)
            if (watched == rowFreq_[static_cast<std::size_t>(b - 1)])
                Guarded([&] { model_.RowFrequencyKeyPressed(b); });
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace talvo
