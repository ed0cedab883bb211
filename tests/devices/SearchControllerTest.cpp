// The bus search against simulated amplifiers on a pseudo-terminal.

#include <algorithm>
#include <map>

#include <QTimer>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "RuntimeSupport.h"
#include "devices/BusSearch.h"

namespace talvo::testing {
namespace {

// The Search window's grid as the controller describes it, and what else it was told.
struct SearchRig {
    LinkState state;
    Link link{state};
    SearchController search{link};

    std::map<std::pair<int, int>, QString> grid;
    std::vector<int> selected;
    std::vector<bool> searchButton;
    std::vector<int> foundSignals;
    std::vector<std::pair<std::vector<int>, bool>> finished;
    int closeRequests = 0;
    Shown shown;

    SearchRig()
    {
        shown.watch(link);
        QObject::connect(&search, &SearchController::cellText,
                         [this](int row, int column, const QString &text) { grid[{row, column}] = text; });
        QObject::connect(&search, &SearchController::rowSelected, [this](int row) { selected.push_back(row); });
        QObject::connect(&search, &SearchController::searchEnabled, [this](bool on) { searchButton.push_back(on); });
        QObject::connect(&search, &SearchController::deviceFound, [this](int id) { foundSignals.push_back(id); });
        QObject::connect(&search, &SearchController::finished,
                         [this](const std::vector<int> &found, bool stopped) { finished.emplace_back(found, stopped); });
        QObject::connect(&search, &SearchController::closeRequested, [this] { ++closeRequests; });
    }

    // Opened as Tools > Search leaves it, with a connected amplifier's address in outFrame.
    void open(const QString &device)
    {
        link.SetDeviceOverride(device);
        EXPECT_TRUE(link.OpenPort()) << link.LastOpenFailure().toStdString();
        state.sendEnabled.store(1);
    }

