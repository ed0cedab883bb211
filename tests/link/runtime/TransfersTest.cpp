// Reading the running program and the status block through the link, from simulated amplifiers.

#include <functional>

#include <gtest/gtest.h>

#include "RuntimeSupport.h"
#include "link/Transfers.h"

namespace talvo::testing {
namespace {

const std::vector<int> kReadProgress{0, 10, 15, 20, 30, 40, 50, 60, 70, 80, 85};

std::vector<int> Commands(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<int> commands;
    for (const auto &f : frames)
        commands.push_back(f.frame.command);
    return commands;
}

TEST(LinkTransfers, ReadLiveProgramTakesEveryBlockOnce)
{
    ScopedSpeed speed(4);
    sim::AmplifierConfig config;
    config.id = 9;
    config.runningProgram = 2;
    config.firmwareMajor = 3;
    config.firmwareMinor = 7;
    SimLine line({config}, PatientBus());
    ConnectedLink c(line.devicePath(), 9);
    Shown shown;
    shown.watch(c.link);

    ReadLiveProgram(c.link);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();
    const sim::Amplifier &amp = line.bus().amplifier(0);

    EXPECT_EQ(shown.progress, kReadProgress);
    EXPECT_EQ(Commands(line.frames()), (std::vector<int>{231, 232, 233, 234, 235, 236, 237, 238, 239}));
    for (const auto &f : line.frames()) {
        EXPECT_EQ(f.frame.length, 1);
        EXPECT_EQ(f.frame.data[0], 100);
        EXPECT_EQ(f.frame.address, 9);
    }
    const ReplyFields &r = c.state.reply;
    for (int k = 1; k <= 7; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(r.block(k).received, kYes);
        EXPECT_TRUE(std::equal(r.block(k).bytes.begin(), r.block(k).bytes.end(),
                               amp.liveProgram().begin() + 16 * (k - 1)));
    }
    ASSERT_EQ(r.block(8).received, kYes);
    const auto gains = amp.liveGains();
    EXPECT_TRUE(std::equal(gains.begin(), gains.end(), r.block(8).bytes.begin()));
    ASSERT_EQ(r.statusBlock().received, kYes);
    EXPECT_EQ(r.statusBlock().bytes[2], 2);
    EXPECT_EQ(r.statusBlock().bytes[8], 3);
    EXPECT_EQ(r.statusBlock().bytes[9], 7);
}

TEST(LinkTransfers, ASilentAmplifierIsAskedOnceMoreForEachBlockAndTwiceForTheStatus)
{
    // Not faster: the simulated amplifier gives up on a frame whose bytes stop for 500 ms
    // (nominal), and a loaded machine can hold the sender for 50 ms of real time.
    ScopedSpeed speed(4);
    sim::AmplifierConfig config;
    config.faults.noAnswer = true;
    SimLine line({config}, PatientBus());
    ConnectedLink c(line.devicePath(), 1);
    Shown shown;
    shown.watch(c.link);

    ReadLiveProgram(c.link);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();

    EXPECT_EQ(shown.progress, kReadProgress);
    EXPECT_EQ(Commands(line.frames()),
              (std::vector<int>{231, 231, 232, 232, 233, 233, 234, 234, 235, 235, 236, 236, 237, 237, 238, 238, 239, 239, 239}));
    for (const ProgramBlock &b : c.state.reply.programBlocks)
        EXPECT_EQ(b.received, 0);
}

TEST(LinkTransfers, ARequestForgetsTheBlockThatArrivedBefore)
{
    // A block left from an earlier request must not pass for the answer to this one: with an
    // amplifier that never answers, the block reads as missing after the request.
    ScopedSpeed speed(4);
    sim::AmplifierConfig config;
    config.faults.noAnswer = true;
    SimLine line({config}, PatientBus());
    ConnectedLink c(line.devicePath(), 1);
    const std::vector<std::pair<const char *, std::function<void()>>> requests = {
        {"block 1", [&] { RequestBlock(c.link, 1, 5); }},
        {"block 8", [&] { RequestBlock(c.link, 8, kRunningProgram); }},
        {"status block", [&] { RequestStatus(c.link); }},
    };
    const int blocks[] = {1, 8, kStatusBlock};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(requests[i].first);
        ProgramBlock &block = c.state.reply.block(blocks[i]);
        block.received = kYes;
        requests[i].second();
        EXPECT_EQ(block.received, 0);
    }
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();
    EXPECT_EQ(Commands(line.frames()), (std::vector<int>{231, 238, 239}));
}

// A read-out that is stopped must not leave blocks marked received from an earlier one: the
// connect procedure would take them for this amplifier's program.
TEST(LinkTransfers, AStoppedReadOutLeavesNoBlockOfAnEarlierOneReceived)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectedLink c(line.devicePath(), 1);
    for (ProgramBlock &block : c.state.reply.programBlocks)
        block.received = kYes;

    int looks = 0;
    ReadLiveProgram(c.link, [&] { return ++looks >= 1; });  // stops after the first request
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    line.stop();

    EXPECT_EQ(Commands(line.frames()), (std::vector<int>{231}));
    for (int k = 2; k <= kStatusBlock; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(c.state.reply.block(k).received, 0);
    }
}

TEST(LinkTransfers, RequestBlockAsksForAMemorySlot)
{
    ScopedSpeed speed(4);
    SimLine line({sim::AmplifierConfig()}, PatientBus());
    ConnectedLink c(line.devicePath(), 1);
    c.state.reply.block(3).received = kYes;  // left from before: must be cleared by the request

    RequestBlock(c.link, 3, 5);
    ASSERT_TRUE(c.link.WaitForIdle(5000));
    c.link.WaitPumping(50);
    line.stop();

    ASSERT_EQ(line.frames().size(), 1u);
    EXPECT_EQ(Hex(line.frames()[0].wire), Hex(FromHex("336677 010000 E9 01 05 F0 99AABB")));
    ASSERT_EQ(c.state.reply.block(3).received, kYes);
    const RecordImage &slot = line.bus().amplifier(0).slot(5);
    EXPECT_TRUE(std::equal(c.state.reply.block(3).bytes.begin(), c.state.reply.block(3).bytes.end(), slot.begin() + 32));
}

}  // namespace
}  // namespace talvo::testing
