// The memory controller against a simulated amplifier on a pseudo-terminal: the transfer
// operations, the memory window's sequences, and what happens when the amplifier fails.

#include <optional>
#include <random>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "MemorySupport.h"
#include "link/Clock.h"
#include "tests/programs/TestRecords.h"

namespace talvo::testing {
namespace {

QByteArray Data(const sim::FrameRecord &f)
{
    return QByteArray(reinterpret_cast<const char *>(f.frame.data.data()), f.frame.length);
}

TEST(MemoryController, RefreshShowsSlot3AloneWithItsStoredName)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{3, NamedProgram("Hall", 3)}})}, PatientBus());
    MemoryRig rig(line.devicePath());
    // A row shown earlier must not keep its mark.
    rig.memory.SelectRow(1);

    const MemoryOutcome outcome = rig.memory.Refresh();
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    for (int i = 1; i <= 20; ++i) {
        const SlotRow &row = rig.memory.row(i);
        if (i == 3) {
            EXPECT_EQ(row.program, QStringLiteral("3[√]"));
            EXPECT_EQ(row.name, QStringLiteral("Hall      "));
        } else {
            EXPECT_EQ(row.program, QString::number(i));
            EXPECT_TRUE(row.name.isEmpty()) << i;
        }
    }
    // One block-1 request per slot, in order.
    const auto requests = FramesWith(line.frames(), 231);
    ASSERT_EQ(requests.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(requests[i].frame.data[0], i + 1);
    EXPECT_EQ(rig.progress.back(), 0);
    EXPECT_TRUE(rig.told.empty());
}

// A row read from another amplifier than the rows beside it clears them first: the grid never
// mixes two amplifiers' slots.
TEST(MemoryController, ARowFromAnotherAmplifierClearsTheRowsOfTheOneBefore)
{
    ScopedSpeed speed(MemorySpeed());
    sim::AmplifierConfig second = AmplifierWith({{5, NamedProgram("Stage", 5)}});
    second.id = 2;
    SimLine line({AmplifierWith({{3, NamedProgram("Hall", 3)}}), second}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.memory.RefreshSlot(3);
    ASSERT_EQ(rig.memory.row(3).program, QStringLiteral("3[√]"));
    int forgotten = 0;
    QObject::connect(&rig.memory, &MemoryController::amplifierForgotten, [&forgotten] { ++forgotten; });

    rig.state.link.outFrame.address = 2;
    rig.memory.RefreshSlot(5);
    rig.drain();
    line.stop();

    EXPECT_EQ(forgotten, 1);
    EXPECT_EQ(rig.memory.row(3).program, QStringLiteral("3"));
    EXPECT_TRUE(rig.memory.row(3).name.isEmpty());
    EXPECT_FALSE(rig.memory.slotState(3).inUse);
    EXPECT_EQ(rig.memory.row(5).program, QStringLiteral("5[√]"));
}

TEST(MemoryController, RefreshStopsAfterTheSlotItIsAtWhenTheWindowCloses)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    QObject::connect(&rig.memory, &MemoryController::rowSelected, [&rig](int slot) {
        if (slot == 4)
            rig.memory.Close();  // "OK" pressed while slot 4 is read
    });

    rig.memory.Refresh();
    rig.drain();
    line.stop();

    const auto requests = FramesWith(line.frames(), 231);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests.back().frame.data[0], 4);
    EXPECT_EQ(rig.memory.refreshIndex(), kRefreshStopped + 1);
}

