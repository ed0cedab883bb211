// The program `talvo` started where it cannot show a window: one line on stderr, status 1.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace talvo::test
