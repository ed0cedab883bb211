// File > Import EQ...'s work against a simulated amplifier: the bands land where the PEQ editor
// keeps them and, while connected, go out as the editor's own band and flat frames; offline,
// or for a refused file, nothing goes out.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "peq/EqImport.h"
#include "peq/PeqEditorModel.h"
#include "tests/editors/EditorRig.h"
#include "tests/programs/TestRecords.h"

namespace talvo::testing {
namespace {

constexpr int kPlus = 0xAA;
constexpr int kMinus = 0x55;

struct ImportRig : EditorRig {
    ImportRig() : EditorRig(2) {}
    PeqEditorModel peq{state, link};
    QTemporaryDir dir;

    QString file(const char *text)
    {
        const QString path = dir.filePath(QStringLiteral("filters.txt"));
        EXPECT_TRUE(WriteRaw(path, text));
        return path;
    }
    std::vector<Sent> peqFrames()
    {
        std::vector<Sent> out;
        for (const Sent &s : finish())
            if ((s.command >= 5 && s.command <= 15) || (s.command >= 101 && s.command <= 111))
                out.push_back(s);
        return out;
    }
};

// Two peaking filters (band 3 is left FLAT) and a shelf.
const char kTwoPeaking[] =
    "Filter  1: ON  PK       Fc   42.5 Hz  Gain  -8.5 dB  Q  5.20\n"
    "Filter  2: ON  PK       Fc   1000 Hz  Gain   2.5 dB  Q  1.41\n"
    "Filter  3: ON  LS       Fc    105 Hz  Gain   4.0 dB\n";

TEST(EqImport, ConnectedTheBandsGoOutAsTheEditorSendsThem)
{
    ImportRig rig;
    rig.state.link.unsavedChanges = 0;
    const EqImportOutcome outcome = ImportMeasuredEq(rig.file(kTwoPeaking), EqChannels::Both, rig.state, rig.peq);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_TRUE(outcome.sent);
    ASSERT_EQ(outcome.channels.size(), 2u);

    const PeqBands expected{{{42.5, -8.5, 5.2}, {1000.0, 2.5, 1.4}, {1560.0, 0.0, 3.0}}};
    EXPECT_EQ(rig.state.peq.leftBands, expected);
    EXPECT_EQ(rig.state.peq.rightBands, expected);
    EXPECT_EQ(rig.state.peq.flatLeft, (PeqFlats{false, false, true}));
    EXPECT_EQ(rig.state.peq.flatRight, (PeqFlats{false, false, true}));
    EXPECT_EQ(rig.state.link.unsavedChanges, kYes);

    // 42.5 Hz = 0, 42, 50; -8.5 dB = 8, 50, 0x55; Q 5.2 = 5, 20. The FLAT band 3 as the flat
    // frame: its frequency and Q, the gain bytes 0. Then the same on the right, + 96.
    const std::vector<Sent> left{{5, {0, 42, 50, 8, 50, kMinus, 5, 20}},
                                 {10, {3, 232, 0, 2, 50, kPlus, 1, 40}},
                                 {15, {6, 24, 0, 0, 0, 0, 3, 0}}};
    std::vector<Sent> both = left;
    for (Sent s : left) {
        s.command += 96;
        both.push_back(s);
    }
    EXPECT_EQ(rig.peqFrames(), both);
}

TEST(EqImport, TheEditorOpenedAfterwardsShowsAndKeepsTheImportedBands)
{
    ImportRig rig;
    ASSERT_TRUE(ImportMeasuredEq(rig.file(kTwoPeaking), EqChannels::Right, rig.state, rig.peq).ok());
    rig.peq.Open(kRightChannel);
    rig.peq.Shown();
    rig.peq.repaintTimer().stop();
    rig.peq.tickTimer().stop();
    EXPECT_EQ(rig.peq.bands()[1], (PeqBand{1000.0, 2.5, 1.4}));
    EXPECT_TRUE(rig.peq.flatBox(3));
    EXPECT_FALSE(rig.peq.rowEnabled(3));
    rig.peq.Closed();
    EXPECT_EQ(rig.state.peq.rightBands[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(rig.state.peq.leftBands, kDefaultBands);
}

// Should the editor be showing the channel, its close must not put the old bands back.
TEST(EqImport, AnEditorShowingTheChannelClosesOnTheImportedBands)
{
    ImportRig rig;
    rig.peq.Open(kLeftChannel);
    rig.peq.Shown();
    rig.peq.repaintTimer().stop();
    rig.peq.tickTimer().stop();
    ASSERT_TRUE(ImportMeasuredEq(rig.file(kTwoPeaking), EqChannels::Left, rig.state, rig.peq).ok());
    EXPECT_EQ(rig.peq.bands()[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(rig.peq.rowFrequencyText(1), QStringLiteral("42.5Hz"));
    rig.peq.Closed();
    EXPECT_EQ(rig.state.peq.leftBands[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(rig.state.peq.flatLeft, (PeqFlats{false, false, true}));
}

TEST(EqImport, OfflineTheBandsChangeAndNothingIsSent)
{
    ImportRig rig;
    rig.state.link.sendEnabled.store(0);
    const EqImportOutcome outcome = ImportMeasuredEq(rig.file(kTwoPeaking), EqChannels::Left, rig.state, rig.peq);
    ASSERT_TRUE(outcome.ok());
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(rig.state.peq.leftBands[0], (PeqBand{42.5, -8.5, 5.2}));
    EXPECT_EQ(rig.peqFrames(), std::vector<Sent>{});
}

TEST(EqImport, ARefusedFileChangesAndSendsNothing)
{
    ImportRig rig;
    const EqImportOutcome outcome = ImportMeasuredEq(
        rig.file("Filter 1: ON PK Fc 63 Hz Gain -5 dB Q 4\nFilter 2: ON PK Fc 80 Hz Gain -3 dB Q 500\n"), EqChannels::Both,
        rig.state, rig.peq);
    EXPECT_FALSE(outcome.ok());
    EXPECT_TRUE(outcome.error.contains(QStringLiteral("line 2: Q 500 is outside what a band can take"))) << outcome.error.toStdString();
    EXPECT_EQ(rig.state.peq.leftBands, kDefaultBands);
    EXPECT_EQ(rig.state.peq.rightBands, kDefaultBands);
    EXPECT_EQ(rig.peqFrames(), std::vector<Sent>{});
}

}  // namespace
}  // namespace talvo::testing