// One sequence at a time: a sequence started while another runs (the window's buttons are
// disabled then, but the event loop runs inside every wait) is refused and sends nothing, and
// the running one goes on to its end with its buttons still off.
TEST(MemoryController, ASequenceStartedWhileAnotherRunsIsRefusedAndSendsNothing)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{6, NamedProgram("Six", 6)}})}, PatientBus());
    MemoryRig rig(line.devicePath());
    std::vector<bool> buttons;
    QObject::connect(&rig.memory, &MemoryController::transferButtonsEnabled, [&buttons](bool on) { buttons.push_back(on); });
    std::optional<MemoryOutcome> second;
    bool started = false;
    bool busyAfterIt = false;
    QObject::connect(&rig.memory, &MemoryController::rowSelected, [&](int slot) {
        if (slot == 3 && !started) {
            started = true;
            second = rig.memory.DeleteAll();
            busyAfterIt = rig.memory.IsBusy();
        }
    });

    const MemoryOutcome outcome = rig.memory.Refresh();
    rig.drain();
    line.stop();

    ASSERT_TRUE(second.has_value());
    EXPECT_FALSE(second->ok);
    EXPECT_FALSE(second->message.isEmpty());
    EXPECT_TRUE(busyAfterIt);
    EXPECT_TRUE(rig.asked.empty());
    EXPECT_TRUE(FramesWith(line.frames(), 200).empty());
    EXPECT_TRUE(RecordInUse(line.bus().amplifier(0).slot(6)));
    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    EXPECT_EQ(FramesWith(line.frames(), 231).size(), 20u);
    EXPECT_EQ(rig.memory.row(6).program, QStringLiteral("6[√]"));
    EXPECT_EQ(buttons, (std::vector<bool>{false, true}));
    EXPECT_FALSE(rig.memory.IsBusy());
}

TEST(MemoryController, FileDownOfAMemoryFileWritesUsedRecordsAndDeletesBlankOnes)
{
    ScopedSpeed speed(MemorySpeed());
    // The amplifier holds programs in slots 2 and 5; the file has slot 2 and 6, slot 5 blank.
    SimLine line({AmplifierWith({{2, NamedProgram("Old2", 2)}, {5, NamedProgram("Old5", 5)}})}, PatientBus());
    MemoryRig rig(line.devicePath());
    MemoryImage image = BlankMemoryImage();
    image[1] = NamedProgram("New2", 255, -7.0);
    image[5] = NamedProgram("New6", 255, -8.0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.DMP"));
    ASSERT_TRUE(WriteMemoryFile(path, image).ok());
    rig.memory.SelectRow(5);

    const MemoryOutcome outcome = rig.memory.FileDown(path);
    rig.drain();
    line.stop();
    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    // The refresh after the transfer is of the row current at its end: the last one written.
    EXPECT_EQ(rig.memory.currentRow(), 20);
    EXPECT_EQ(FramesWith(line.frames(), 231).back().frame.data[0], 20);
    EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Restored 20 slots from ") + path});

    const sim::Amplifier &amp = line.bus().amplifier(0);
    for (int slot : {2, 6}) {
        RecordImage expected = image[slot - 1];
        expected[12] = static_cast<std::uint8_t>(slot);  // the header's slot number and tail
        expected[13] = expected[14] = expected[15] = 1;
        EXPECT_EQ(Bytes(amp.slot(slot)).toHex(), Bytes(expected).toHex()) << slot;
    }
    EXPECT_FALSE(RecordInUse(amp.slot(5)));
    // Headers carry their own slot numbers; slot 5 (blank in the file) is deleted twice.
    const auto headers = FramesWith(line.frames(), 221);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[0].frame.data[12], 2);
    EXPECT_EQ(headers[1].frame.data[12], 6);
    int deletes5 = 0;
    for (const auto &f : FramesWith(line.frames(), 200))
        deletes5 += f.frame.data[0] == 5 ? 1 : 0;
    EXPECT_EQ(deletes5, 2);
    EXPECT_EQ(rig.memory.row(2).program, QStringLiteral("2[√]"));
    EXPECT_EQ(rig.memory.row(2).name, QStringLiteral("New2      "));
    EXPECT_EQ(rig.memory.row(5).program, QStringLiteral("5"));
}

// The blocks a program write sends: 12000 Hz goes out as 12100 Hz, and with "Mute" the gains
// of blocks 4 and 7 as -62.00 dB; every other byte is the record's, which stays unchanged.
struct WriteCase {
    const char *name;
    bool mute;
};

class ProgramWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProgramWrite, SendsTheRecordsBlocksWithSubstitutions)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    Program p = DecodeProgram(NamedProgram("Band", 255));
    p.left.peq[1].freq = 12000.0;   // block 2, band 2
    p.right.peq[2].freq = 12000.0;  // block 6, band 3
    const RecordImage record = EncodeProgram(p);
    rig.state.gatherBuffer = record;
    rig.memory.nameDialog().name = QStringLiteral("Band");
    rig.memory.nameDialog().muteOption = GetParam().mute ? 1 : 0;

    const MemoryOutcome outcome = rig.memory.WriteProgramRecord(record, 6);
    rig.drain();
    line.stop();
    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();

    const auto &frames = line.frames();
    for (int k = 2; k <= 7; ++k) {
        const auto blocks = FramesWith(frames, 220 + k);
        ASSERT_EQ(blocks.size(), 1u) << k;
        RecordBlockBytes expected = RecordBlock(record, k);
        if (k == 2) {
            expected[8] = 0x2F;
            expected[9] = 0x44;
        }
        if (k == 6) {
            expected[0] = 0x2F;
            expected[1] = 0x44;
        }
        if (GetParam().mute && (k == 4 || k == 7)) {
            expected[0] = 62;
            expected[1] = 0;
            expected[2] = 0x55;
        }
        EXPECT_EQ(Data(blocks[0]).toHex(' '),
                  QByteArray(reinterpret_cast<const char *>(expected.data()), 16).toHex(' '))
            << "block " << k;
    }
    // The record kept in the memory image still says 12000 Hz and its own gains.
    const RecordImage &kept = rig.memory.memoryImage()[0];
    EXPECT_TRUE(std::equal(kept.begin() + 16, kept.end(), record.begin() + 16));
    EXPECT_EQ(rig.memory.row(6).program, QStringLiteral("6[√]"));
}

INSTANTIATE_TEST_SUITE_P(MemoryController, ProgramWrite,
                         ::testing::Values(WriteCase{"OwnVolume", false}, WriteCase{"Muted", true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(MemoryController, UploadOfTheRunningSlotRecallsWithoutAQuestion)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage program = NamedProgram("Live", 2, -12.0);
    SimLine line({AmplifierWith({{2, program}}, 2)}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.state.currentProgram = 2;
    rig.answerYes = false;  // a question would refuse

    const MemoryOutcome outcome = rig.memory.Upload(2);
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    EXPECT_TRUE(rig.asked.empty());
    EXPECT_EQ(rig.state.programBuffer, program);
    // Both gain editors muted at -60.0 dB after applying.
    for (const InputGainState &g : rig.state.inputGains) {
        EXPECT_EQ(g.muted, kYes);
        EXPECT_EQ(g.position, -600);
    }
    EXPECT_EQ(rig.state.currentProgram, 2);
    EXPECT_EQ(rig.closeRequests, 1);
    // Select, reload, connect twice, status.
    std::vector<QByteArray> link;
    for (const auto &f : FramesWith(line.frames(), 220))
        link.push_back(Data(f).toHex());
    EXPECT_EQ(link, (std::vector<QByteArray>{"8c02", "58", "64", "64"}));
    EXPECT_EQ(FramesWith(line.frames(), 238).front().frame.data[0], 100);
}

TEST(MemoryController, UploadOfAnotherSlotAsksAndNoRecallsNothing)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{2, NamedProgram("Live", 2)}, {4, NamedProgram("Other", 4)}}, 2)}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.state.currentProgram = 2;
    rig.answerYes = false;

    const MemoryOutcome outcome = rig.memory.Upload(4);
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(rig.asked, (std::vector<QString>{QStringLiteral("Upload | Do you Refresh Amplifier and interface?")}));
    EXPECT_TRUE(FramesWith(line.frames(), 220).empty());
    EXPECT_EQ(rig.closeRequests, 0);
}

TEST(MemoryController, SavedSlot7CarriesItsSlotNumberAndStoredName)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage program = NamedProgram("Stage 7", 7);
    SimLine line({AmplifierWith({{7, program}})}, PatientBus());
    MemoryRig rig(line.devicePath());
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("stage"));  // no extension: .VKP added

    const MemoryOutcome outcome = rig.memory.SaveSlot(7, base);
    rig.drain();
    line.stop();

    ASSERT_TRUE(outcome.ok) << outcome.message.toStdString();
    const QByteArray saved = ReadRaw(base + QStringLiteral(".VKP"));
    ASSERT_EQ(saved.size(), kRecordSize);
    EXPECT_EQ(saved.left(10), QByteArray("Stage 7   "));
    EXPECT_EQ(static_cast<std::uint8_t>(saved[12]), 7);
    EXPECT_EQ(saved, Bytes(program));
}

