// Connect, Search and Disconnect on the link level, and the status timer's texts.

#include <algorithm>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "link/Settings.h"

namespace talvo::testing {
namespace {

TEST(LinkStatusTimer, FinishOrPleaseWaitOnceAReplyArrived)
{
    struct Case {
        int replyAddress;
        int pending;
        std::uint8_t command;
        const char *text;  // nullptr: panel 0 left alone
    };
    const Case cases[] = {
        {0, 0, 2, nullptr},
        {0, 3, 2, nullptr},
        {5, 0, 2, "  4:Finish..."},
        {5, 1, 231, "  4:Finish..."},
        {5, 2, 2, "  4:Please Wait..."},
        {5, 2, 199, "  4:Please Wait..."},
        {5, 2, 200, nullptr},
        {5, 2, 220, nullptr},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << "reply " << k.replyAddress << " pending " << k.pending << " command "
                                        << int(k.command));
        LinkState state;
        Link link(state);
        LinkController controller(link);
        Shown shown;
        shown.watch(link);
        state.outFrame.address = 4;
        state.outFrame.command = k.command;
        state.reply.replyAddress = k.replyAddress;
        state.pendingFrames.store(k.pending);
        controller.Timer4Timer();
        if (k.text) {
            ASSERT_EQ(shown.status.size(), 1u);
            EXPECT_EQ(shown.status[0], std::make_pair(0, QString::fromLatin1(k.text)));
        } else {
            EXPECT_TRUE(shown.status.empty());
        }
        state.pendingFrames.store(0);
    }
}

TEST(LinkStatusTimer, FinishFollowsTheAmplifiersReply)
{
    ScopedSpeed speed(2);
    SimLine line;
    ConnectedLink c(line.devicePath(), 1);
    LinkController controller(c.link);
    Shown shown;
    shown.watch(c.link);
    controller.StartStatusTimer();
    c.send(2, {12, 50, 85});
    EXPECT_EQ(shown.lastPanel(0), QStringLiteral("  1: Receive..."));
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.link.WaitPumping(100);
    EXPECT_EQ(c.state.reply.replyAddress, 1);
    EXPECT_EQ(shown.lastPanel(0), QStringLiteral("  1:Finish..."));
    // Rewritten every tick, so a Receive text of a later send is overwritten again.
    const auto before = shown.status.size();
    c.link.WaitPumping(100);
    EXPECT_GE(shown.status.size(), before + 2);
}

struct DisconnectRun {
    std::vector<sim::FrameRecord> frames;
    Shown shown;
    double startMs = 0;
    double elapsedMs = 0;
    int linkActiveAfter = -1;
};

DisconnectRun RunDisconnect(bool shuttingDown, double speedFactor)
{
    ScopedSpeed speed(speedFactor);
    DisconnectRun run;
    SimLine line;
    ConnectedLink c(line.devicePath(), 1);
    c.state.outFrame.set(2, {0, 0, 0xAA});
    LinkController controller(c.link);
    run.shown.watch(c.link);
    run.shown.watch(controller);
    run.startMs = Clock::nowMs();
    if (shuttingDown)
        controller.Shutdown();
    else
        controller.Disconnect();
    run.elapsedMs = Clock::nowMs() - run.startMs;
    run.linkActiveAfter = c.state.linkActive;
    EXPECT_TRUE(c.link.WaitForIdle(5000));
    line.stop();
    run.frames = line.frames();
    return run;
}

std::vector<int> ProgressRun()
{
    std::vector<int> values;
    for (int i = 0; i <= 50; ++i)
        values.push_back(2 * i);
    values.push_back(0);
    return values;
}

void ExpectDisconnectSequence(const DisconnectRun &run)
{
    ASSERT_EQ(run.frames.size(), 2u);
    for (const auto &f : run.frames)
        EXPECT_EQ(Hex(f.wire), Hex(FromHex("3366770100 00DC01502E99AABB")));
    // The first pause holds everything for 200 ms before the second frame is queued. The
    // simulator stamps a byte when it reads it, never before it was written, so the second
    // frame cannot look earlier than it was sent however late the stamps are.
    EXPECT_GE(run.frames[1].firstByteMs - run.startMs, kDisconnectFirstPauseMs);
    EXPECT_EQ(run.shown.progress, ProgressRun());
    EXPECT_EQ(run.shown.indicator,
              (std::vector<std::pair<bool, QString>>{{false, QStringLiteral("OFFLINE")}, {false, QStringLiteral("OFFLINE")}}));
    EXPECT_EQ(run.shown.lastPanel(0), QStringLiteral("   1: Disconnect"));
    ASSERT_FALSE(run.shown.status.empty());
    EXPECT_EQ(run.shown.status.back(), std::make_pair(2, QString()));
    EXPECT_EQ(run.linkActiveAfter, 0);
}

// The shortest time between two progress steps: no step is shorter than its wait, and a
// loaded machine lengthens some steps but hardly all fifty.
double ShortestProgressStep(const DisconnectRun &run)
{
    double shortest = 1e9;
    for (std::size_t i = 1; i + 1 < run.shown.progressAtMs.size(); ++i)  // the final 0 comes at once
        shortest = std::min(shortest, run.shown.progressAtMs[i] - run.shown.progressAtMs[i - 1]);
    return shortest;
}

TEST(LinkTiming, DisconnectWhileConnectedSendsTwoFramesAndRunsTheProgressBar)
{
    const DisconnectRun run = RunDisconnect(false, 2);
    ExpectDisconnectSequence(run);
    EXPECT_GE(run.elapsedMs, 51 * kDisconnectStepMs + 300);
    EXPECT_GE(ShortestProgressStep(run), kDisconnectStepMs);
}

TEST(LinkTiming, DisconnectWhileClosingRunsTheProgressBarTwiceAsFast)
{
    const DisconnectRun run = RunDisconnect(true, 2);
    ExpectDisconnectSequence(run);
    EXPECT_GE(run.elapsedMs, 51 * kDisconnectStepShuttingDownMs + 300);
    const double shortest = ShortestProgressStep(run);
    EXPECT_GE(shortest, kDisconnectStepShuttingDownMs);
    EXPECT_LT(shortest, kDisconnectStepMs);
}

TEST(LinkDisconnect, NeverConnectedSendsNothingAndOnlyClearsPanelTwo)
{
    LinkState state;
    Link link(state);
    LinkController controller(link);
    Shown shown;
    shown.watch(link);
    shown.watch(controller);
    state.linkActive = kYes;  // sendEnabled is still 0
    controller.Disconnect();
    EXPECT_EQ(state.pendingFrames.load(), 0);
    EXPECT_TRUE(shown.framesDone.empty());
    EXPECT_TRUE(shown.indicator.empty());
    EXPECT_TRUE(shown.progress.empty());
    EXPECT_EQ(state.linkActive, kYes);
    EXPECT_EQ(shown.status, (std::vector<std::pair<int, QString>>{{2, QString()}}));
}

TEST(LinkDisconnect, AfterASearchWithoutConnectionNothingGoesOut)
{
    // Sending is enabled but nobody is connected: the disconnect frames fail the send gate.
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectedLink c(line.devicePath(), 1);
    c.state.linkActive = 0;
    LinkController controller(c.link);
    Shown shown;
    shown.watch(controller);
    controller.Disconnect();
    line.stop();
    EXPECT_TRUE(line.frames().empty());
    EXPECT_EQ(shown.indicator.size(), 2u);
    EXPECT_EQ(c.state.linkActive, 0);
}

TEST(LinkConnect, ReopensThePortAndEnablesSending)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    LinkState state;
    Link link(state);
    link.SetDeviceOverride(line.devicePath());
    LinkController controller(link);
    Shown shown;
    shown.watch(controller);
    state.reply.replyAddress = 7;

