// The connect procedure against simulated amplifiers on a pseudo-terminal.

#include <algorithm>
#include <optional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "RuntimeSupport.h"
#include "devices/ConnectProcedure.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo::testing {
namespace {

// The application's objects around one connect controller, and everything it reported.
struct ConnectRig {
    AppState state;
    Link link{state.link};
    LinkController linkController{link};
    ProgramApplier applier{state};
    ConnectController connect{state, link, linkController, applier};

    Shown shown;
    std::vector<std::pair<bool, QString>> indicator;
    std::vector<QString> idLabels;
    std::vector<bool> buttons;
    std::vector<bool> bridge;
    std::vector<int> programs;
    std::vector<QString> headings;
    std::vector<bool> cancelOffers;
    std::vector<QString> outcomeTexts;
    int closeRequests = 0;

    // An empty device: the port number leads where the settings file says.
    explicit ConnectRig(const QString &device)
    {
        if (!device.isEmpty())
            link.SetDeviceOverride(device);
        EXPECT_TRUE(link.OpenPort()) << link.LastOpenFailure().toStdString();
        // As Tools > Connect leaves the link before the window is shown.
        state.link.sendEnabled.store(1);
        shown.watch(link);
        QObject::connect(&connect, &ConnectController::indicatorChanged,
                         [this](bool lit, const QString &text) { indicator.emplace_back(lit, text); });
        QObject::connect(&connect, &ConnectController::idLabelChanged, [this](const QString &t) { idLabels.push_back(t); });
        QObject::connect(&connect, &ConnectController::buttonsEnabled, [this](bool on) { buttons.push_back(on); });
        QObject::connect(&connect, &ConnectController::bridgeAvailableChanged, [this](bool on) { bridge.push_back(on); });
        QObject::connect(&connect, &ConnectController::currentProgramChanged, [this](int p) { programs.push_back(p); });
        QObject::connect(&connect, &ConnectController::memoryHeadingChanged, [this](const QString &t) { headings.push_back(t); });
        QObject::connect(&connect, &ConnectController::closeRequested, [this] { ++closeRequests; });
        QObject::connect(&connect, &ConnectController::cancelOffered, [this](bool on) { cancelOffers.push_back(on); });
        QObject::connect(&connect, &ConnectController::outcomeText, [this](const QString &t) { outcomeTexts.push_back(t); });
    }

