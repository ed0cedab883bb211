// Gathering the editor models into a record: right after applying a program it gives back the
// program's channel blocks byte for byte under the gather header, and the saved file carries
// the file's name.

#include <cmath>
#include <string>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "EditorRig.h"
#include "editors/CrossoverModel.h"
#include "tests/programs/TestRecords.h"
#include "tests/support/ParamNames.h"

namespace talvo::testing {
namespace {

void ApplyQuietly(EditorRig &rig, const Program &program)
{
    rig.state.link.sendEnabled.store(0);
    rig.state.programBuffer = EncodeProgram(program);
    rig.applier.ApplyProgram();
    rig.state.link.sendEnabled.store(1);
}

// Every field away from its default and inside what the editors can show.
Program InRangeProgram()
{
    Program p = VariedProgram();
    p.right.channelTail = {0x20, 0x20, 0x20};
    return p;
}

Program WithGatherHeader(Program p)
{
    p.name.fill('D');
    p.inUse = 1;
    p.programNumber = 255;
    p.headerTail = {0x20, 0x20, 0x20};
    return p;
}

TEST(GatherProgram, GivesBackTheAppliedRecordByteForByte)
{
    EditorRig rig(10);
    const Program applied = InRangeProgram();
    ApplyQuietly(rig, applied);

    const RecordImage gathered = rig.models.GatherProgram();
    EXPECT_EQ(gathered, EncodeProgram(WithGatherHeader(applied)));
    EXPECT_EQ(rig.state.gatherBuffer, gathered);
    EXPECT_TRUE(rig.finish().empty());
}

TEST(GatherProgram, TheDefaultProgramGathersAsItself)
{
    EditorRig rig(10);
    Program defaults = DecodeProgram(DefaultProgram());
    ApplyQuietly(rig, defaults);
    EXPECT_EQ(rig.models.GatherProgram(), EncodeProgram(WithGatherHeader(defaults)));
    rig.finish();
}

struct GainCase {
    double applied;
    double gathered;
};

class GatherGain : public ::testing::TestWithParam<GainCase> {};

TEST_P(GatherGain, MutedChannelsGatherAsMinus100)
{
    EditorRig rig(10);
    Program p = InRangeProgram();
    p.right.gain = GetParam().applied;
    ApplyQuietly(rig, p);
    EXPECT_DOUBLE_EQ(DecodeProgram(rig.models.GatherProgram()).right.gain, GetParam().gathered);
    rig.finish();
}

INSTANTIATE_TEST_SUITE_P(Gains, GatherGain,
                         ::testing::Values(GainCase{-60.0, -60.0}, GainCase{-60.1, -100.0}, GainCase{-100.0, -100.0},
                                           GainCase{6.0, 6.0}, GainCase{-0.1, -0.1}),
                         [](const auto &info) {
                             const double g = info.param.applied;
                             std::string name = g < 0 ? "Minus" : "Plus";
                             name += std::to_string(static_cast<int>(std::fabs(g) * 10)) + "Tenths";
                             return name;
                         });

TEST(GatherProgram, AFrequencyOutsideTheTableKeepsThePreviousOne)
{
    EditorRig rig(10);
    Program p = InRangeProgram();
    ApplyQuietly(rig, p);
    Program odd = p;
    odd.left.lowPass = {2, 12000.0};
    ApplyQuietly(rig, odd);

    const Program gathered = DecodeProgram(rig.models.GatherProgram());
    EXPECT_EQ(gathered.left.lowPass.slope, 2);
    EXPECT_DOUBLE_EQ(gathered.left.lowPass.freq, p.left.lowPass.freq);
    rig.finish();
}

TEST(GatherProgram, ASlopeAbove15GathersAs255)
{
    EditorRig rig(10);
    Program p = InRangeProgram();
    p.left.highPass.slope = 16;
    ApplyQuietly(rig, p);
    const RecordImage gathered = rig.models.GatherProgram();
    EXPECT_EQ(gathered[16 + 3 * 8 + 4], 255);  // left high-pass slope byte
    rig.finish();
}

struct SavedName {
    const char *fileName;
    const char *stored;
};

class SavedFile : public ::testing::TestWithParam<SavedName> {};

TEST_P(SavedFile, CarriesTheBaseNameAndTheGatheredChannels)
{
    EditorRig rig(10);
    const Program applied = InRangeProgram();
    ApplyQuietly(rig, applied);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QString::fromLatin1(GetParam().fileName));

    ASSERT_TRUE(rig.models.WriteProgramFile(path).ok());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), kRecordSize);

    Program expected = WithGatherHeader(applied);
    const std::string stored = GetParam().stored;
    std::copy(stored.begin(), stored.end(), expected.name.begin());
    const RecordImage image = EncodeProgram(expected);
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char *>(image.data()), kRecordSize));
    rig.finish();
}

INSTANTIATE_TEST_SUITE_P(Names, SavedFile,
                         ::testing::Values(SavedName{"Main Hall.VKP", "Main Hall "}, SavedName{"Bass.VKP", "Bass      "},
                                           SavedName{"Twelve_chars.VKP", "Twelve_cha"}, SavedName{"noext", "          "}),
                         [](const auto &info) { return testsupport::TestName(info.param.fileName); });

}  // namespace
}  // namespace talvo::testing
