// The program `talvo` started where it cannot show a window (one line on stderr, status 1), and
// with a program file to open at start-up.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "programs/ProgramRecord.h"
#include "tests/support/ScopedHome.h"

namespace talvo::test {
namespace {

struct DisplayCase {
    const char *name;
    const char *display;  // DISPLAY, or nullptr for none at all
    const char *says;     // in the one line
};

class StartWithoutAUsableDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(StartWithoutAUsableDisplay, SaysSoInOneLineAndEndsWithStatus1) {
    const DisplayCase &c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    if (c.display) env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(c.display));
    QProcess talvo;
    talvo.setProcessEnvironment(env);
    talvo.start(QStringLiteral(TALVO_PATH), {});
    ASSERT_TRUE(talvo.waitForFinished(60000));

    const QString err = QString::fromLocal8Bit(talvo.readAllStandardError());
    EXPECT_EQ(talvo.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(talvo.exitCode(), 1) << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith(QStringLiteral("talvo: "))) << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String(c.says))) << err.toStdString();
    EXPECT_TRUE(talvo.readAllStandardOutput().isEmpty());
}

const DisplayCase kDisplayCases[] = {
    {"NoDisplayAtAll", nullptr, "no display found"},
    {"ADisplayNobodyServes", ":55", "cannot open the display (DISPLAY=:55)"},
};

INSTANTIATE_TEST_SUITE_P(, StartWithoutAUsableDisplay, ::testing::ValuesIn(kDisplayCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct TalvoRun {
    int status = -1;
    QString err;
};

TalvoRun RunTalvo(const QStringList &args) {
    QProcess talvo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    talvo.setProcessEnvironment(env);
    talvo.start(QStringLiteral(TALVO_PATH), args);
    if (!talvo.waitForFinished(60000)) return {};
    return {talvo.exitStatus() == QProcess::NormalExit ? talvo.exitCode() : -1,
            QString::fromLocal8Bit(talvo.readAllStandardError())};
}

TEST(StartWithAProgramFile, TheEditorsShowTheFile) {
    testsupport::ScopedHome config;
    QTemporaryDir dir;
    // A left gain of +3.0 dB: the default program would show the gain editor muted.
    Program p = DecodeProgram(DefaultProgram());
    p.left.gain = 3.0;
    const RecordImage record = EncodeProgram(p);
    const QString program = dir.filePath(QStringLiteral("Loud.VKP"));
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(record.data()), kRecordSize);
    file.close();

    const QString shot = dir.filePath(QStringLiteral("gain.png"));
    const QString plain = dir.filePath(QStringLiteral("plain.png"));
    const TalvoRun withFile = RunTalvo({QStringLiteral("--screenshot"), shot, QStringLiteral("--window"),
                                   QStringLiteral("gain-left"), program});
    ASSERT_EQ(withFile.status, 0) << withFile.err.toStdString();
    const TalvoRun without = RunTalvo({QStringLiteral("--screenshot"), plain, QStringLiteral("--window"),
                                  QStringLiteral("gain-left")});
    ASSERT_EQ(without.status, 0) << without.err.toStdString();
    // The picture with the file is not the built-in one.
    EXPECT_NE(QImage(shot), QImage(plain));
    EXPECT_FALSE(QImage(shot).isNull());
}

// The import window's picture: a measurement's filter file imported into the left channel.
TEST(StartWithAScreenshot, OfTheEqImportWindow) {
    testsupport::ScopedHome config;
    QTemporaryDir dir;
    const QString shot = dir.filePath(QStringLiteral("eq.png"));
    const TalvoRun run = RunTalvo({QStringLiteral("--screenshot"), shot, QStringLiteral("--window"), QStringLiteral("eq-import")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    // The plot's black panel with the bands' aqua curve on it.
    bool aqua = false;
    for (int y = 0; y < image.height() && !aqua; ++y)
        for (int x = 0; x < image.width() && !aqua; ++x)
            aqua = image.pixelColor(x, y) == QColor(0, 255, 255);
    EXPECT_TRUE(aqua);
}

struct RefusedStart {
    const char *name;
    QStringList args;  // after --screenshot FILE
    const char *says;
};

class StartRefused : public ::testing::TestWithParam<RefusedStart> {};

TEST_P(StartRefused, OneLineAndStatus2) {
    QTemporaryDir dir;
    // A picture cannot wait for a message box: files that Open would refuse, or load as the
    // default program with a word, are refused before anything starts.
    RecordImage odd = DefaultProgram();
    odd[16 + 35] = 220;  // left delay 220 ms
    for (const auto &[name, bytes] : {std::pair{"odd.VKP", QByteArray(reinterpret_cast<const char *>(odd.data()), kRecordSize)},
                                      std::pair{"short.VKP", QByteArray(5, '\x01')}}) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const QString shot = dir.filePath(QStringLiteral("x.png"));
    QStringList args{QStringLiteral("--screenshot"), shot};
    for (const QString &a : GetParam().args) args << QString(a).replace(QStringLiteral("DIR"), dir.path());
    const TalvoRun run = RunTalvo(args);
    EXPECT_EQ(run.status, 2) << run.err.toStdString();
    // Qt may add a line of its own about the environment, and the usage may follow ours.
    QString line;
    for (const QString &l : run.err.split(u'\n'))
        if (l.startsWith(QStringLiteral("talvo: "))) line = l;
    const QString says = QString::fromLatin1(GetParam().says).replace(QStringLiteral("DIR"), dir.path());
    EXPECT_TRUE(line.startsWith(QStringLiteral("talvo: ") + says)) << line.toStdString();
    EXPECT_FALSE(QFile::exists(shot));
}

const RefusedStart kRefusedStarts[] = {
    {"MissingFile", {QStringLiteral("DIR/gone.VKP")}, "cannot read the program file"},
    {"Folder", {QStringLiteral("DIR")}, "cannot read the program file"},
    {"TwoFiles", {QStringLiteral("a.VKP"), QStringLiteral("b.VKP")}, "unexpected argument 'b.VKP'"},
    {"ValueOutOfRange", {QStringLiteral("DIR/odd.VKP")}, "DIR/odd.VKP is refused: left.delay: 220 is out of range (0 to 7)"},
    {"NotAProgramFile", {QStringLiteral("DIR/short.VKP")}, "DIR/short.VKP is 5 bytes long; expected 112 bytes"},
    {"RemotePortOutOfRange", {QStringLiteral("--remote"), QStringLiteral("70000")}, "--remote: "},
    {"RemoteHostUnknown", {QStringLiteral("--remote"), QStringLiteral("nowhere:8480")}, "--remote: "},
};

INSTANTIATE_TEST_SUITE_P(, StartRefused, ::testing::ValuesIn(kRefusedStarts),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvo::test