    bool run(const ConnectRequest &request)
    {
        const bool online = connect.Connect(request);
        EXPECT_TRUE(link.WaitForIdle(5000));
        return online;
    }
};

ConnectRequest Request(int id, bool mute = true, std::optional<int> sub = std::nullopt)
{
    ConnectRequest r;
    r.id = id;
    r.mute = mute;
    r.useSubAddress = sub.has_value();
    r.subAddress = sub.value_or(1);
    return r;
}

std::vector<int> Commands(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<int> commands;
    for (const auto &f : frames)
        commands.push_back(f.frame.command);
    return commands;
}

const std::vector<int> kReadOutProgress{0, 10, 15, 20, 30, 40, 50, 60, 70, 80, 85, 100, 0};

TEST(ConnectController, MutedConnectToId5ReadsFirmwareProgramAndBridge)
{
    // Every frame is counted: no reply may miss its window and cause a resend (the clock holds
    // for a late thread, see kProcedureSpeed).
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig config;
    config.id = 5;
    config.firmwareMajor = 3;
    config.firmwareMinor = 12;
    config.runningProgram = 7;  // a blank slot: the amplifier runs the default program
    config.bridgeAvailable = false;
    SimLine line({config}, PatientBus());
    ConnectRig rig(line.devicePath());

    ASSERT_TRUE(rig.run(Request(5, true)));
    line.stop();
    const sim::Amplifier &amp = line.bus().amplifier(0);

    const auto &frames = line.frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(Hex(frames[0].wire), Hex(FromHex("336677 050000 DC 01 65 47 99AABB")));
    EXPECT_EQ(Commands(frames), (std::vector<int>{220, 231, 232, 233, 234, 235, 236, 237, 238, 239}));
    for (const auto &f : frames) {
        EXPECT_EQ(f.frame.address, 5);
        EXPECT_EQ(f.frame.subAddressHigh, 0);
        EXPECT_EQ(f.frame.subAddressLow, 0);
    }
    EXPECT_TRUE(amp.connected());
    EXPECT_TRUE(amp.outputMuted(0) && amp.outputMuted(1));

    // The results, as the windows are told them.
    EXPECT_EQ(rig.state.link.linkActive, kYes);
    EXPECT_EQ(rig.state.link.chosenId, 5);
    EXPECT_EQ(rig.state.firmwareMajor, 3);
    EXPECT_EQ(rig.state.firmwareMinor, 12);
    EXPECT_EQ(rig.shown.lastPanel(2), QStringLiteral("     MCU Firmware Version: DSP VS-3.12"));
    EXPECT_EQ(rig.state.currentProgram, 7);
    EXPECT_EQ(rig.programs, (std::vector<int>{0, 7}));
    EXPECT_EQ(rig.headings, (std::vector<QString>{QStringLiteral("Amplifier current Program is NO. 7")}));
    EXPECT_FALSE(rig.state.bridgeAvailable);
    EXPECT_EQ(rig.bridge, (std::vector<bool>{false}));
    ASSERT_FALSE(rig.indicator.empty());
    EXPECT_EQ(rig.indicator.back(), std::make_pair(true, QStringLiteral("ONLINE")));
    EXPECT_EQ(rig.idLabels, (std::vector<QString>{QStringLiteral("ID:5")}));
    EXPECT_EQ(rig.buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(rig.closeRequests, 1);
    EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
    EXPECT_EQ(rig.connect.LastOutcome(), ConnectOutcome::Online);
    EXPECT_EQ(rig.outcomeTexts, (std::vector<QString>{QString(), QString()}));
    EXPECT_EQ(rig.cancelOffers, (std::vector<bool>{true, false}));

    std::vector<int> progress{12};
    progress.insert(progress.end(), kReadOutProgress.begin(), kReadOutProgress.end());
    progress.insert(progress.end(), {100, 0});
    EXPECT_EQ(rig.shown.progress, progress);

    // The program it runs, with the live gains (muted by the connect) in the editors.
    ASSERT_TRUE(rig.connect.LastReadOut().has_value());
    EXPECT_EQ(*rig.connect.LastReadOut(), LiveRecord(amp));
    EXPECT_EQ(rig.state.programBuffer, LiveRecord(amp));
    for (const InputGainState &g : rig.state.inputGains)
        EXPECT_EQ(g, (InputGainState{-600, kYes}));

    // Bridge stays unavailable until the next disconnect.
    rig.connect.Disconnect();
    EXPECT_TRUE(rig.state.bridgeAvailable);
    EXPECT_EQ(rig.bridge.back(), true);
    EXPECT_EQ(rig.state.currentProgram, 0);
    EXPECT_EQ(rig.state.link.linkActive, 0);
    EXPECT_EQ(rig.closeRequests, 2);
}

TEST(ConnectController, SubAddressGoesInEveryFrameUntilAConnectWithoutIt)
{
    ScopedSpeed speed(kProcedureSpeed);  // every frame is counted; the clock keeps the windows
    sim::AmplifierConfig config;
    config.id = 5;
    config.subAddress = 300;
    SimLine line({config}, PatientBus());
    ConnectRig rig(line.devicePath());

    ASSERT_TRUE(rig.run(Request(5, false, 300)));
    const std::size_t firstConnect = 10;
    // Reconnecting while connected first disconnects, still on sub-address 300; then the
    // frames go without one (which every sub-address of ID 5 takes).
    ASSERT_TRUE(rig.run(Request(5, false)));
    line.stop();

    const auto &frames = line.frames();
    ASSERT_EQ(frames.size(), firstConnect + 2 + 10);
    EXPECT_EQ(Hex(frames[0].wire), Hex(FromHex("336677 05012C DC 01 64 73 99AABB")));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const bool withSub = i < firstConnect + 2;
        EXPECT_EQ(frames[i].frame.subAddressHigh, withSub ? 1 : 0);
        EXPECT_EQ(frames[i].frame.subAddressLow, withSub ? 44 : 0);
        EXPECT_EQ(frames[i].frame.address, 5);
    }
    EXPECT_EQ(frames[firstConnect].frame.command, 220);
    EXPECT_EQ(frames[firstConnect].frame.data[0], 80);
    EXPECT_EQ(frames[firstConnect + 1].frame.data[0], 80);
    EXPECT_EQ(frames[firstConnect + 2].frame.data[0], 100);
}

// Two lines: the port is opened on the first; once the procedure runs, the port number's
// device moves to the second, so only a reopened port sends there.
TEST(ConnectController, NobodyAnsweringTakesEightAttemptsReopeningFromTheThird)
{
    ScopedSpeed speed(10);
    sim::AmplifierConfig other;
    other.id = 1;
    SimLine first({other}, PatientBus());
    SimLine second({other}, PatientBus());
    ConnectRig rig(first.devicePath());
    const QString secondPath = second.devicePath();
    QObject::connect(&rig.link, &Link::progressChanged, [&](int p) {
        if (p == 12)
            rig.link.SetDeviceOverride(secondPath);
    });

    EXPECT_FALSE(rig.run(Request(9, true)));
    first.stop();
    second.stop();

    EXPECT_EQ(Commands(first.frames()), (std::vector<int>{220, 220}));
    EXPECT_EQ(Commands(second.frames()), (std::vector<int>{220, 220, 220, 220, 220, 220}));
    for (SimLine *line : {&first, &second})
        for (const auto &f : line->frames())
            EXPECT_EQ(Hex(f.wire), Hex(FromHex("336677 090000 DC 01 65 4B 99AABB")));

    EXPECT_EQ(rig.shown.progress, (std::vector<int>{12, 24, 36, 48, 60, 72, 84, 96, 100, 0}));
    EXPECT_EQ(rig.state.link.linkActive, 0);
    ASSERT_EQ(rig.indicator.size(), 9u);
    for (const auto &i : rig.indicator)
        EXPECT_EQ(i, std::make_pair(false, QStringLiteral("OFFLINE")));
    EXPECT_EQ(rig.shown.lastPanel(2), QString());
    EXPECT_EQ(rig.shown.lastPanel(0), QStringLiteral("   9"));
    EXPECT_EQ(rig.state.firmwareMajor, 1);
    EXPECT_EQ(rig.state.firmwareMinor, 0);
    EXPECT_EQ(rig.closeRequests, 0);
    EXPECT_FALSE(rig.connect.LastReadOut().has_value());
    EXPECT_TRUE(rig.bridge.empty());
}

TEST(ConnectController, APortThatCannotBeReopenedEndsOffline)
{
    ScopedSpeed speed(10);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectRig rig(line.devicePath());
    QObject::connect(&rig.link, &Link::progressChanged, [&](int p) {
        if (p == 12)
            rig.link.SetDeviceOverride(QStringLiteral("/nonexistent/talvo-tty"));
    });
    EXPECT_FALSE(rig.run(Request(4, true)));
    line.stop();
    EXPECT_EQ(line.frames().size(), 2u);
    EXPECT_EQ(rig.state.link.linkActive, 0);
    EXPECT_EQ(rig.indicator.back(), std::make_pair(false, QStringLiteral("OFFLINE")));
}

// The running program's gains, and whether the record is applied or the default program with
// only the gains of block 8.
TEST(ConnectController, LiveGainsReachTheGainEditorsWithTheMutedRule)
{
    struct Case {
        std::uint8_t inUse;
        double left;
        double right;
        InputGainState leftShown;
        InputGainState rightShown;
    };
    const Case cases[] = {
        {1, -60.1, -12.5, {-600, kYes}, {-125, 0}},
        {1, -60.0, 6.0, {-600, 0}, {60, 0}},
        {2, -60.1, -12.5, {-600, kYes}, {-125, 0}},
        {2, 0.0, -100.0, {0, 0}, {-600, kYes}},
    };
    ScopedSpeed speed(kProcedureSpeed);
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "inUse " << int(c.inUse) << " gains " << c.left << " " << c.right);
        Program program = DecodeProgram(DefaultProgram());
        program.mode = 2;  // Mono
        program.left.peq[0] = PeqBand{100.0, -3.0, 1.5};
        program.left.gain = c.left;
        program.right.gain = c.right;
        RecordImage record = EncodeProgram(program);
        record[11] = c.inUse;
        sim::AmplifierConfig config;
        config.runningProgram = 5;
        config.slotRecords[4] = record;
        SimLine line({config}, PatientBus());
        ConnectRig rig(line.devicePath());
        std::vector<std::tuple<int, int, bool>> gainSignals;
        QObject::connect(&rig.applier, &ProgramApplier::inputGainChanged,
                         [&](int ch, int pos, bool muted) { gainSignals.emplace_back(ch, pos, muted); });