TEST(MemoryController, SaveOfABlankSlotSaysSoAndWritesNothing)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.VKP"));

    EXPECT_FALSE(rig.memory.SaveSlot(3, path).ok);
    rig.drain();
    line.stop();
    EXPECT_EQ(rig.told, (std::vector<QString>{QStringLiteral("Save file... | This Program is blank.")}));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(MemoryController, SaveOfOneSlotKeepsTheOldFileWhenTheReadFails)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{7, NamedProgram("Stage 7", 7)}})}, PatientBus());
    // Block 5 of slot 7 never comes, even when asked for again.
    SilenceWhere(line, [](const CommandFrame &f, std::size_t) { return f.command == 235; });
    MemoryRig rig(line.devicePath());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.VKP"));
    const QByteArray old = Bytes(NamedProgram("Previous", 255));
    ASSERT_TRUE(WriteRaw(path, old));

    const MemoryOutcome outcome = rig.memory.SaveSlot(7, path);
    rig.drain();
    line.stop();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(ReadRaw(path), old);
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("Program 7 did not arrive whole"))) << rig.told[0].toStdString();
    EXPECT_EQ(FramesWith(line.frames(), 235).size(), 2u);
    // Only what came into the temporary file's place: nothing else left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.VKP")});
}

// A slot that holds a program but whose read fails: named, and the file written only when the
// operator chooses to keep the rest.
struct MemorySaveCase {
    const char *name;
    bool saveRest;
};

class MemorySave : public ::testing::TestWithParam<MemorySaveCase> {};

TEST_P(MemorySave, NamesTheSlotsThatDidNotArrive)
{
    ScopedSpeed speed(MemorySpeed());
    const RecordImage one = NamedProgram("One", 1);
    SimLine line({AmplifierWith({{1, one}, {4, NamedProgram("Four", 4)}})}, PatientBus());
    SilenceWhere(line, [](const CommandFrame &f, std::size_t) { return f.command == 235 && f.data[0] == 4; });
    MemoryRig rig(line.devicePath());
    rig.answerYes = GetParam().saveRest;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bus.DMP"));

    const MemoryOutcome outcome = rig.memory.SaveMemory(path);
    rig.drain();
    line.stop();

    EXPECT_EQ(outcome.failedSlots, std::vector<int>{4});
    ASSERT_EQ(rig.asked.size(), 1u);
    EXPECT_TRUE(rig.asked[0].contains(QStringLiteral("slot 4"))) << rig.asked[0].toStdString();
    if (GetParam().saveRest) {
        EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
        EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Saved 20 slots to %1; slot 4 did not arrive "
                                                                    "(blank in the file)").arg(path)});
        MemoryImage saved;
        ASSERT_TRUE(ReadMemoryFile(path, saved).ok());
        EXPECT_EQ(saved[0], one);
        EXPECT_FALSE(RecordInUse(saved[3]));
    } else {
        EXPECT_FALSE(outcome.ok);
        EXPECT_FALSE(QFile::exists(path));
        ASSERT_EQ(rig.told.size(), 1u);
        EXPECT_TRUE(rig.told[0].contains(QStringLiteral("slot 4"))) << rig.told[0].toStdString();
        ASSERT_EQ(rig.statuses.size(), 1u);
        EXPECT_TRUE(rig.statuses[0].startsWith(QStringLiteral("Backup failed: "))) << rig.statuses[0].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(MemoryController, MemorySave,
                         ::testing::Values(MemorySaveCase{"SaveTheRest", true}, MemorySaveCase{"WriteNothing", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(MemoryController, AWriteBlockWithoutAnyReplyNamesTheSlot)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    SilenceWhere(line, [](const CommandFrame &f, std::size_t) { return f.command == 225; });
    MemoryRig rig(line.devicePath());
    rig.memory.nameDialog().name = QStringLiteral("Lost");

    const MemoryOutcome outcome = rig.memory.WriteProgramRecord(NamedProgram("Lost", 255), 9);
    rig.drain();
    line.stop();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.failedSlots, std::vector<int>{9});
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("slot 9 may not have been stored"))) << rig.told[0].toStdString();
    // The wire sequence stays: block 5 sent twice, then blocks 6 and 7.
    std::vector<int> writes;
    for (const auto &f : line.frames())
        if (f.frame.command >= 221 && f.frame.command <= 227)
            writes.push_back(f.frame.command);
    EXPECT_EQ(writes, (std::vector<int>{221, 222, 223, 224, 225, 225, 226, 227}));
}

