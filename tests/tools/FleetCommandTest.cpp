// talvoctl connect, set and inventory over ID lists on two buses at once (a pseudo-terminal and
// a serial server on the network), in this process on the fast clock; and the refusals of the
// fleet form, which send nothing.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "Commands.h"
#include "link/Clock.h"
#include "tests/devices/DeviceTestSupport.h"
#include "tests/memory/MemorySupport.h"
#include "tests/support/ToolRun.h"

namespace talvo::testing {
namespace {

using testsupport::RunCommand;
using testsupport::SimLine;
using testsupport::SimTransport;
using testsupport::ToolRun;

sim::AmplifierConfig Amp(int id, int sub = 1)
{
    sim::AmplifierConfig config;
    config.id = static_cast<std::uint8_t>(id);
    config.subAddress = static_cast<std::uint16_t>(sub);
    return config;
}

// The frames of one command sent to one ID, with their data.
std::vector<std::vector<int>> FramesTo(const std::vector<sim::FrameRecord> &frames, int id, int command)
{
    std::vector<std::vector<int>> out;
    for (const auto &f : frames) {
        if (f.frame.address != id || f.frame.command != command)
            continue;
        out.emplace_back(f.frame.data.begin(), f.frame.data.begin() + f.frame.length);
    }
    return out;
}

TEST(FleetTool, SetChangesEveryAmplifierOfTheListOnBothBuses)
{
    ScopedSpeed speed(kProcedureSpeed);
    SimLine local({Amp(1), Amp(2)}, PatientBus());
    SimLine network({Amp(3), Amp(4)}, PatientBus(), SimTransport::Tcp);

    const ToolRun run = RunCommand(cli::RunSetCommand,
                                   {QStringLiteral("--port"), local.devicePath(), QStringLiteral("--port"),
                                    network.devicePath() + QStringLiteral("=3,5"), QStringLiteral("--id"),
                                    QStringLiteral("1-2"), QStringLiteral("left.gain=-12.5"), QStringLiteral("right.phase=180")});
    local.stop();
    network.stop();

    // ID 5 is on neither bus: the others are set, it is named.
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    for (const auto &[line, id] : {std::pair{&local, 1}, std::pair{&local, 2}, std::pair{&network, 3}}) {
        EXPECT_EQ(FramesTo(line->frames(), id, 2), (std::vector<std::vector<int>>{{12, 50, 85}})) << id;
        EXPECT_EQ(FramesTo(line->frames(), id, 191), (std::vector<std::vector<int>>{{180}})) << id;
    }
    EXPECT_TRUE(FramesTo(network.frames(), 4, 2).empty());  // not in the list
    EXPECT_TRUE(run.out.contains(QStringLiteral("set left.gain -12.5dB, right.phase 180"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("4 amplifiers: 3 done, 1 no answer\n"))) << run.out.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("talvoctl set: not done: ID 5 on %1 (no answer)\n").arg(network.devicePath())))
        << run.err.toStdString();
}

TEST(FleetTool, ConnectListsEachAmplifierAsJson)
{
    ScopedSpeed speed(kProcedureSpeed);
    sim::AmplifierConfig newer = Amp(1);
    newer.firmwareMajor = 3;
    newer.firmwareMinor = 12;
    newer.bridgeAvailable = false;
    SimLine local({newer, Amp(2, 7)}, PatientBus());

    const ToolRun run = RunCommand(cli::RunConnectCommand, {QStringLiteral("--port"), local.devicePath(), QStringLiteral("--id"),
                                                            QStringLiteral("1,2.7"), QStringLiteral("--json")});
    local.stop();

    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("amplifiers")).toArray();
    ASSERT_EQ(rows.size(), 2) << run.out.toStdString();
    EXPECT_EQ(rows[0].toObject().value(QStringLiteral("firmware")).toString(), QStringLiteral("3.12"));
    EXPECT_FALSE(rows[0].toObject().value(QStringLiteral("bridge")).toBool());
    EXPECT_EQ(rows[1].toObject().value(QStringLiteral("sub")).toInt(), 7);
    EXPECT_EQ(rows[1].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("done"));
    // The sub-address went out in the second amplifier's frames.
    const auto &frames = local.frames();
    EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const sim::FrameRecord &f) {
        return f.frame.address == 2 && f.frame.subAddressHigh == 0 && f.frame.subAddressLow == 7;
    }));
    EXPECT_FALSE(local.bus().amplifier(0).connected());
    EXPECT_FALSE(local.bus().amplifier(1).connected());
}