    ASSERT_TRUE(controller.ConnectLinkSteps());
    EXPECT_TRUE(link.IsPortOpen());
    EXPECT_EQ(state.sendEnabled.load(), 1);
    EXPECT_EQ(state.reply.replyAddress, 0);
    EXPECT_TRUE(shown.openErrors.empty());

    state.sendEnabled.store(0);
    ASSERT_TRUE(controller.SearchLinkSteps());
    EXPECT_TRUE(link.IsPortOpen());
    EXPECT_EQ(state.sendEnabled.load(), 1);
}

TEST(LinkConnect, APortThatCannotBeOpenedShowsTheOpenError)
{
    ScopedSpeed speed(4);
    ScopedConfigHome home;
    QDir().mkpath(home.path() + QStringLiteral("/talvo"));
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[ports]\nCOM3=/nonexistent/talvo-port\n");
    file.close();

    LinkState state;
    Link link(state);
    link.SetPortNumber(3);
    LinkController controller(link);
    Shown shown;
    shown.watch(controller);

    EXPECT_FALSE(controller.ConnectLinkSteps());
    EXPECT_FALSE(controller.SearchLinkSteps());
    const auto expected = std::make_pair(QStringLiteral("Open COM error"),
                                         QStringLiteral("COM3 connection failed.\r\rPlease select another COM port.\r"
                                                        "/nonexistent/talvo-port: no such device"));
    EXPECT_EQ(shown.openErrors, (std::vector<std::pair<QString, QString>>{expected, expected}));
    EXPECT_EQ(state.sendEnabled.load(), 0);
    EXPECT_FALSE(link.IsPortOpen());

    // ReopenPort keeps quiet about the same failure.
    controller.ReopenPort();
    EXPECT_EQ(shown.openErrors.size(), 2u);
}

TEST(LinkPort, TheRememberedNumberIsLoadedAndAnOpenPortFollowsItsNumber)
{
    ScopedSpeed speed(4);
    ScopedConfigHome home;
    SimLine first, second;
    QDir().mkpath(home.path() + QStringLiteral("/talvo"));
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // 259 is remembered as COM3 (its low byte).
    file.write(QStringLiteral("[deziro232]\nRS232=259\n[ports]\nCOM3=%1\nCOM4=%2\n")
                   .arg(first.devicePath(), second.devicePath())
                   .toUtf8());
    file.close();

    LinkState state;
    Link link(state);
    link.LoadPortNumber();
    EXPECT_EQ(state.portNumber, 3);
    EXPECT_FALSE(link.IsPortOpen());  // loading the number opens nothing
    ASSERT_TRUE(link.OpenPort());
    state.sendEnabled.store(1);
    state.linkActive = kYes;
    state.outFrame.address = 1;
    state.outFrame.set(220, {100});
    link.SendCommand();
    ASSERT_TRUE(link.WaitForIdle(5000));

    link.SetPortNumber(4 + 256);  // COM Setup chose another port: the open port moves
    EXPECT_EQ(state.portNumber, 4);
    EXPECT_TRUE(link.IsPortOpen());
    state.outFrame.set(220, {80});
    link.SendCommand();
    ASSERT_TRUE(link.WaitForIdle(5000));
    first.stop();
    second.stop();

    ASSERT_EQ(first.frames().size(), 1u);
    EXPECT_EQ(first.frames()[0].frame.data[0], 100);
    ASSERT_EQ(second.frames().size(), 1u);
    EXPECT_EQ(second.frames()[0].frame.data[0], 80);
    EXPECT_EQ(Settings::LoadPortNumber(), 3);  // moving the port does not remember it
}

}  // namespace
}  // namespace talvo::testing