TEST(MemoryController, APortLostDuringABackupEndsItAtOnceWithoutAFile)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{1, NamedProgram("One", 1)}, {2, NamedProgram("Two", 2)}})}, PatientBus());
    // Gone in the middle of the first block request of slot 1's read (each request is 13 bytes).
    line.hangUpAfterReceiving(13 + 6);
    MemoryRig rig(line.devicePath());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bus.DMP"));
    const QByteArray old(2240, '\x11');
    ASSERT_TRUE(WriteRaw(path, old));

    const double start = Clock::nowMs();
    const MemoryOutcome outcome = rig.memory.SaveMemory(path);
    const double tookMs = Clock::nowMs() - start;

    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("port was lost"))) << rig.told[0].toStdString();
    EXPECT_EQ(ReadRaw(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("bus.DMP")});
    // Ended within seconds, not after twenty slots of waiting.
    EXPECT_LT(tookMs, 3000);
    EXPECT_FALSE(rig.memory.IsBusy());
    EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Backup stopped at slot 1: port lost; %1 was not written")
                                                      .arg(path)});
}

// A restore cut short by a lost port says on the status bar where it stopped and what it wrote.
TEST(MemoryController, ARestoreStoppedByALostPortSaysWhereOnTheStatusBar)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    // Gone as the header of slot 3 arrives; slots 1 and 2 (blank in the file) were deleted.
    line.hangUpAtFrame([](const sim::FrameRecord &f) { return f.frame.command == 221 && f.frame.data[12] == 3; });
    MemoryRig rig(line.devicePath());
    MemoryImage image = BlankMemoryImage();
    image[2] = NamedProgram("Three", 255);
    image[3] = NamedProgram("Four", 255);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.DMP"));
    ASSERT_TRUE(WriteMemoryFile(path, image).ok());

    const MemoryOutcome outcome = rig.memory.FileDown(path);
    line.stop();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Restore stopped at slot 3: port lost; slots 1\u20132 written")});
    EXPECT_TRUE(FramesWith(line.frames(), 221).size() <= 1u);
}

TEST(MemoryController, AnAmplifierThatFallsSilentEndsARefreshWithinSeconds)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    // From the sixth frame on nothing answers (the cable pulled, the port still open).
    SilenceWhere(line, [](const CommandFrame &, std::size_t index) { return index >= 5; });
    MemoryRig rig(line.devicePath());

    const MemoryOutcome outcome = rig.memory.Refresh();
    rig.drain();
    line.stop();

    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("stopped answering"))) << rig.told[0].toStdString();
    // Three silent slots, each asked twice, and no more.
    EXPECT_EQ(FramesWith(line.frames(), 231).size(), 5u + 3 * 2);
}

TEST(MemoryController, OfferWhileProgram21RunsSendsOnlyTheMode)
{
    ScopedSpeed speed(MemorySpeed());
    sim::AmplifierConfig config = AmplifierWith({});
    config.faults.program21 = true;
    SimLine line({config}, PatientBus());
    MemoryRig rig(line.devicePath());
    Program p = DecodeProgram(DefaultProgram());
    p.mode = 2;
    rig.state.programBuffer = EncodeProgram(p);

    rig.memory.OfferCurrentDownload();
    rig.drain();
    line.stop();

    std::vector<int> commands;
    for (const auto &f : line.frames())
        commands.push_back(f.frame.command);
    EXPECT_EQ(commands, (std::vector<int>{239, 195}));
    EXPECT_EQ(FramesWith(line.frames(), 195).front().frame.data[0], 2);
    EXPECT_EQ(rig.told, (std::vector<QString>{QStringLiteral("DOWNLOAD PROGRAM | NO.21 PROGRAM Can not be Refresh... ")}));
    EXPECT_TRUE(rig.asked.empty());
}