        ASSERT_TRUE(rig.run(Request(1, false)));
        line.stop();

        EXPECT_EQ(rig.state.inputGains[0], c.leftShown);
        EXPECT_EQ(rig.state.inputGains[1], c.rightShown);
        ASSERT_FALSE(gainSignals.empty());
        EXPECT_EQ(gainSignals.back(), std::make_tuple(1, c.rightShown.position, c.rightShown.muted == kYes));
        ASSERT_TRUE(rig.connect.LastReadOut().has_value());
        EXPECT_EQ((*rig.connect.LastReadOut())[11], c.inUse);
        if (c.inUse == 1) {
            EXPECT_EQ(rig.state.programBuffer, *rig.connect.LastReadOut());
            EXPECT_EQ(rig.state.mode, Mode::Mono);
            EXPECT_EQ(rig.state.peq.leftBands[0], (PeqBand{100.0, -3.0, 1.5}));
        } else {
            EXPECT_EQ(rig.state.programBuffer, DefaultProgram());
            EXPECT_EQ(rig.state.mode, Mode::Stereo);
            EXPECT_EQ(rig.state.peq.leftBands, kDefaultBands);
        }
        EXPECT_EQ(rig.closeRequests, 1);
    }
}

// Two amplifiers share ID 1. Addressed without a sub-address both answer at the same moment and
// garble each other; the sub-address reaches one of them.
TEST(ConnectController, TwoAmplifiersOnOneIdGarbleTheAnswerAndTheSubAddressSeparatesThem)
{
    ScopedSpeed speed(kProcedureSpeed);  // every frame is counted; the clock keeps the windows
    sim::AmplifierConfig a;
    a.subAddress = 1;
    a.runningProgram = 2;
    sim::AmplifierConfig b;
    b.subAddress = 2;
    b.runningProgram = 3;
    b.firmwareMinor = 9;
    SimLine line({a, b}, PatientBus());
    ConnectRig rig(line.devicePath());

    EXPECT_FALSE(rig.run(Request(1, false)));
    EXPECT_EQ(rig.state.link.linkActive, 0);
    EXPECT_EQ(rig.indicator.back(), std::make_pair(false, QStringLiteral("OFFLINE")));

    ASSERT_TRUE(rig.run(Request(1, false, 2)));
    line.stop();
    EXPECT_EQ(rig.state.currentProgram, 3);
    EXPECT_EQ(rig.state.firmwareMinor, 9);
    ASSERT_TRUE(rig.connect.LastReadOut().has_value());
    EXPECT_EQ(*rig.connect.LastReadOut(), LiveRecord(line.bus().amplifier(1)));
    EXPECT_NE(*rig.connect.LastReadOut(), LiveRecord(line.bus().amplifier(0)));
    // The first connect's eight attempts went to both; everything after to the second only.
    const auto &frames = line.frames();
    ASSERT_EQ(frames.size(), 8u + 10u);
    for (std::size_t i = 8; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame.subAddressHigh, 0);
        EXPECT_EQ(frames[i].frame.subAddressLow, 2);
    }
}