    QString cell(int row, int column) const
    {
        const auto it = grid.find({row, column});
        return it == grid.end() ? QString() : it->second;
    }
};

TEST(SearchRanges, CaptionsRangesAndProgress)
{
    const std::pair<const char *, IdRange> expected[] = {
        {"1~64", {1, 64}}, {"65~128", {65, 128}}, {"129~192", {129, 192}}, {"193~255", {193, 255}}};
    for (int i = 0; i < kSearchRangeCount; ++i) {
        EXPECT_EQ(SearchRangeCaption(i), QLatin1String(expected[i].first));
        EXPECT_EQ(SearchRange(i).first, expected[i].second.first);
        EXPECT_EQ(SearchRange(i).last, expected[i].second.last);
    }
    // The ceiling of 1.4 k, exactly: 1.4 * 5 in floating point would round up to 8.
    const std::pair<int, int> progress[] = {{1, 2}, {5, 7}, {10, 14}, {15, 21}, {63, 89}, {64, 90}};
    for (const auto &[k, p] : progress)
        EXPECT_EQ(SearchProgress(k), p) << k;
    EXPECT_EQ(FoundText(7), QStringLiteral("7........OK"));
}

// The simulator ends while ID 5 is probed: the search ends there, says so, and keeps what it
// found.
TEST(SearchController, ALostPortEndsTheSearchAtOnce)
{
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig three;
    three.id = 3;
    SearchRig rig;
    int failedFrames = 0;
    QObject::connect(&rig.link, &Link::frameDone, [&](bool written) { failedFrames += written ? 0 : 1; });
    {
        SimLine line({three}, PatientBus());
        line.hangUpAfterReceiving(13 * 3 * 4 + 6);  // inside ID 5's first probe
        rig.open(line.devicePath());
        rig.search.WindowShown();
        rig.search.Search(0);
        rig.link.WaitForIdle(5000);
    }
    EXPECT_TRUE(rig.search.LostPort());
    EXPECT_EQ(rig.search.Found(), (std::vector<int>{3}));
    ASSERT_EQ(rig.finished.size(), 1u);
    EXPECT_EQ(rig.searchButton, (std::vector<bool>{false, true}));
    // Nothing after the probe that met the loss: no further IDs, no frames into a dead port.
    EXPECT_LE(failedFrames, 2);
    EXPECT_LE(rig.shown.progress.size(), 1u + 5u + 2u);
}

TEST(SearchController, FindsAmplifiers3And7InTheFirstRange)
{
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig three;
    three.id = 3;
    sim::AmplifierConfig seven;
    seven.id = 7;
    seven.subAddress = 500;
    SimLine line({three, seven}, PatientBus());
    SearchRig rig;
    rig.open(line.devicePath());
    rig.state.outFrame.address = 42;
    rig.state.outFrame.subAddressHigh = 1;
    rig.state.outFrame.subAddressLow = 44;

    rig.search.WindowShown();
    EXPECT_EQ(rig.cell(0, 0), QStringLiteral("Device Count"));
    EXPECT_EQ(rig.cell(0, 1), QStringLiteral("ID+Message"));
    rig.search.Search(0);
    EXPECT_TRUE(rig.link.WaitForIdle(5000));
    line.stop();

    EXPECT_EQ(rig.cell(1, 0), QStringLiteral("1"));
    EXPECT_EQ(rig.cell(1, 1), QStringLiteral("3........OK"));
    EXPECT_EQ(rig.cell(2, 0), QStringLiteral("2"));
    EXPECT_EQ(rig.cell(2, 1), QStringLiteral("7........OK"));
    EXPECT_EQ(rig.cell(3, 0), QString());
    EXPECT_EQ(rig.cell(3, 1), QStringLiteral("No device..."));
    EXPECT_EQ(rig.search.Found(), (std::vector<int>{3, 7}));
    EXPECT_EQ(rig.foundSignals, (std::vector<int>{3, 7}));
    ASSERT_EQ(rig.finished.size(), 1u);
    EXPECT_FALSE(rig.finished[0].second);
    EXPECT_EQ(rig.searchButton, (std::vector<bool>{false, true}));

    // Three probes per ID, in order, without a sub-address.
    const auto &frames = line.frames();
    ASSERT_EQ(frames.size(), 3u * 64u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const CommandFrame &f = frames[i].frame;
        EXPECT_EQ(f.address, static_cast<int>(i / 3 + 1));
        EXPECT_EQ(f.subAddressHigh, 0);
        EXPECT_EQ(f.subAddressLow, 0);
        EXPECT_EQ(f.command, 220);
        EXPECT_EQ(f.data[0], i % 3 == 2 ? 90 : 110);
    }

    // The progress bar climbs by the ceiling of 1.4 per ID to 90, then 100 and 0.
    ASSERT_EQ(rig.shown.progress.size(), 1u + 64u + 2u);
    EXPECT_EQ(rig.shown.progress.front(), 0);
    EXPECT_EQ(rig.shown.progress[64], 90);
    EXPECT_EQ(rig.shown.progress[65], 100);
    EXPECT_EQ(rig.shown.progress[66], 0);

    // The link as it was: the connected amplifier's address and sub-address, not active.
    EXPECT_EQ(rig.state.outFrame.address, 42);
    EXPECT_EQ(rig.state.outFrame.subAddressHigh, 1);
    EXPECT_EQ(rig.state.outFrame.subAddressLow, 44);
    EXPECT_EQ(rig.state.linkActive, 0);
}

// "OK" (or the window's close box) while a search runs: the search stops at once, sends nothing
// more, and the link fields are as they were.
TEST(SearchController, StopsWhenTheWindowIsLeftDuringASearch)
{
    for (const bool byOk : {true, false}) {
        SCOPED_TRACE(byOk ? "OK" : "closed");
        // ID 3 must be found in its own step, for the search to stop there.
        ScopedSpeed speed(kProcedureSpeed);
        sim::AmplifierConfig three;
        three.id = 3;
        SimLine line({three}, PatientBus());
        SearchRig rig;
        rig.open(line.devicePath());
        rig.state.outFrame.address = 9;
        rig.state.linkActive = kYes;  // an amplifier was connected as the window opened
        rig.search.WindowShown();
        QObject::connect(&rig.search, &SearchController::deviceFound, [&] {
            QTimer::singleShot(0, [&] {
                if (byOk) {
                    rig.search.Ok();
                }
                rig.search.WindowClosed();
            });
        });

        rig.search.Search(0);
        EXPECT_TRUE(rig.link.WaitForIdle(5000));
        line.stop();

        EXPECT_TRUE(rig.search.WasStopped());
        ASSERT_EQ(rig.finished.size(), 1u);
        EXPECT_TRUE(rig.finished[0].second);
        EXPECT_EQ(rig.search.Found(), (std::vector<int>{3}));
        // Found during ID 3's wait for the second probe; ID 4 is at most begun.
        for (const auto &f : line.frames())
            EXPECT_LE(f.frame.address, 4);
        EXPECT_LE(line.frames().size(), 3u * 3u + 1u);
        EXPECT_EQ(rig.closeRequests, byOk ? 1 : 0);
        EXPECT_EQ(rig.state.outFrame.address, 9);
        EXPECT_EQ(rig.state.linkActive, kYes);
        EXPECT_EQ(rig.shown.progress.back(), 0);
        EXPECT_EQ(rig.selected.back(), 1);
        EXPECT_EQ(rig.searchButton.back(), true);
    }
}

// Two amplifiers share ID 2, and one of them answers so late that its answers land in ID 3's
// step. An answer counts only above the last ID listed, so ID 2 is listed once.
TEST(SearchController, ALateAnswerForThePreviousIdIsNotListedAgain)
{
    sim::AmplifierConfig prompt;
    prompt.id = 2;
    sim::AmplifierConfig late = prompt;
    late.subAddress = 2;
    // Its answers to ID 2's three probes come 0.9, 1.1 and 1.2 s after ID 2's step began; ID 3's
    // step takes answers from its second probe (1.03 s, later when a busy machine lets the
    // search's waits run long) to 1.28 s.
    late.faults.replyDelayMs = 820;
    // Real time: the last answer falls 0.16 s from the window's start, 70 ms from its end. A
    // machine so busy that the sender's byte pauses run long can still move the window past
    // the answers; such a run shows nothing, and the search is run again.
    ScopedSpeed speed(1);
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        SimLine line({prompt, late}, PatientBus());
        SearchRig rig;
        rig.open(line.devicePath());
        rig.search.WindowShown();
        // Stopped as ID 4's step begins.
        QObject::connect(&rig.link, &Link::progressChanged, [&rig](int percent) {
            if (percent == SearchProgress(4))
                rig.search.WindowClosed();
        });

        rig.search.Search(0);
        EXPECT_TRUE(rig.link.WaitForIdle(5000));
        line.stop();

        // Did the late answers reach ID 3's step, after its second probe?
        const auto &frames = line.frames();
        const auto secondProbeTo3 = std::find_if(frames.begin(), frames.end(), [](const sim::FrameRecord &f) {
            return f.frame.address == 3 && f.frame.data[0] == 90;
        });
        ASSERT_NE(secondProbeTo3, frames.end());
        const auto &replies = line.bus().record().replies;
        const bool lateInStep3 = std::any_of(replies.begin(), replies.end(), [&](const sim::ReplyRecord &r) {
            return r.subAddress == 2 && r.startMs > secondProbeTo3->lastByteMs;
        });
        if (!lateInStep3 && run < 3)
            continue;
        ASSERT_TRUE(lateInStep3) << "the late answers never reached the next ID's step";

        EXPECT_EQ(rig.search.Found(), (std::vector<int>{2}));
        EXPECT_EQ(rig.cell(1, 1), QStringLiteral("2........OK"));
        EXPECT_EQ(rig.cell(2, 0), QString());
        break;
    }
}

// Each showing of the window starts without a search: "OK" and closing put the address saved by
// a search back only when that search ran in the same showing. Otherwise an amplifier connected
// since would lose its address to the search's saved one, and every later edit would go astray.
TEST(SearchController, OnlyASearchOfTheSameShowingPutsItsSavedAddressBack)
{
    ScopedSpeed speed(40);  // nothing needs to be found
    SimLine line(std::vector<sim::AmplifierConfig>{}, PatientBus());
    SearchRig rig;
    rig.open(line.devicePath());
    rig.state.outFrame.address = 3;
    rig.search.WindowShown();
    rig.search.Search(3);
    rig.search.Ok();
    rig.search.WindowClosed();
    EXPECT_EQ(rig.state.outFrame.address, 3);

    // Connected to ID 9 meanwhile; the window is looked at again and left by "OK", or closed.
    for (const bool byOk : {true, false}) {
        SCOPED_TRACE(byOk ? "OK" : "closed");
        rig.state.outFrame.address = 9;
        rig.search.WindowShown();
        if (byOk)
            rig.search.Ok();
        rig.search.WindowClosed();
        EXPECT_EQ(rig.state.outFrame.address, 9);
    }

    // A search in this showing saves the address it found there, and that one comes back.
    rig.search.WindowShown();
    rig.search.Search(3);
    rig.state.outFrame.address = 77;
    rig.search.Ok();
    EXPECT_EQ(rig.state.outFrame.address, 9);
    line.stop();
}

TEST(SearchController, OkWithoutASearchRestoresTheSubAddressAndLeavesTheAddress)
{
    SearchRig rig;
    rig.state.outFrame.address = 12;
    rig.state.outFrame.subAddressHigh = 2;
    rig.state.outFrame.subAddressLow = 7;
    rig.state.linkActive = kYes;
    rig.search.WindowShown();
    // Something changed them while the window was open.
    rig.state.outFrame.subAddressHigh = 0;
    rig.state.outFrame.subAddressLow = 0;
    rig.state.linkActive = 0;

    rig.search.Ok();
    EXPECT_EQ(rig.state.outFrame.address, 12);
    EXPECT_EQ(rig.state.outFrame.subAddressHigh, 2);
    EXPECT_EQ(rig.state.outFrame.subAddressLow, 7);
    EXPECT_EQ(rig.state.linkActive, kYes);
    EXPECT_EQ(rig.state.sendEnabled.load(), 1);
    EXPECT_EQ(rig.closeRequests, 1);
    EXPECT_TRUE(rig.finished.empty());
}

}  // namespace
}  // namespace talvo::testing
