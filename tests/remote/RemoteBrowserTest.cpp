// The room remote's page in a real browser (the system's Chromium, headless, driven by
// browser/remote-page.mjs through playwright-core) against the server and the simulated
// amplifier in this process: the page loaded through the QR code's address, the left gain
// slider dragged, a PEQ marker dragged, a slot recalled, a slot whose name looks like markup
// shown as text; each change checked where it counts, on the wire.
//
// Skips, saying why, where node, Chromium or the npm package is missing. With
// TALVO_REMOTE_SCREENSHOT=FILE.png it also saves the page at phone width (scripts/
// remote-screenshot.sh makes the README's picture so).

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "editors/GainModel.h"
#include "memory/MemoryController.h"
#include "peq/PeqEditorModel.h"
#include "tests/memory/MemorySupport.h"
#include "tests/remote/RemoteRig.h"

namespace talvo::testing {
namespace {

QString Chromium()
{
    const QString given = qEnvironmentVariable("TALVO_CHROMIUM");
    if (!given.isEmpty())
        return given;
    for (const char *name : {"chromium", "chromium-browser"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

TEST(RemoteBrowser, ThePageDrivesTheAmplifier)
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString chromium = Chromium();
    const QString dir = QStringLiteral(TALVO_BROWSER_DIR);
    if (node.isEmpty())
        GTEST_SKIP() << "node is not installed (scripts/deps.sh installs nodejs): the page is not tried in a browser";
    if (chromium.isEmpty())
        GTEST_SKIP() << "Chromium is not installed (scripts/deps.sh installs chromium): the page is not tried in a browser";
    if (!QFileInfo::exists(dir + QStringLiteral("/node_modules/playwright-core/package.json")))
        GTEST_SKIP() << "playwright-core is not installed in " << dir.toStdString()
                     << " (the remote_browser_install step installs it with npm): the page is not tried in a browser";

    RemoteRig rig({}, AmplifierWith({{1, NamedProgram("Main Hall", 1)}, {3, NamedProgram("<b>XSS</b>", 3, -9.5)}}));
    const PeqBand bandBefore = rig.state.peq.leftBands[1];

    QProcess browser;
    browser.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TALVO_CHROMIUM"), chromium);
    browser.setProcessEnvironment(env);
    QStringList args{dir + QStringLiteral("/remote-page.mjs"), rig.server->pageUrl()};
    const QString screenshot = qEnvironmentVariable("TALVO_REMOTE_SCREENSHOT");
    if (!screenshot.isEmpty())
        args << QFileInfo(screenshot).absoluteFilePath();
    // What the page left in the desktop's models, taken as each step is reported (a later
    // step, the recall, changes them again).
    PeqBand bandAfter = bandBefore;
    int gainAfter = rig.models.gain(kLeftChannel).position();
    QByteArray pending;
    QString out;
    QObject::connect(&browser, &QProcess::readyReadStandardOutput, [&] {
        pending += browser.readAllStandardOutput();
        for (qsizetype nl = pending.indexOf('\n'); nl >= 0; nl = pending.indexOf('\n')) {
            const QByteArray line = pending.left(nl);
            pending.remove(0, nl + 1);
            out += QString::fromUtf8(line) + QLatin1Char('\n');
            const QString step = QJsonDocument::fromJson(line).object().value("step").toString();
            if (step == QLatin1String("gain"))
                gainAfter = rig.models.gain(kLeftChannel).position();
            if (step == QLatin1String("peq"))
                bandAfter = rig.state.peq.leftBands[1];
        }
    });
    browser.start(node, args);
    // The server and the amplifier answer from this thread's event loop while the browser works.
    const bool finished = PumpUntil([&] { return browser.state() == QProcess::NotRunning; }, 400000);
    if (!finished) {
        browser.kill();
        browser.waitForFinished();
    }
    const QString err = QString::fromUtf8(browser.readAllStandardError());
    ASSERT_TRUE(finished) << "the browser did not finish:\n" << out.toStdString() << err.toStdString();
    std::map<QString, QJsonObject> steps;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject step = QJsonDocument::fromJson(line.toUtf8()).object();
        steps[step.value(QLatin1String("step")).toString()] = step;
    }
    EXPECT_EQ(browser.exitCode(), 0) << out.toStdString() << err.toStdString();
    ASSERT_TRUE(steps.count(QStringLiteral("recall"))) << out.toStdString() << err.toStdString();

    // Loaded through the QR code's address, which no longer shows the token.
    const QString address = steps[QStringLiteral("loaded")].value("address").toString();
    EXPECT_FALSE(address.contains(QStringLiteral("token"))) << address.toStdString();
    EXPECT_EQ(steps[QStringLiteral("touchTargets")].value("small").toArray(), QJsonArray());
    // A slot whose name looks like markup is shown as its text.
    EXPECT_TRUE(steps[QStringLiteral("memory")].value("names").toArray().contains(QStringLiteral("<b>XSS</b>")))
        << out.toStdString();
    EXPECT_EQ(steps[QStringLiteral("memory")].value("markup").toInt(), 0);

    // The desktop's models hold what the page shows.
    const int gainPosition = qRound(steps[QStringLiteral("gain")].value("db").toDouble() * 10);
    EXPECT_EQ(gainAfter, gainPosition);
    EXPECT_NE(bandAfter, bandBefore) << "the PEQ marker's drag changed nothing";
    EXPECT_EQ(rig.state.currentProgram, 3);

    // On the wire: the gain as the slider left it (before the recall muted the channel), the
    // band as the marker left it, and the recall's selection of slot 3.
    EXPECT_TRUE(rig.link.WaitForIdle(20000));
    rig.line.stop();
    const auto frames = EditorFrames(rig.line.frames());
    std::vector<int> lastGain;
    std::vector<int> lastBand;
    bool selected = false;
    for (const auto &f : frames) {
        if (f.front() == 2 && f != std::vector<int>{2, 100, 0, 85})
            lastGain = f;
        if (f.front() == PeqBandCommand(kLeftChannel, 2))
            lastBand = f;
    }
    for (const auto &f : rig.line.frames())
        selected = selected || (f.frame.command == 220 && f.frame.data[0] == 140 && f.frame.data[1] == 3);
    const auto g = GainBytes(gainPosition);
    EXPECT_EQ(lastGain, (std::vector<int>{2, g[0], g[1], g[2]})) << "gain " << gainPosition;
    const auto b = PeqBandBytes(bandAfter);
    EXPECT_EQ(lastBand, (std::vector<int>{PeqBandCommand(kLeftChannel, 2), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]}));
    EXPECT_TRUE(selected) << "no frame selected slot 3";
}

}  // namespace
}  // namespace talvo::testing