// One amplifier of two on the ID answers only now and then: the answers that do not collide
// come through, so the status block arrives but part of the program does not. Nothing of the
// program is trusted then: the default program with both channels muted, and the window stays.
TEST(ConnectController, AnIncompleteProgramLoadsTheDefaultProgramMuted)
{
    // Which replies are dropped follows the frames sent; a resend for a late reply would change
    // them, so every reply that comes has its window.
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig a;
    a.subAddress = 1;
    sim::AmplifierConfig b;
    b.subAddress = 2;
    b.faults.dropShare = 0.5;
    b.faults.seed = 7;
    SimLine line({a, b}, PatientBus());
    ConnectRig rig(line.devicePath());
    rig.state.inputGains = {InputGainState{-100, 0}, InputGainState{20, 0}};
    rig.state.programBuffer = NewSlotRecord();

    EXPECT_TRUE(rig.run(Request(1, false)));
    line.stop();
    const ReplyFields &reply = rig.state.link.reply;
    ASSERT_EQ(reply.statusBlock().received, kYes);
    int missing = 0;
    for (int k = 1; k <= 8; ++k)
        missing += reply.block(k).received == kYes ? 0 : 1;
    EXPECT_GT(missing, 0);
    EXPECT_EQ(rig.state.link.linkActive, kYes);
    EXPECT_FALSE(rig.connect.LastReadOut().has_value());
    EXPECT_EQ(rig.state.programBuffer, DefaultProgram());
    for (const InputGainState &g : rig.state.inputGains)
        EXPECT_EQ(g, (InputGainState{-600, kYes}));
    EXPECT_EQ(rig.closeRequests, 0);
    EXPECT_EQ(rig.connect.LastOutcome(), ConnectOutcome::OnlineWithoutProgram);
    EXPECT_EQ(rig.outcomeTexts.back(), QStringLiteral("ID 1 on COM1 is connected, but part of its program is missing: "
                                                      "the default program is loaded, both inputs muted."));
}

