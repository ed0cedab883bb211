// talvoctl plot: a program file's response as a picture, drawn as the editors draw it. Each
// channel shows its equaliser plot (curve and band markers) and its crossover curve, both with
// their gain and frequency captions, under a title with the channel and the program's name.
// Rendered off-screen; the PNG replaces the target only once it is complete.

#include <optional>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "CliSupport.h"
#include "Commands.h"
#include "editors/CrossoverPlot.h"
#include "peq/PeqPlotLayout.h"
#include "peq/PeqPlotPainter.h"
#include "programs/ProgramFile.h"
#include "programs/Windows1252.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "plot";

const char *const kPlotUsage =
    "usage: talvoctl plot FILE.VKP OUT.png [--channel left|right|both]\n"
    "\n"
    "Draws the program's response as the editors draw it: per channel the PEQ curve with its\n"
    "band markers (red, yellow, lime; a FLAT band keeps its marker but adds nothing) and the\n"
    "crossover curve, with gain and frequency captions, under a title naming the channel and\n"
    "the program. --channel chooses the channels (default both, side by side). The file must\n"
    "be one program record (112 bytes); otherwise nothing is written (exit 2). Exit 1 when the\n"
    "picture cannot be written.\n";

constexpr int kMargin = 12;
constexpr int kCaptionWidth = 46;  // gain captions left of each plot
constexpr int kTitleHeight = 30;
constexpr int kHeadingHeight = 20;
constexpr int kFrequencyCaptionHeight = 20;
constexpr int kPanelWidth = kCaptionWidth + kCurvePlotWidth + kMargin;
constexpr int kPanelHeight = kTitleHeight + 2 * kHeadingHeight + kPeqVisibleHeight + kCurvePlotHeight +
                             2 * kFrequencyCaptionHeight + kMargin;
const QColor kPageColour(0, 128, 128);
const QColor kPlotPanelColour(0, 0, 0);

// Captions: gains at their rows beside the plot, frequencies centred under their columns.
template <typename Gains, typename Frequencies>
void PaintCaptions(QPainter &painter, QPoint origin, int plotHeight, const Gains &gains, const Frequencies &frequencies,
                   int frequencyOffset)
{
    const QFontMetrics metrics = painter.fontMetrics();
    for (const auto &label : gains)
        painter.drawText(QRect(origin.x() - kCaptionWidth, origin.y() + label.at - 8, kCaptionWidth - 4, 16),
                         Qt::AlignRight | Qt::AlignVCenter, QString::fromLatin1(label.text));
    for (const auto &label : frequencies) {
        const QString text = QString::fromLatin1(label.text);
        const int x = origin.x() + label.at + frequencyOffset - metrics.horizontalAdvance(text) / 2;
        painter.drawText(x, origin.y() + plotHeight + metrics.ascent() + 3, text);
    }
}

void PaintChannel(QPainter &painter, QPoint at, const QString &side, const QString &programName,
                  const ChannelSettings &channel)
{
    painter.save();
    painter.translate(at);
    QFont title = painter.font();
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kPanelWidth, kTitleHeight), Qt::AlignCenter,
                     QStringLiteral("%1 \u2014 %2").arg(side, programName));
    QFont plain = title;
    plain.setBold(false);
    plain.setPointSizeF(plain.pointSizeF() * 0.85);
    painter.setFont(plain);

    // The equaliser: the 360 x 150 the editor shows of its bitmap.
    int y = kTitleHeight;
    painter.drawText(QRect(kCaptionWidth, y - 4, kCurvePlotWidth, kHeadingHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("PEQ"));
    y += kHeadingHeight;
    const QPoint peqOrigin(kCaptionWidth, y);
    painter.fillRect(QRect(0, y - 4, kPanelWidth, kPeqVisibleHeight + kFrequencyCaptionHeight + 4), kPlotPanelColour);
    const QImage peq = RenderPeqPlot(channel.peq, channel.flat);
    painter.drawImage(peqOrigin, peq, QRect(0, 0, kPeqBitmapWidth, kPeqVisibleHeight));
    painter.setPen(kPeqCaptionColour);
    PaintCaptions(painter, peqOrigin, kPeqVisibleHeight, kPeqGainLabels, kPeqFrequencyLabels, 0);
    y += kPeqVisibleHeight + kFrequencyCaptionHeight;

    // The crossover: its own 394 x 160 plot.
    painter.setPen(Qt::white);
    painter.drawText(QRect(kCaptionWidth, y, kCurvePlotWidth, kHeadingHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("XOVER"));
    y += kHeadingHeight;
    const QPoint xoverOrigin(kCaptionWidth, y);
    painter.drawImage(xoverOrigin, RenderCrossoverPlot(CrossoverInputFor(channel)));
    PaintCaptions(painter, xoverOrigin, kCurvePlotHeight, kCrossoverDbLabels, kCrossoverFrequencyLabels, -1);
    painter.restore();
}

}  // namespace

int RunPlotCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    std::optional<QString> channelText;
    QStringList paths;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString problem;
        if (TakeOption(args, i, QStringLiteral("--channel"), channelText, problem)) {
            if (!problem.isEmpty())
                return Refuse(err, kName, problem);
            continue;
        }
        if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            out << kPlotUsage;
            out.flush();
            return kExitOk;
        }
        if (args[i].startsWith(QLatin1String("--")))
            return Refuse(err, kName, QStringLiteral("unknown option '%1' (see talvoctl plot --help)").arg(args[i]));
        paths << args[i];
    }
    if (paths.size() != 2)
        return Refuse(err, kName, QStringLiteral("give FILE.VKP and OUT.png (see talvoctl plot --help)"));
    const QString channel = channelText.value_or(QStringLiteral("both"));
    if (channel != QLatin1String("left") && channel != QLatin1String("right") && channel != QLatin1String("both"))
        return Refuse(err, kName, QStringLiteral("--channel '%1' is not left, right or both").arg(channel));
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return Refuse(err, kName, QStringLiteral("needs a GUI application object to draw text"));

    RecordImage record{};
    const FileResult read = ReadRecordFile(paths[0], record);
    if (!read.ok()) {
        if (read.status == FileResult::Status::WrongLength)
            return Refuse(err, kName, QStringLiteral("%1 is %2 bytes long, not one program record (%3 bytes); nothing written")
                                          .arg(paths[0])
                                          .arg(read.lengthFound)
                                          .arg(read.lengthExpected));
        return Refuse(err, kName, read.message);
    }
    const Program program = DecodeProgram(record);
    const QString name = ProgramNameText(program.name).trimmed();

    const bool left = channel != QLatin1String("right");
    const bool right = channel != QLatin1String("left");
    const int panels = (left ? 1 : 0) + (right ? 1 : 0);
    QImage picture(kMargin + panels * (kPanelWidth + kMargin), kPanelHeight + kMargin, QImage::Format_RGB32);
    picture.fill(kPageColour);
    {
        QPainter painter(&picture);
        int x = kMargin;
        if (left) {
            PaintChannel(painter, QPoint(x, kMargin / 2), QStringLiteral("LEFT"), name, program.left);
            x += kPanelWidth + kMargin;
        }
        if (right)
            PaintChannel(painter, QPoint(x, kMargin / 2), QStringLiteral("RIGHT"), name, program.right);
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        err << "talvoctl plot: the picture could not be encoded as PNG\n";
        return kExitFailed;
    }
    const FileResult written = WriteFileAtomically(paths[1], png);
    if (!written.ok()) {
        err << "talvoctl plot: " << written.message << '\n';
        return kExitFailed;
    }
    out << "wrote " << paths[1] << " (" << picture.width() << " x " << picture.height() << ")\n";
    return kExitOk;
}

}  // namespace talvo::cli
