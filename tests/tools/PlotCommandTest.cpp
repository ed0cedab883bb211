// talvoctl plot, run as the binary (it needs the GUI side of Qt to draw text): the picture of
// a program file, and the refusals that write nothing.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "peq/PeqPlotLayout.h"
#include "peq/PeqResponse.h"
#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

const PeqBands kDefaultPeq{{{30.0, 0.0, 3.0}, {270.0, 0.0, 3.0}, {1560.0, 0.0, 3.0}}};

using PlotRun = testsupport::ToolRun;

PlotRun Plot(const QStringList &args)
{
    return testsupport::RunTalvoctl(QStringList{QStringLiteral("plot")} + args);
}

QString ProgramFile(const QTemporaryDir &dir)
{
    Program p = DecodeProgram(DefaultProgram());
    p.left.peq[1] = {1000.0, 12.0, 3.0};
    p.right.peq[1] = {1000.0, -12.0, 3.0};
    const QString path = dir.filePath(QStringLiteral("p.vkp"));
    EXPECT_TRUE(WriteRecordFile(path, EncodeProgram(p)).ok());
    return path;
}

TEST(PlotTool, DrawsEachChannelsCurveAsTheEditorDoes)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("both.png"));
    const PlotRun both = Plot({ProgramFile(dir), out});
    ASSERT_EQ(both.status, 0) << both.err.toStdString();
    QImage image(out);
    ASSERT_FALSE(image.isNull());

    const QString leftOut = dir.filePath(QStringLiteral("left.png"));
    ASSERT_EQ(Plot({ProgramFile(dir), leftOut, QStringLiteral("--channel"), QStringLiteral("left")}).status, 0);
    QImage left(leftOut);
    EXPECT_LT(left.width() * 3 / 2, image.width()) << "one channel is about half as wide";
    // The left band at +12 dB peaks on curve row 26 of its plot, the right one dips to 126:
    // find the aqua curve in the 1 kHz column of each half.
    const QColor aqua(0, 255, 255);
    auto curveRows = [&](const QImage &img, int fromX, int toX) {
        std::vector<int> rows;
        for (int x = fromX; x < toX; ++x)
            for (int y = 0; y < img.height(); ++y)
                if (img.pixelColor(x, y) == aqua)
                    rows.push_back(y);
        return rows;
    };
    const auto leftRows = curveRows(image, 0, image.width() / 2);
    const auto rightRows = curveRows(image, image.width() / 2, image.width());
    ASSERT_FALSE(leftRows.empty());
    ASSERT_FALSE(rightRows.empty());
    const int leftSpan = *std::max_element(leftRows.begin(), leftRows.end()) - *std::min_element(leftRows.begin(), leftRows.end());
    const int rightSpan = *std::max_element(rightRows.begin(), rightRows.end()) - *std::min_element(rightRows.begin(), rightRows.end());
    auto span = [](const PeqBand &band2) {
        PeqBands bands = kDefaultPeq;
        bands[1] = band2;
        const PeqCurve rows = CurveRows(bands, {});
        return *std::max_element(rows.begin(), rows.end()) - *std::min_element(rows.begin(), rows.end());
    };
    EXPECT_EQ(leftSpan, span({1000.0, 12.0, 3.0}));  // peak at row 26
    EXPECT_EQ(rightSpan, span({1000.0, -12.0, 3.0}));
}

struct RefusalCase {
    const char *name;
    QByteArray content;  // the input file
    QStringList more;
};

class PlotRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PlotRefusals, NothingIsWritten)
{
    const RefusalCase &c = GetParam();
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.vkp"));
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.content);
    f.close();
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const PlotRun run = Plot(QStringList{in, out} + c.more);
    EXPECT_EQ(run.status, 2) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("talvoctl plot: "))) << run.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("in.vkp")});
}

const QByteArray kRecord(112, 0x20);
INSTANTIATE_TEST_SUITE_P(Inputs, PlotRefusals,
                         ::testing::Values(RefusalCase{"OneByteShort", QByteArray(111, 0x20), {}},
                                           RefusalCase{"OneByteLong", QByteArray(113, 0x20), {}},
                                           RefusalCase{"Empty", QByteArray(), {}},
                                           RefusalCase{"UnknownChannel", kRecord, {"--channel", "middle"}},
                                           RefusalCase{"UnknownOption", kRecord, {"--dpi", "300"}}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PlotTool, HelpAndAnUnwritableTarget)
{
    const PlotRun help = Plot({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--channel left|right|both")));
    QTemporaryDir dir;
    const PlotRun run = Plot({ProgramFile(dir), dir.filePath(QStringLiteral("missing/out.png"))});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write"))) << run.err.toStdString();
}

}  // namespace
}  // namespace talvo::testing