// Where the reply to the connect frame falls against the answer window. The answer is looked
// at 0.4 s after the frame (and its pacing) left the wire, however early a reply came: that is
// also the amplifier's time to settle before the block requests. A reply later than that is
// taken by the next attempt. Each connect is cancelled as the read-out begins, which must leave
// the link cleanly OFFLINE: the block request already asked for goes out, nothing after it.
TEST(ConnectController, TheAnswerIsLookedAtNoSoonerThan400MsAfterTheConnectFrame)
{
    struct Case {
        const char *name;
        double replyDelayMs;
        std::size_t connectFrames;  // sent until the answer was taken
    };
    const Case cases[] = {
        {"prompt reply", 5, 1},
        {"reply late in the window", 340, 1},
        {"reply after the window", 520, 2},
    };
    // The replies fall 90 nominal ms from the window's ends. The answer is looked at on the main
    // thread, for which the clock does not hold: a quarter of the procedures' speed leaves a
    // main thread woken late on a loaded machine over 20 ms of real time.
    ScopedSpeed speed(kProcedureSpeed / 4);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::AmplifierConfig config;
        config.faults.replyDelayMs = c.replyDelayMs;
        SimLine line({config}, PatientBus());
        ConnectRig rig(line.devicePath());
        const RecordImage before = rig.state.programBuffer;
        QObject::connect(&rig.link, &Link::progressChanged, [&rig](int percent) {
            if (percent == 0 && rig.connect.IsConnecting())  // the read-out begins
                rig.connect.Cancel();
        });

        EXPECT_FALSE(rig.run(Request(1)));
        line.stop();

        std::vector<int> expected(c.connectFrames, 220);
        expected.push_back(231);
        const auto &frames = line.frames();
        ASSERT_EQ(Commands(frames), expected);
        const sim::FrameRecord &connectFrame = frames[c.connectFrames - 1];
        const sim::FrameRecord &blockRequest = frames[c.connectFrames];
        EXPECT_GE(blockRequest.firstByteMs - connectFrame.lastByteMs, 400.0);

        EXPECT_EQ(rig.connect.LastOutcome(), ConnectOutcome::Cancelled);
        EXPECT_EQ(rig.outcomeTexts.back(), QStringLiteral("Connecting to ID 1 on COM1 was cancelled."));
        EXPECT_EQ(rig.state.link.linkActive, 0);
        EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
        EXPECT_EQ(rig.state.link.pendingFrames.load(), 0);
        EXPECT_EQ(rig.indicator.back(), std::make_pair(false, QStringLiteral("OFFLINE")));
        EXPECT_EQ(rig.shown.progress.back(), 0);
        EXPECT_EQ(rig.buttons.back(), true);
        EXPECT_EQ(rig.cancelOffers, (std::vector<bool>{true, false}));
        EXPECT_EQ(rig.state.programBuffer, before);
        EXPECT_FALSE(rig.connect.LastReadOut().has_value());
        EXPECT_EQ(rig.closeRequests, 0);
        EXPECT_FALSE(rig.connect.IsConnecting());
    }
}

