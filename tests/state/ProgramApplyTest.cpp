// Applying a program record to the application state: the default program, the muted rule of
// the input gains, odd modes, program files, and sending held off while applying.

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "state/AppState.h"
#include "state/ProgramApply.h"

namespace talvo {
namespace {

struct ApplyRig {
    AppState state;
    ProgramApplier applier{state};
    std::vector<std::tuple<int, int, bool>> gains;
    std::vector<Mode> modes;
    int applied = 0;

    ApplyRig()
    {
        QObject::connect(&applier, &ProgramApplier::inputGainChanged,
                         [this](int ch, int pos, bool muted) { gains.emplace_back(ch, pos, muted); });
        QObject::connect(&applier, &ProgramApplier::modeApplied, [this](Mode m) { modes.push_back(m); });
        QObject::connect(&applier, &ProgramApplier::programApplied, [this](const Program &) { ++applied; });
    }
};

RecordImage WithGains(double left, double right, std::uint8_t mode = 0)
{
    Program p = DecodeProgram(DefaultProgram());
    p.left.gain = left;
    p.right.gain = right;
    p.mode = mode;
    return EncodeProgram(p);
}

TEST(ProgramApply, DefaultProgramMutesBothChannelsInStereoWithTheDefaultBands)
{
    ApplyRig rig;
    rig.state.mode = Mode::Mono;
    rig.state.inputGains = {InputGainState{-120, 0}, InputGainState{30, 0}};
    rig.state.peq.leftBands[1] = PeqBand{500.0, 4.0, 2.0};
    rig.state.peq.flatRight[2] = true;
    rig.state.programBuffer = NewSlotRecord();

    rig.applier.LoadDefaultProgram();
    EXPECT_EQ(rig.state.programBuffer, DefaultProgram());
    EXPECT_EQ(rig.state.mode, Mode::Stereo);
    EXPECT_EQ(rig.state.peq.leftBands, kDefaultBands);
    EXPECT_EQ(rig.state.peq.rightBands, kDefaultBands);
    EXPECT_EQ(rig.state.peq.flatRight, (std::array<bool, kBandCount>{}));
    for (const InputGainState &g : rig.state.inputGains)
        EXPECT_EQ(g, (InputGainState{-600, kYes}));
    EXPECT_EQ(rig.gains, (std::vector<std::tuple<int, int, bool>>{{0, -600, true}, {1, -600, true}}));
    EXPECT_EQ(rig.modes, (std::vector<Mode>{Mode::Stereo}));
    EXPECT_EQ(rig.applied, 1);
}

TEST(ProgramApply, GainsFollowTheMutedRuleAndTheSlidersRange)
{
    struct Case {
        double gain;
        InputGainState shown;
    };
    const Case cases[] = {
        {-60.1, {-600, kYes}}, {-60.0, {-600, 0}}, {-100.0, {-600, kYes}}, {-12.5, {-125, 0}},
        {0.0, {0, 0}},         {6.0, {60, 0}},     {-0.07, {-1, 0}},       {12.0, {60, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gain);
        ApplyRig rig;
        rig.state.programBuffer = WithGains(c.gain, -60.1);
        rig.applier.ApplyProgram();
        EXPECT_EQ(rig.state.inputGains[0], c.shown);
        EXPECT_EQ(rig.state.inputGains[1], (InputGainState{-600, kYes}));
        // Applying from memory leaves programBuffer as it was.
        EXPECT_EQ(rig.state.programBuffer, WithGains(c.gain, -60.1));
    }
    EXPECT_DOUBLE_EQ(GainFromBytes(60, 10, 0x55), -60.1);
    EXPECT_LE(GainFromBytes(60, 10, 0x55), kMuteThreshold);
    EXPECT_DOUBLE_EQ(GainFromBytes(12, 50, 0xAA), 12.5);
}

TEST(ProgramApply, ModesAboveMonoApplyAsStereoAndTheModeStepsRunWithoutSending)
{
    for (const auto &[raw, mode] : {std::pair<int, Mode>{0, Mode::Stereo}, {1, Mode::Bridge}, {2, Mode::Mono}, {7, Mode::Stereo}}) {
        SCOPED_TRACE(raw);
        ApplyRig rig;
        rig.state.link.sendEnabled.store(1);
        std::vector<std::pair<Mode, int>> steps;
        int closed = 0;
        int opened = 0;
        rig.applier.SetModeSteps([&](Mode m) { steps.emplace_back(m, rig.state.link.sendEnabled.load()); });
        rig.applier.SetPortControl([&] { ++closed; }, [&] { ++opened; return true; });

        rig.state.programBuffer = WithGains(0, 0, static_cast<std::uint8_t>(raw));
        rig.applier.ApplyProgram();
        EXPECT_EQ(rig.state.mode, mode);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].first, mode);

        // The default program holds sending off (closing the port) for its whole application.
        steps.clear();
        rig.applier.LoadDefaultProgram();
        EXPECT_EQ(steps, (std::vector<std::pair<Mode, int>>{{Mode::Stereo, 0}}));
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(rig.state.link.sendEnabled.load(), 1);
    }
}

TEST(ProgramApply, ProgramFilesOfTheWrongLengthApplyTheDefaultProgram)
{
    QTemporaryDir dir;
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const RecordImage record = WithGains(-3.0, 1.5, 2);
    const QString good = write(QStringLiteral("good.VKP"), QByteArray(reinterpret_cast<const char *>(record.data()), kRecordSize));
    const QString shortFile = write(QStringLiteral("short.VKP"), QByteArray(100, '\0'));

    ApplyRig rig;
    EXPECT_TRUE(rig.applier.ApplyProgramFile(good).ok());
    EXPECT_EQ(rig.state.programBuffer, record);
    EXPECT_EQ(rig.state.mode, Mode::Mono);
    EXPECT_EQ(rig.state.inputGains[0], (InputGainState{-30, 0}));
    EXPECT_EQ(rig.state.inputGains[1], (InputGainState{15, 0}));

    EXPECT_EQ(rig.applier.ApplyProgramFile(shortFile).status, FileResult::Status::WrongLength);
    EXPECT_EQ(rig.state.programBuffer, DefaultProgram());
    EXPECT_EQ(rig.state.mode, Mode::Stereo);

    rig.state.programBuffer = record;
    const int appliedBefore = rig.applied;
    EXPECT_EQ(rig.applier.ApplyProgramFile(dir.filePath(QStringLiteral("missing.VKP"))).status,
              FileResult::Status::CannotRead);
    EXPECT_EQ(rig.state.programBuffer, record);
    EXPECT_EQ(rig.applied, appliedBefore);
}

}  // namespace
}  // namespace talvo
