#include "editors/CrossoverWindow.h"

#include <QButtonGroup>
#include <QCursor>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "devices/WindowLook.h"
#include "editors/CrossoverModel.h"
#include "editors/CrossoverPlot.h"
#include "editors/CrossoverTable.h"
#include "editors/EditorWindowParts.h"

namespace talvo {

namespace {

constexpr int kListRows = 8;  // slope rows visible without scrolling
constexpr int kBarWidth = 300;
constexpr int kDbLabelWidth = 46;
constexpr int kFrequencyLabelHeight = 18;
constexpr int kLabelGap = 4;

std::size_t Index(XoverFilter which) {
    return static_cast<std::size_t>(which);
}

// The plot with its scale: decibel texts to the left of their rows, frequency texts under
// their columns.
class PlotFrame : public QWidget {
public:
    explicit PlotFrame(QWidget *parent) : QWidget(parent) {
        plot = new CrossoverPlotView(this);
        plot->move(kDbLabelWidth, kLabelGap);
        setFixedSize(kDbLabelWidth + kCurvePlotWidth + 14, kLabelGap + kCurvePlotHeight + kFrequencyLabelHeight);
    }
    CrossoverPlotView *plot;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        painter.setFont(small);
        painter.setPen(palette().color(QPalette::WindowText));
        const QPoint origin = plot->pos();
        const int textHeight = painter.fontMetrics().height();
        for (const CrossoverAxisLabel &label : kCrossoverDbLabels) {
            const QRect r(0, origin.y() + label.at - textHeight / 2, kDbLabelWidth - kLabelGap, textHeight);
            painter.drawText(r, Qt::AlignRight | Qt::AlignVCenter, QString::fromLatin1(label.text));
        }
        for (const CrossoverAxisLabel &label : kCrossoverFrequencyLabels) {
            const QRect r(origin.x() + label.at - 20, origin.y() + kCurvePlotHeight + 1, 40, kFrequencyLabelHeight - 1);
            painter.drawText(r, Qt::AlignHCenter | Qt::AlignTop, QString::fromLatin1(label.text));
        }
    }
};

}  // namespace

CrossoverPlotView::CrossoverPlotView(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("imagessss"));
    setFixedSize(kCurvePlotWidth, kCurvePlotHeight);
    // The image covers every pixel: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    image_ = QImage(kCurvePlotWidth, kCurvePlotHeight, QImage::Format_RGB32);
    image_.fill(CrossoverPlotStyle().background);
}

void CrossoverPlotView::Draw(const CrossoverCurveInput &input) {
    DrawCrossoverPlot(image_, input);
    update();
}

void CrossoverPlotView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