// The connect procedure and its read-out through the faults of a real line: noise before the
// replies, replies that lose their closing byte (which nothing needs), replies slower than a
// block request's wait (taken during the resend's). The whole program arrives all the same.
TEST(ConnectController, ReadsTheWholeProgramThroughANoisyLine)
{
    struct Case {
        const char *name;
        sim::Faults faults;
    };
    sim::Faults garbage;
    garbage.garbageBytes = 24;
    garbage.seed = 11;
    sim::Faults noClosingByte;
    noClosingByte.cutShortTo = sim::kReplyFrameSize - 1;
    sim::Faults slow;
    slow.replyDelayMs = 300;
    sim::Faults all = garbage;
    all.cutShortTo = noClosingByte.cutShortTo;
    all.replyDelayMs = slow.replyDelayMs;
    const Case cases[] = {
        {"garbage before every reply", garbage},
        {"replies without their closing byte", noClosingByte},
        {"replies slower than a block request's wait", slow},
        {"all three", all},
    };
    // Only whether things arrive is looked at, and every block has its resend.
    ScopedSpeed speed(4);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::AmplifierConfig config;
        config.id = 6;
        config.runningProgram = 2;
        config.firmwareMinor = 7;
        config.faults = c.faults;
        SimLine line({config}, PatientBus());
        ConnectRig rig(line.devicePath());

        EXPECT_TRUE(rig.run(Request(6)));
        line.stop();
        EXPECT_EQ(rig.connect.LastOutcome(), ConnectOutcome::Online);
        ASSERT_TRUE(rig.connect.LastReadOut().has_value());
        EXPECT_EQ(*rig.connect.LastReadOut(), LiveRecord(line.bus().amplifier(0)));
        EXPECT_EQ(rig.state.currentProgram, 2);
        EXPECT_EQ(rig.state.firmwareMinor, 7);
        EXPECT_EQ(rig.closeRequests, 1);
    }
}

