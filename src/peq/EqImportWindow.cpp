#include "peq/EqImportWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "devices/WindowLook.h"
#include "peq/EqFitPlot.h"

namespace talvo {

namespace {

constexpr int kGainCaptionWidth = 48;
constexpr int kPlotTop = 10;
constexpr int kPlotMargin = 16;
constexpr int kFrequencyCaptionHeight = 20;
constexpr int kLegendHeight = 22;
const QColor kCaptionColour(255, 255, 0);

}  // namespace

EqFitPlotView::EqFitPlotView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("EqImportPlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sizeHint());
    Show(EqImportPlan{});
}

QPoint EqFitPlotView::PlotOrigin()
{
    return {kGainCaptionWidth, kPlotTop};
}

QSize EqFitPlotView::sizeHint() const
{
    return {kGainCaptionWidth + kFitPlotWidth + kPlotMargin,
            kPlotTop + kFitPlotHeight + kFrequencyCaptionHeight + kLegendHeight};
}

void EqFitPlotView::Show(const EqImportPlan &plan)
{
    bitmap_ = RenderEqFitPlot(plan);
    update();
}

void EqFitPlotView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(PlotOrigin(), bitmap_);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    painter.setPen(kCaptionColour);
    for (const FitPlotLabel &label : kFitGainLabels)
        painter.drawText(QRect(0, kPlotTop + label.at - 8, kGainCaptionWidth - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromLatin1(label.text));
    const int captionY = kPlotTop + kFitPlotHeight + metrics.ascent() + 3;
    for (std::size_t i = 0; i < kFitGridFrequencies.size(); ++i) {
        const QString text = QString::fromLatin1(kFitFrequencyTexts[i]);
        painter.drawText(kGainCaptionWidth + FitPlotColumn(kFitGridFrequencies[i]) - metrics.horizontalAdvance(text) / 2,
                         captionY, text);
    }
    // The legend: a short stroke in each curve's colour.
    const FitPlotStyle style;
    const int legendY = kPlotTop + kFitPlotHeight + kFrequencyCaptionHeight + kLegendHeight / 2;
    int x = kGainCaptionWidth;
    for (const auto &[colour, text] : {std::pair{style.asked, QStringLiteral("the file asks")},
                                       std::pair{style.given, QStringLiteral("the three bands give")}}) {
        painter.setPen(QPen(colour, 2));
        painter.drawLine(x, legendY, x + 24, legendY);
        painter.setPen(Qt::white);
        painter.drawText(x + 30, legendY + metrics.ascent() / 2 - 1, text);
        x += 30 + metrics.horizontalAdvance(text) + 24;
    }
}

EqImportWindow::EqImportWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EqImportWindow"));
    setWindowTitle(QStringLiteral("Import EQ"));
    ApplyTealLook(this);

    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("EqImportHeading"));
    heading_->setWordWrap(true);
    fit_ = new QLabel(this);
    fit_->setObjectName(QStringLiteral("EqImportFit"));
    fit_->setWordWrap(true);
    QFont bold = fit_->font();
    bold.setBold(true);
    fit_->setFont(bold);
    plot_ = new EqFitPlotView(this);
    report_ = new QPlainTextEdit(this);
    report_->setObjectName(QStringLiteral("EqImportReport"));
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setMinimumHeight(150);
    UsePlainLook(report_);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("EqImportOK"));
    UsePlainLook(ok_);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(fit_);
    layout->addWidget(plot_, 0, Qt::AlignHCenter);
    layout->addWidget(report_, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    layout->addLayout(buttons);
    resize(760, 580);
}

void EqImportWindow::ShowOutcome(const EqImportOutcome &outcome)
{
    QStringList names;
    for (const EqChannelImport &channel : outcome.channels)
        names << EqChannelName(channel.channel) + QStringLiteral(" PEQ");
    heading_->setText(QStringLiteral("%1 into %2. %3")
                          .arg(QFileInfo(outcome.path).fileName(), names.join(QStringLiteral(" and ")),
                               outcome.sent ? QStringLiteral("The bands were sent to the amplifier.")
                                            : QStringLiteral("No amplifier is connected: the bands are in the editor "
                                                             "and go with the program.")));
    QStringList report;
    for (const EqChannelImport &channel : outcome.channels) {
        if (outcome.channels.size() > 1)
            report << EqChannelName(channel.channel) + QStringLiteral(":");
        for (const EqReportLine &line : channel.plan.report)
            report << line.text;
    }
    report_->setPlainText(report.join(QLatin1Char('\n')));
    if (outcome.channels.empty()) {
        fit_->clear();
        plot_->Show(EqImportPlan{});
        return;
    }
    // Both channels get the same filters, so the same fit; the plot shows the first.
    const EqImportPlan &plan = outcome.channels.front().plan;
    fit_->setText(QStringLiteral("Fit: ") + FitText(plan));
    plot_->Show(plan);
}

}  // namespace talvo