TEST(MemoryController, DownloadIntoTheCurrentProgramStoresItMutedUnderTheName)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{3, NamedProgram("Three", 3)}}, 3)}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.typedName = QStringLiteral("Opened");
    const RecordImage opened = NamedProgram("File", 255, -20.0);
    rig.state.programBuffer = opened;

    rig.memory.OfferCurrentDownload();
    rig.drain();
    line.stop();

    EXPECT_EQ(rig.asked, (std::vector<QString>{QStringLiteral("DOWNLOAD PROGRAM | Do you Refresh NO.3 PROGRAM?")}));
    ASSERT_EQ(rig.nameDialogs.size(), 1u);
    EXPECT_TRUE(rig.nameDialogs[0].muteTicked);
    EXPECT_FALSE(rig.nameDialogs[0].volumeEnabled);
    const auto headers = FramesWith(line.frames(), 221);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(Data(headers[0]).left(10), QByteArray("Opened    "));
    EXPECT_EQ(headers[0].frame.data[12], kCurrentProgramSlot);
    // After the reload the amplifier runs it in slot 3, muted at -62 dB.
    const sim::Amplifier &amp = line.bus().amplifier(0);
    const Program stored = DecodeProgram(amp.slot(3));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(stored.name.data()), 10), QByteArray("Opened    "));
    EXPECT_DOUBLE_EQ(stored.left.gain, -62.0);
    EXPECT_DOUBLE_EQ(stored.left.delay, 1.25);
    EXPECT_TRUE(rig.told.empty());
}

// Closing the program-name dialog without OK writes nothing.
struct NameCancelCase {
    const char *name;
    std::function<MemoryOutcome(MemoryController &, const QString &vkp)> run;
};

class NameDialogCancelled : public ::testing::TestWithParam<NameCancelCase> {};

TEST_P(NameDialogCancelled, WritesNothing)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.acceptName = false;
    QTemporaryDir dir;
    const QString vkp = dir.filePath(QStringLiteral("Prog.VKP"));
    ASSERT_TRUE(WriteRecordFile(vkp, NamedProgram("Prog", 255)).ok());
    rig.memory.SelectRow(5);

    const MemoryOutcome outcome = GetParam().run(rig.memory, vkp);
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.cancelled);
    ASSERT_EQ(rig.nameDialogs.size(), 1u);
    EXPECT_EQ(rig.nameDialogs[0].nameAccepted, 0);
    for (const auto &f : line.frames())
        EXPECT_TRUE(f.frame.command < 221 || f.frame.command > 227) << int(f.frame.command);
    EXPECT_FALSE(RecordInUse(line.bus().amplifier(0).slot(5)));
}

INSTANTIATE_TEST_SUITE_P(
    MemoryController, NameDialogCancelled,
    ::testing::Values(NameCancelCase{"FileDown", [](MemoryController &m, const QString &vkp) { return m.FileDown(vkp); }},
                      NameCancelCase{"SetupDown", [](MemoryController &m, const QString &) { return m.SetupDown(); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(MemoryController, FileDownOfAProgramFileTakesTheNameFromTheFileAndTheDialog)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.tickMute = true;
    QTemporaryDir dir;
    const QString vkp = dir.filePath(QStringLiteral("Prog.VKP"));
    ASSERT_TRUE(WriteRecordFile(vkp, NamedProgram("InFile", 255)).ok());
    rig.memory.SelectRow(8);

    const MemoryOutcome outcome = rig.memory.FileDown(vkp);
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    ASSERT_EQ(rig.nameDialogs.size(), 1u);
    EXPECT_EQ(rig.nameDialogs[0].name, QStringLiteral("InFile    "));
    EXPECT_TRUE(rig.nameDialogs[0].volumeEnabled);
    const Program stored = DecodeProgram(line.bus().amplifier(0).slot(8));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(stored.name.data()), 10), QByteArray("InFile    "));
    EXPECT_DOUBLE_EQ(stored.left.gain, -62.0);
    EXPECT_EQ(rig.memory.row(8).program, QStringLiteral("8[√]"));
    EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Wrote %1 to slot 8").arg(vkp)});
}

TEST(MemoryController, FileDownOfAFileOfTheWrongLengthSendsNothingAndSaysWhy)
{
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    QTemporaryDir dir;
    const QString dmp = dir.filePath(QStringLiteral("short.DMP"));
    ASSERT_TRUE(WriteRaw(dmp, QByteArray(2239, '\0')));
    rig.memory.SelectRow(2);

    const MemoryOutcome outcome = rig.memory.FileDown(dmp);
    rig.drain();
    line.stop();

    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("2239"))) << rig.told[0].toStdString();
    for (const auto &f : line.frames())
        EXPECT_EQ(f.frame.command, 231);  // only the row's refresh
}