CrossoverWindow::CrossoverWindow(CrossoverModel &model, QWidget *parent) : QDialog(parent), model_(model) {
    SetUpEditorWindow(this, model_.traits().objectName);
    setMouseTracking(true);
    installEventFilter(this);

    fa_ = MakeEditorButton(this, QStringLiteral("fa"));
    fb_ = MakeEditorButton(this, QStringLiteral("fb"));
    for (QPushButton *b : {fa_, fb_}) {
        b->setCheckable(true);
        b->setMinimumWidth(110);
    }
    fcButtonGroup1_ = new QButtonGroup(this);
    fcButtonGroup1_->setObjectName(QStringLiteral("fcButtonGroup1"));
    fcButtonGroup1_->setExclusive(true);
    fcButtonGroup1_->addButton(fa_);
    fcButtonGroup1_->addButton(fb_);
    fb_->setChecked(true);

    buildFilter(XoverFilter::HighPass, "GroupBox1", "ListBox3", "Panel2", "scrollbar1", "edit1", "Label3", "Label4");
    buildFilter(XoverFilter::LowPass, "GroupBox2", "ListBox2", "Panel4", "scrollbar2", "edit2", "Label5", "Label6");
    QWidget *plotFrame = buildPlot();
    dxButton1_ = MakeEditorButton(this, QStringLiteral("dxButton1"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(fa_);
    buttons->addSpacing(20);
    buttons->addWidget(fb_);
    buttons->addStretch(1);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->addLayout(buttons, 0, 0, 1, 2);
    grid->addWidget(group(XoverFilter::HighPass), 1, 0);
    grid->addWidget(group(XoverFilter::LowPass), 1, 1);
    grid->addWidget(plotFrame, 2, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(dxButton1_, 3, 1, Qt::AlignRight);

    connect(fa_, &QPushButton::clicked, this, &CrossoverWindow::faClick);
    connect(fb_, &QPushButton::clicked, this, &CrossoverWindow::fbClick);
    // A slope counts as chosen when the selection moves (mouse or keys) and also when the
    // operator clicks the slope already selected: either marks the filter for sending.
    connect(slopeList(XoverFilter::HighPass), &QListWidget::currentRowChanged, this, &CrossoverWindow::ListBox3Click);
    connect(slopeList(XoverFilter::LowPass), &QListWidget::currentRowChanged, this, &CrossoverWindow::ListBox2Click);
    connect(slopeList(XoverFilter::HighPass), &QListWidget::clicked, this,
            [this](const QModelIndex &index) { ListBox3Click(index.row()); });
    connect(slopeList(XoverFilter::LowPass), &QListWidget::clicked, this,
            [this](const QModelIndex &index) { ListBox2Click(index.row()); });
    connect(scrollBar(XoverFilter::HighPass), &QScrollBar::valueChanged, this, &CrossoverWindow::ScrollBar1Change);
    connect(scrollBar(XoverFilter::LowPass), &QScrollBar::valueChanged, this, &CrossoverWindow::scrollbar2Change);
    connect(scrollBar(XoverFilter::HighPass), &QScrollBar::sliderMoved, this, &CrossoverWindow::ScrollBar1Scroll);
    connect(scrollBar(XoverFilter::LowPass), &QScrollBar::sliderMoved, this, &CrossoverWindow::scrollbar2Scroll);
    connect(frequencyBox(XoverFilter::HighPass), &QLineEdit::returnPressed, this, &CrossoverWindow::edit1KeyDown);
    connect(frequencyBox(XoverFilter::LowPass), &QLineEdit::returnPressed, this, &CrossoverWindow::edit2KeyDown);
    connect(dxButton1_, &QPushButton::clicked, this, &CrossoverWindow::dxButton1Click);

    connect(&model_, &CrossoverModel::controlsChanged, this, &CrossoverWindow::showModel);
    connect(&model_, &CrossoverModel::curveRedraw, imagessss_, &CrossoverPlotView::Draw);

    // What the send tick asks of the window: the cursor, whether it is on screen, and which
    // scroll bar has the keyboard focus.
    model_.SetViewProbe([this] {
        CrossoverModel::ViewState view;
        view.cursor = QCursor::pos();
        view.visible = isVisible();
        for (XoverFilter which : {XoverFilter::HighPass, XoverFilter::LowPass})
            if (scrollBar(which)->hasFocus()) view.focused = which;
        return view;
    });

    showModel();
    imagessss_->Draw(model_.curveSnapshot());
    ApplyTexts();
    setFixedSize(sizeHint());
}

void CrossoverWindow::buildFilter(XoverFilter which, const char *groupName, const char *slopesName,
                                  const char *captionName, const char *barName, const char *boxName,
                                  const char *lowLabelName, const char *highLabelName) {
    FilterControls &c = controls(which);
    c.group = new QGroupBox(this);
    c.group->setObjectName(QLatin1String(groupName));
    c.group->setMouseTracking(true);
    c.group->installEventFilter(this);

    c.slopeCaption = new QLabel(c.group);
    c.slopeCaption->setObjectName(QLatin1String(captionName));
    c.slopeCaption->setAlignment(Qt::AlignCenter);
    c.slopes = new QListWidget(c.group);
    c.slopes->setObjectName(QLatin1String(slopesName));
    UsePlainLook(c.slopes);
    for (int i = 0; i < kSlopeTypeCount; ++i) c.slopes->addItem(QString::fromLatin1(SlopeTypeText(i)));
    c.slopes->setFixedHeight(c.slopes->sizeHintForRow(0) * kListRows + 2 * c.slopes->frameWidth());

    c.bar = new QScrollBar(Qt::Horizontal, c.group);
    c.bar->setObjectName(QLatin1String(barName));
    c.bar->setFocusPolicy(Qt::StrongFocus);
    c.bar->setSingleStep(1);
    c.bar->setPageStep(10);
    c.bar->setFixedWidth(kBarWidth);
    c.bar->installEventFilter(this);
    UsePlainLook(c.bar);

    c.lowLabel = new QLabel(c.group);
    c.lowLabel->setObjectName(QLatin1String(lowLabelName));
    c.highLabel = new QLabel(c.group);
    c.highLabel->setObjectName(QLatin1String(highLabelName));
    c.highLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    c.box = new QLineEdit(c.group);
    c.box->setObjectName(QLatin1String(boxName));
    UsePlainLook(c.box);
    c.box->setFixedWidth(c.box->fontMetrics().horizontalAdvance(QStringLiteral("20.2KHz____")));

    auto *layout = new QGridLayout(c.group);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setVerticalSpacing(6);
    layout->addWidget(c.slopeCaption, 0, 0, 1, 2);
    layout->addWidget(c.slopes, 1, 0, 1, 2);
    layout->addWidget(c.bar, 2, 0, 1, 2);
    layout->addWidget(c.lowLabel, 3, 0);
    layout->addWidget(c.highLabel, 3, 1);
    layout->addWidget(c.box, 4, 0, 1, 2, Qt::AlignHCenter);
}

QWidget *CrossoverWindow::buildPlot() {
    auto *frame = new PlotFrame(this);
    frame->setMouseTracking(true);
    frame->installEventFilter(this);
    imagessss_ = frame->plot;
    imagessss_->installEventFilter(this);
    return frame;
}

void CrossoverWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(model_.traits().caption));
    fa_->setText(QStringLiteral("HIGH PASS"));
    fb_->setText(QStringLiteral("LOW PASS"));
    group(XoverFilter::HighPass)->setTitle(QStringLiteral("HIGH PASS FILTER"));
    group(XoverFilter::LowPass)->setTitle(QStringLiteral("LOW PASS FILTER"));
    for (FilterControls &c : filters_) c.slopeCaption->setText(QStringLiteral("SLOPE"));
    limitLabel(3)->setText(QStringLiteral("10Hz"));
    limitLabel(6)->setText(QStringLiteral("20.0kHz"));
    dxButton1_->setText(QStringLiteral("OK"));
}

void CrossoverWindow::Open() { exec(); }

CrossoverWindow::FilterControls &CrossoverWindow::controls(XoverFilter which) { return filters_[Index(which)]; }
const CrossoverWindow::FilterControls &CrossoverWindow::controls(XoverFilter which) const {
    return filters_[Index(which)];
}
QScrollBar *CrossoverWindow::scrollBar(XoverFilter which) const { return controls(which).bar; }
QListWidget *CrossoverWindow::slopeList(XoverFilter which) const { return controls(which).slopes; }
QLineEdit *CrossoverWindow::frequencyBox(XoverFilter which) const { return controls(which).box; }
QGroupBox *CrossoverWindow::group(XoverFilter which) const { return controls(which).group; }
QPushButton *CrossoverWindow::filterButton(XoverFilter which) const {
    return which == XoverFilter::HighPass ? fa_ : fb_;
}
QLabel *CrossoverWindow::limitLabel(int number) const {
    switch (number) {
    case 3: return controls(XoverFilter::HighPass).lowLabel;
    case 4: return controls(XoverFilter::HighPass).highLabel;
    case 5: return controls(XoverFilter::LowPass).lowLabel;
    default: return controls(XoverFilter::LowPass).highLabel;
    }
}

void CrossoverWindow::showModel() {
    showing_ = true;
    for (XoverFilter which : {XoverFilter::HighPass, XoverFilter::LowPass}) {
        const XoverFilterState &f = model_.filter(which);
        FilterControls &c = controls(which);
        {
            const QSignalBlocker quiet(c.bar);
            c.bar->setRange(f.minimum, f.maximum);
            // A dragged thumb reports its position before the bar takes it as its value;
            // writing the value here would swallow the bar's own change report, and with it
            // the marking of the filter for sending.
            if (scrolling_ != which) c.bar->setValue(f.position);
        }
        {
            const QSignalBlocker quiet(c.slopes);
            c.slopes->setCurrentRow(f.slope);  // -1: no selection
        }
        if (c.box->text() != f.text) c.box->setText(f.text);
        c.group->setEnabled(f.enabled);
    }
    limitLabel(4)->setText(model_.highPassLimitText());
    limitLabel(5)->setText(model_.lowPassLimitText());
    const QSignalBlocker quiet(fcButtonGroup1_);
    filterButton(model_.editing())->setChecked(true);
    showing_ = false;
}

void CrossoverWindow::faClick() { Guarded([this] { model_.HighPassClicked(); }); }
void CrossoverWindow::fbClick() { Guarded([this] { model_.LowPassClicked(); }); }

void CrossoverWindow::ListBox3Click(int row) {
    if (!showing_ && row >= 0) Guarded([this, row] { model_.SlopeClicked(XoverFilter::HighPass, row); });
}
void CrossoverWindow::ListBox2Click(int row) {
    if (!showing_ && row >= 0) Guarded([this, row] { model_.SlopeClicked(XoverFilter::LowPass, row); });
}
void CrossoverWindow::ScrollBar1Change(int position) {
    if (!showing_) Guarded([this, position] { model_.PositionChanged(XoverFilter::HighPass, position); });
}
void CrossoverWindow::scrollbar2Change(int position) {
    if (!showing_) Guarded([this, position] { model_.PositionChanged(XoverFilter::LowPass, position); });
}
void CrossoverWindow::ScrollBar1Scroll(int position) {
    scrolling_ = XoverFilter::HighPass;
    Guarded([this, position] { model_.Scrolled(XoverFilter::HighPass, position); });
    scrolling_.reset();
}
void CrossoverWindow::scrollbar2Scroll(int position) {
    scrolling_ = XoverFilter::LowPass;
    Guarded([this, position] { model_.Scrolled(XoverFilter::LowPass, position); });
    scrolling_.reset();
}
void CrossoverWindow::edit1KeyDown() {
    Guarded([this] { model_.FrequencyEntered(XoverFilter::HighPass, frequencyBox(XoverFilter::HighPass)->text()); });
}
void CrossoverWindow::edit2KeyDown() {
    Guarded([this] { model_.FrequencyEntered(XoverFilter::LowPass, frequencyBox(XoverFilter::LowPass)->text()); });
}
void CrossoverWindow::dxButton1Click() {
    Guarded([this] { model_.OkClicked(); });
    accept();
}

void CrossoverWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    Guarded([this] { model_.Shown(); });
}

bool CrossoverWindow::eventFilter(QObject *watched, QEvent *event) {
    for (XoverFilter which : {XoverFilter::HighPass, XoverFilter::LowPass}) {
        if (watched != scrollBar(which)) continue;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            Guarded([this, which] { model_.ScrollBarMouseDown(which); });
            break;
        case QEvent::KeyPress:
            Guarded([this, which] { model_.ScrollBarKeyDown(which); });
            break;
        case QEvent::KeyRelease:
            Guarded([this, which] { model_.ScrollBarKeyUp(which); });
            break;
        default:
            break;
        }
        return QDialog::eventFilter(watched, event);
    }
    // The mouse over the background, a group or the plot: no thumb is being held.
    if (event->type() == QEvent::MouseMove) Guarded([this] { model_.MouseMovedOutside(); });
    return QDialog::eventFilter(watched, event);
}

}  // namespace talvo