// A connect that ends OFFLINE says why, with the ID and the port.
TEST(ConnectController, AnOfflineEndSaysWhy)
{
    struct Case {
        const char *name;
        int id;
        sim::Faults faults;
        std::uint8_t silentFrom;  // a command from which nothing answers any more; 0 = none
        double speed;
        ConnectOutcome outcome;
        const char *text;
    };
    sim::Faults none;
    sim::Faults cutAfterTheId;
    cutAfterTheId.cutShortTo = 5;  // the sync, the ID and the length
    const Case cases[] = {
        {"nobody at the ID", 9, none, 0, 4 * kProcedureSpeed, ConnectOutcome::NoAnswer, "No answer from ID 9 on COM1."},
        // Every reply names the ID, none completes a block: each of the eight attempts runs a
        // whole read-out in vain (about 100 s at real time).
        {"every reply cut short", 1, cutAfterTheId, 0, 4 * kProcedureSpeed, ConnectOutcome::NoWholeProgram,
         "ID 1 answered on COM1, but not with its whole program."},
        // The blocks must arrive: the clock keeps their windows.
        {"the line dies after the program", 1, none, 239, kProcedureSpeed, ConnectOutcome::NoStatus,
         "ID 1 on COM1 sent its program but not its status, and is not connected."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedSpeed speed(c.speed);
        sim::AmplifierConfig config;
        config.faults = c.faults;
        SimLine line({config}, PatientBus());
        if (c.silentFrom != 0)
            SilenceFrom(line, c.silentFrom);
        ConnectRig rig(line.devicePath());

        EXPECT_FALSE(rig.run(Request(c.id)));
        line.stop();
        EXPECT_EQ(rig.connect.LastOutcome(), c.outcome);
        EXPECT_EQ(rig.outcomeTexts, (std::vector<QString>{QString(), QLatin1String(c.text)}));
        EXPECT_EQ(rig.state.link.linkActive, 0);
        EXPECT_EQ(rig.indicator.back(), std::make_pair(false, QStringLiteral("OFFLINE")));
        EXPECT_EQ(rig.connect.LastReadOut().has_value(), c.outcome == ConnectOutcome::NoStatus);
        EXPECT_EQ(Commands(line.frames()).front(), 220);
    }
}

// The simulator ends in the middle of the read-out: the connect ends at once (a device that
// vanished is not opened again by name), says the port was lost rather than blaming the amplifier, stays OFFLINE, and
// the next connect on a line that is back works.
TEST(ConnectController, APortLostDuringTheReadOutEndsTheConnectAndSaysSo)
{
    ScopedSpeed speed(kProcedureSpeed);
    std::optional<ConnectRig> rig;
    int failedFrames = 0;
    {
        SimLine line({sim::AmplifierConfig()}, PatientBus());
        line.hangUpAfterReceiving(13 * 4 + 6);  // inside the fourth block request
        rig.emplace(line.devicePath());
        QObject::connect(&rig->link, &Link::frameDone, [&](bool written) { failedFrames += written ? 0 : 1; });
        EXPECT_FALSE(rig->run(Request(1)));
    }
    EXPECT_EQ(rig->connect.LastOutcome(), ConnectOutcome::PortLost);
    EXPECT_EQ(rig->outcomeTexts.back(),
              QStringLiteral("COM1 was lost while connecting to ID 1."));
    EXPECT_EQ(rig->state.link.linkActive, 0);
    EXPECT_EQ(rig->indicator.back(), std::make_pair(false, QStringLiteral("OFFLINE")));
    EXPECT_FALSE(rig->connect.LastReadOut().has_value());
    // The rest of the read-out and seven more attempts would each have failed here.
    EXPECT_LE(failedFrames, 2);

    SimLine again({sim::AmplifierConfig()}, PatientBus());
    rig->link.SetDeviceOverride(again.devicePath());
    ASSERT_TRUE(rig->link.OpenPort());
    EXPECT_TRUE(rig->run(Request(1)));
    again.stop();
    EXPECT_EQ(rig->connect.LastOutcome(), ConnectOutcome::Online);
}

// The device vanishes under the connect and, at once, its name leads to another bus (as a
// pseudo-terminal's number is handed out again): the connect ends there, and nothing of it
// reaches the other bus.
TEST(ConnectController, ADeviceThatVanishesUnderTheConnectIsNotOpenedAgainByName)
{
    ScopedSpeed speed(kProcedureSpeed);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("port"));
    SimLine first({sim::AmplifierConfig()}, PatientBus());
    first.hangUpAtFrame([](const sim::FrameRecord &f) { return f.frame.command == 234; });
    ASSERT_TRUE(QFile::link(first.devicePath(), name));
    ConnectRig rig(name);
    std::optional<SimLine> other;
    QObject::connect(&rig.link, &Link::portLost, [&] {
        other.emplace(std::vector<sim::AmplifierConfig>{sim::AmplifierConfig()}, PatientBus());
        QFile::remove(name);
        QFile::link(other->devicePath(), name);
    });

    EXPECT_FALSE(rig.run(Request(1)));
    first.stop();
    ASSERT_TRUE(other.has_value());
    other->stop();
    EXPECT_EQ(rig.connect.LastOutcome(), ConnectOutcome::PortLost);
    EXPECT_TRUE(other->frames().empty());
}