// A program file no editor made: mode 60, a band at 36 kHz and +110.20 dB with Q 173, a delay
// of 220 ms and a phase byte of 141.
RecordImage GarbageProgram()
{
    RecordImage record = DefaultProgram();
    record[10] = 60;
    const std::uint8_t band[] = {0x8C, 0xA0, 0, 110, 20, 0xAA, 173, 0};
    std::copy(std::begin(band), std::end(band), record.begin() + 16);
    record[16 + 35] = 220;
    record[16 + 40] = 141;
    return record;
}

// Random bytes the length of a memory file: every slot "in use", none of them a program.
QByteArray RandomMemoryFile()
{
    std::mt19937 rng(2240);
    QByteArray bytes(kMemoryFileSize, '\0');
    for (char &b : bytes)
        b = static_cast<char>(rng() & 0xFF);
    return bytes;
}

// A file whose values no editor produces is refused naming the file and the field: nothing of
// it is written (only the row's refresh goes out), and the amplifier's slots stay as they were.
TEST(MemoryController, FileDownRefusesAFileWithValuesNoEditorProduces)
{
    const struct {
        const char *name;
        QByteArray bytes;
        const char *mentions;
    } files[] = {
        {"Garbage.VKP", Bytes(GarbageProgram()), "left.peq[0].freq: 36000 is out of range"},
        {"Random.DMP", RandomMemoryFile(), "slot 1, left."},
    };
    for (const auto &file : files) {
        SCOPED_TRACE(file.name);
        ScopedSpeed speed(MemorySpeed());
        SimLine line({AmplifierWith({{4, NamedProgram("Kept", 4)}})}, PatientBus());
        MemoryRig rig(line.devicePath());
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(file.name));
        ASSERT_TRUE(WriteRaw(path, file.bytes));
        rig.memory.SelectRow(4);

        const MemoryOutcome outcome = rig.memory.FileDown(path);
        rig.drain();
        line.stop();

        EXPECT_FALSE(outcome.ok);
        EXPECT_TRUE(rig.nameDialogs.empty());
        ASSERT_EQ(rig.told.size(), 1u);
        EXPECT_TRUE(rig.told[0].contains(path + QStringLiteral(" is refused: "))) << rig.told[0].toStdString();
        EXPECT_TRUE(rig.told[0].contains(QString::fromLatin1(file.mentions))) << rig.told[0].toStdString();
        for (const auto &f : line.frames())
            EXPECT_EQ(f.frame.command, 231);  // only the row's refresh
        const sim::Amplifier &amp = line.bus().amplifier(0);
        EXPECT_EQ(amp.slot(4), NamedProgram("Kept", 4));
        for (int slot = 1; slot <= kMemorySlotCount; ++slot)
            EXPECT_EQ(RecordInUse(amp.slot(slot)), slot == 4) << slot;
    }
}

// The editors' program passes the same check before Setup Down writes it.
TEST(MemoryController, SetupDownRefusesAnEditorsProgramWithAValueNoEditorProduces)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    rig.memory.SetGather([&] {
        rig.state.gatherBuffer = NamedProgram("DDDDDDDDDD", 255);
        rig.state.gatherBuffer[64 + 8 + 6] = 173;  // right band 2: Q 173
    });
    rig.memory.SelectRow(12);

    const MemoryOutcome outcome = rig.memory.SetupDown();
    rig.drain();
    line.stop();

    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(rig.nameDialogs.empty());
    ASSERT_EQ(rig.told.size(), 1u);
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("right.peq[1].q: 173 is out of range"))) << rig.told[0].toStdString();
    EXPECT_TRUE(rig.told[0].contains(QStringLiteral("slot 12"))) << rig.told[0].toStdString();
    for (const auto &f : line.frames())
        EXPECT_TRUE(f.frame.command < 221 || f.frame.command > 227) << int(f.frame.command);
    EXPECT_FALSE(RecordInUse(line.bus().amplifier(0).slot(12)));
}