TEST(FleetTool, InventorySearchesEveryBusAndReadsWhatItFinds)
{
    ScopedSpeed speed(kProcedureSpeed);
    Program mono = DecodeProgram(NamedProgram("Stage Left", 2));
    mono.mode = static_cast<std::uint8_t>(Mode::Mono);
    sim::AmplifierConfig three = AmplifierWith({{2, EncodeProgram(mono)}}, 2);
    three.id = 3;
    sim::AmplifierConfig forty = AmplifierWith({{5, NamedProgram("Foyer", 5)}}, 5);
    forty.id = 40;
    forty.firmwareMinor = 7;
    SimLine local({three}, PatientBus());
    SimLine network({forty}, PatientBus(), SimTransport::Tcp);
    SimLine listed({forty}, PatientBus(), SimTransport::Tcp);

    const ToolRun text = RunCommand(cli::RunInventoryCommand,
                                    {QStringLiteral("--port"), local.devicePath(), QStringLiteral("--port"), network.devicePath()});
    const ToolRun json = RunCommand(cli::RunInventoryCommand, {QStringLiteral("--port"), listed.devicePath() + QStringLiteral("=40"),
                                                               QStringLiteral("--json")});
    local.stop();
    network.stop();
    listed.stop();

    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << text.out.toStdString();  // heading, two amplifiers, counts
    const QStringList heading = lines[0].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    EXPECT_EQ(heading, (QStringList{"bus", "ID", "sub", "firmware", "mode", "program", "time"}));
    const QStringList first = lines[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_GE(first.size(), 7) << lines[1].toStdString();
    EXPECT_EQ(first.mid(0, 7), (QStringList{local.devicePath(), "3", "-", "2.5", "mono", "2", "Stage"}));
    EXPECT_TRUE(lines[1].contains(QLatin1String("2 Stage Left"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(network.devicePath())) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QLatin1String("2.7"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QLatin1String("5 Foyer"))) << lines[2].toStdString();

    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).object().value(QStringLiteral("amplifiers")).toArray();
    ASSERT_EQ(rows.size(), 1);
    const QJsonObject row = rows[0].toObject();
    EXPECT_EQ(row.value(QStringLiteral("id")).toInt(), 40);
    EXPECT_EQ(row.value(QStringLiteral("firmware")).toString(), QStringLiteral("2.7"));
    EXPECT_EQ(row.value(QStringLiteral("mode")).toString(), QStringLiteral("stereo"));
    EXPECT_EQ(row.value(QStringLiteral("program")).toInt(), 5);
    EXPECT_EQ(row.value(QStringLiteral("name")).toString(), QStringLiteral("Foyer"));
    EXPECT_FALSE(row.value(QStringLiteral("time")).toString().isEmpty());
    // Given its list, the port was not searched.
    ASSERT_FALSE(listed.frames().empty());
    for (const auto &f : listed.frames())
        EXPECT_FALSE(f.frame.command == 220 && (f.frame.data[0] == 110 || f.frame.data[0] == 90));
}

// Refusals of the fleet form: one line naming what is wrong, exit 2, nothing on the line.
struct FleetRefusal {
    const char *name;
    cli::CommandFunction command;
    QStringList args;  // %P is the simulated line's device
    const char *command_name;
    const char *named;
};

class FleetToolRefusal : public ::testing::TestWithParam<FleetRefusal> {};

TEST_P(FleetToolRefusal, SendsNothing)
{
    SimLine line({Amp(1), Amp(2)}, PatientBus());
    QStringList args;
    for (const QString &a : GetParam().args)
        args << QString(a).replace(QStringLiteral("%P"), line.devicePath());
    const ToolRun run = RunCommand(GetParam().command, args);
    line.stop();
    testsupport::ExpectRefusal(run, GetParam().command_name, GetParam().named);
    EXPECT_TRUE(line.frames().empty());
}

INSTANTIATE_TEST_SUITE_P(
    FleetTool, FleetToolRefusal,
    ::testing::Values(
        FleetRefusal{"FallingRange", cli::RunConnectCommand, {"--port", "%P", "--id", "3-1"}, "connect", "falls"},
        FleetRefusal{"SubBesideAList", cli::RunConnectCommand, {"--port", "%P", "--id", "1,2", "--sub", "3"}, "connect",
                     "--sub goes with a single --id"},
        FleetRefusal{"SamePortTwice", cli::RunConnectCommand, {"--port", "%P=1", "--port", "%P=2"}, "connect",
                     "given more than once"},
        FleetRefusal{"SaveOfMany", cli::RunConnectCommand, {"--port", "%P", "--id", "1,2", "--save", "x.VKP"}, "connect",
                     "--save goes with one amplifier"},
        FleetRefusal{"PortWithoutIds", cli::RunSetCommand, {"--port", "%P=1", "--port", "COM3", "left.gain=-3"}, "set",
                     "missing --id LIST for --port COM3"},
        FleetRefusal{"BadPair", cli::RunSetCommand, {"--port", "%P", "--id", "1,2", "left.gain=9"}, "set", "left.gain=9"},
        FleetRefusal{"BadComNumber", cli::RunSetCommand, {"--port", "%P", "--port", "COM300", "--id", "1,2", "left.gain=0"},
                     "set", "COM1..COM255"},
        FleetRefusal{"WriteOfMany", cli::RunMemoryCommand, {"write", "3", "x.VKP", "--port", "%P", "--id", "1,2"}, "memory",
                     "write goes to one amplifier"},
        FleetRefusal{"BackupIntoAFile", cli::RunMemoryCommand, {"backup", "--port", "%P", "--id", "1,2", "/nonexistent/x.DMP"},
                     "memory", "needs a folder"},
        FleetRefusal{"FileNamesClash", cli::RunMemoryCommand, {"backup", "--port", "/dev/pts/4=1", "--port", "pts/4=2", "/tmp/"},
                     "memory", "would both write files named pts-4-ID"},
        FleetRefusal{"InventoryRange", cli::RunInventoryCommand, {"--port", "%P", "--range", "2-9"}, "inventory", "--range '2-9'"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvo::testing