TEST(ConnectController, RefusesAddressesOutsideTheirRanges)
{
    AppState state;
    Link link(state.link);
    LinkController linkController(link);
    ProgramApplier applier(state);
    ConnectController connect(state, link, linkController, applier);
    int finished = 0;
    QObject::connect(&connect, &ConnectController::finished, [&](bool) { ++finished; });
    for (const ConnectRequest &r : {Request(0), Request(256), Request(1, true, 0), Request(1, true, 65536)})
        EXPECT_FALSE(connect.Connect(r));
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(state.link.chosenId, 1);
}

// The port's path changes in talvo.conf while an amplifier is connected, and Connect reopens
// the port on the new bus. The disconnect that a Connect runs first still belongs to the
// amplifier connected before: it goes to the device that connection was made on, or nowhere
// when that device is gone; never to the amplifiers on the new bus.
struct PortMoveCase {
    const char *name;
    bool oldBusGone;
};

class PortMovedWhileConnected : public ::testing::TestWithParam<PortMoveCase> {};

TEST_P(PortMovedWhileConnected, TheDisconnectGoesWhereTheConnectionWasMade)
{
    ScopedSpeed speed(kProcedureSpeed);
    testsupport::ScopedHome home;
    const auto mapCom1 = [&home](const QString &device) {
        ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("/talvo")));
        QFile file(home.settingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[ports]\nCOM1=%1\n").arg(device).toUtf8());
    };
    sim::AmplifierConfig first;
    first.id = 1;
    sim::AmplifierConfig second;
    second.id = 1;  // the same ID on the other bus: only the device tells them apart
    SimLine oldBus({first}, PatientBus());
    SimLine newBus({second}, PatientBus());
    mapCom1(oldBus.devicePath());
    ConnectRig rig{QString()};
    ASSERT_EQ(rig.state.link.portNumber, 1);
    ASSERT_EQ(rig.link.OpenedDevice(), oldBus.devicePath());
    ASSERT_TRUE(rig.run(Request(1, false)));

    mapCom1(newBus.devicePath());
    ASSERT_TRUE(rig.linkController.ConnectLinkSteps());  // Tools > Connect: the port moves to the new bus
    ASSERT_EQ(rig.link.OpenedDevice(), newBus.devicePath());
    if (GetParam().oldBusGone)
        oldBus.hangUp();
    ASSERT_TRUE(rig.run(Request(1, false)));
    oldBus.stop();
    newBus.stop();

    const auto disconnects = [](SimLine &line) {
        int count = 0;
        for (const auto &f : line.frames())
            count += f.frame.command == kConnectCommand && f.frame.data[0] == 80 ? 1 : 0;
        return count;
    };
    EXPECT_EQ(disconnects(oldBus), GetParam().oldBusGone ? 0 : 2);
    EXPECT_EQ(disconnects(newBus), 0);
    ASSERT_FALSE(newBus.frames().empty());
    EXPECT_EQ(Hex(newBus.frames()[0].wire), Hex(FromHex("336677 010000 DC 01 64 42 99AABB")));  // the connect
    EXPECT_EQ(rig.link.OpenedDevice(), newBus.devicePath());
    EXPECT_EQ(rig.state.link.linkActive, kYes);
}

INSTANTIATE_TEST_SUITE_P(ConnectController, PortMovedWhileConnected,
                         ::testing::Values(PortMoveCase{"OldBusStillThere", false}, PortMoveCase{"OldBusGone", true}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvo::testing