TEST(MemoryController, SetupDownWritesTheGatheredEditorsUnderTheName)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({})}, PatientBus());
    MemoryRig rig(line.devicePath());
    Program edited = DecodeProgram(NamedProgram("DDDDDDDDDD", 255, -9.5));
    edited.mode = 2;
    int gathered = 0;
    rig.memory.SetGather([&] {
        ++gathered;
        rig.state.gatherBuffer = EncodeProgram(edited);
    });
    rig.typedName = QStringLiteral("Editors");
    rig.memory.SelectRow(12);
    std::vector<SlotRow> shown;
    QObject::connect(&rig.memory, &MemoryController::slotRowChanged, [&shown](int slot, const SlotRow &row) {
        if (slot == 12)
            shown.push_back(row);
    });

    const MemoryOutcome outcome = rig.memory.SetupDown();
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    EXPECT_EQ(gathered, 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().program, QStringLiteral("12[▽]"));
    EXPECT_EQ(shown.back().program, QStringLiteral("12[√]"));
    const Program stored = DecodeProgram(line.bus().amplifier(0).slot(12));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(stored.name.data()), 10), QByteArray("Editors   "));
    EXPECT_EQ(stored.mode, 2);
    EXPECT_EQ(stored.programNumber, 12);
    EXPECT_DOUBLE_EQ(stored.left.gain, -9.5);  // "Select Program Volume": the editors' own gain
    // The progress bar after each block: 14 x k.
    std::vector<int> steps;
    for (int p : rig.progress)
        if (p >= 28 && p <= 98)
            steps.push_back(p);
    EXPECT_EQ(steps, (std::vector<int>{28, 42, 56, 70, 84, 98}));
    EXPECT_EQ(rig.statuses, std::vector<QString>{QStringLiteral("Wrote the editors' program to slot 12")});
}

TEST(MemoryController, DeleteAllEmptiesEverySlot)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{1, NamedProgram("One", 1)}, {20, NamedProgram("Last", 20)}})}, PatientBus());
    MemoryRig rig(line.devicePath());

    const MemoryOutcome outcome = rig.memory.DeleteAll();
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    EXPECT_EQ(rig.asked, (std::vector<QString>{QStringLiteral("Delete program | Delete all program?")}));
    for (int i = 1; i <= 20; ++i) {
        EXPECT_FALSE(RecordInUse(line.bus().amplifier(0).slot(i))) << i;
        EXPECT_EQ(rig.memory.row(i).program, QString::number(i));
    }
    std::vector<int> deleted;
    for (const auto &f : FramesWith(line.frames(), 200))
        deleted.push_back(f.frame.data[0]);
    ASSERT_GE(deleted.size(), 20u);
    EXPECT_EQ(deleted.front(), 1);
    EXPECT_EQ(deleted.back(), 20);
    // 4.8 x i rounded up before slot i, then back to 0.
    EXPECT_EQ(rig.progress[1], 5);
    EXPECT_EQ(rig.progress.back(), 0);
    EXPECT_NE(std::find(rig.progress.begin(), rig.progress.end(), 96), rig.progress.end());
}

TEST(MemoryController, DeleteAsksAndDeletesTheSlot)
{
    ScopedSpeed speed(MemorySpeed());
    SimLine line({AmplifierWith({{6, NamedProgram("Six", 6)}})}, PatientBus());
    MemoryRig rig(line.devicePath());

    const MemoryOutcome outcome = rig.memory.Delete(6);
    rig.drain();
    line.stop();

    EXPECT_TRUE(outcome.ok) << outcome.message.toStdString();
    EXPECT_EQ(rig.asked, (std::vector<QString>{QStringLiteral("Delete program | Delete this program?")}));
    EXPECT_FALSE(RecordInUse(line.bus().amplifier(0).slot(6)));
    EXPECT_EQ(rig.memory.row(6).program, QStringLiteral("6"));
}

}  // namespace
}  // namespace talvo::testing
