#include "programs/RecordCheck.h"

#include <gtest/gtest.h>

#include <vector>

#include "TestRecords.h"

namespace talvo {
namespace {

using testing::VariedProgram;

constexpr int kLeft = 16;
constexpr int kRight = 64;

// Every record this system writes passes, and so does each value at the ends of its range.
TEST(RecordCheck, AcceptsWhatTheEditorsProduceUpToTheEndsOfEachRange)
{
    for (const RecordImage &record : {DefaultProgram(), BlankSlotRecord(), NewSlotRecord(), EncodeProgram(VariedProgram())})
        EXPECT_EQ(CheckRecordValues(record), std::nullopt);

    struct Edge {
        const char *what;
        std::function<void(ChannelSettings &)> set;
    };
    const Edge edges[] = {
        {"band at 19.7 Hz, -12 dB, Q 0.4", [](ChannelSettings &c) { c.peq[0] = {19.7, -12.0, 0.4}; }},
        {"band at 20200 Hz, +12 dB, Q 128", [](ChannelSettings &c) { c.peq[2] = {20200.0, 12.0, 128.0}; }},
        {"FLAT band at -12 dB", [](ChannelSettings &c) { c.peq[1] = {1000.0, -12.0, 3.0}, c.flat[1] = true; }},
        {"high-pass at 16 kHz, low-pass at 35.1 Hz", [](ChannelSettings &c) { c.highPass = {15, 16000.0}, c.lowPass = {0, 35.1}; }},
        {"a crossover at 12000 Hz (sent as 12100)", [](ChannelSettings &c) { c.lowPass.freq = 12000.0; }},
        {"no slope selected (gathered as 255)", [](ChannelSettings &c) { c.lowPass.slope = 255; }},
        {"gain -60 dB", [](ChannelSettings &c) { c.gain = -60.0; }},
        {"gain +6 dB", [](ChannelSettings &c) { c.gain = 6.0; }},
        {"muted as stored with Mute (-62 dB)", [](ChannelSettings &c) { c.gain = -62.0; }},
        {"delay 7 ms", [](ChannelSettings &c) { c.delay = 7.0; }},
        {"limiter at 0 and rates at their ends", [](ChannelSettings &c) {
             c.limitThreshold = 0, c.attack = 10, c.decay = 1000, c.hold = 100;
         }},
    };
    for (const Edge &e : edges) {
        Program p = DecodeProgram(DefaultProgram());
        e.set(p.right);
        p.mode = 7;  // a mode above 2 is taken as Stereo, not refused
        const std::optional<RecordFault> fault = CheckRecordValues(EncodeProgram(p));
        EXPECT_EQ(fault, std::nullopt) << e.what << ": " << (fault ? fault->text().toStdString() : "");
    }
}

// Each case puts bytes no editor produces into the default program; the check names the field
// as the record's JSON does, with the value it holds.
TEST(RecordCheck, NamesTheFieldAndTheValueOutOfRange)
{
    struct Case {
        int offset;
        std::vector<std::uint8_t> bytes;
        const char *text;
    };
    const Case cases[] = {
        {kLeft + 0, {0x8C, 0xA0, 0}, "left.peq[0].freq: 36000 is out of range (19.7 to 20200)"},
        {kLeft + 8, {0x00, 0x13, 69}, "left.peq[1].freq: 19.69 is out of range (19.7 to 20200)"},
        {kLeft + 2, {150}, "left.peq[0].freq: hundredths byte 150 is out of range (0 to 99)"},
        {kLeft + 3, {110, 20}, "left.peq[0].gain: 110.2 is out of range (-12 to 12)"},
        {kLeft + 11, {12, 1, 0x55}, "left.peq[1].gain: -12.01 is out of range (-12 to 12)"},
        {kLeft + 19, {213, 0}, "left.peq[2].gain: 13 is out of range (-12 to 12)"},  // FLAT +13
        {kLeft + 19, {195, 0}, "left.peq[2].gain: whole byte 195 is out of range (0 to 12, or 200 to 212 when FLAT)"},
        {kLeft + 6, {173, 0}, "left.peq[0].q: 173 is out of range (0.4 to 128)"},
        {kLeft + 6, {0, 39}, "left.peq[0].q: 0.39 is out of range (0.4 to 128)"},
        {kLeft + 24, {16}, "left.lowPass.slope: 16 is out of range (0 to 15, or 255 for none)"},
        {kLeft + 25, {0x00, 35, 0}, "left.lowPass.freq: 35 is out of range (35.1 to 20200)"},
        {kLeft + 29, {0x3E, 0x81, 0}, "left.highPass.freq: 16001 is out of range (10 to 16000)"},
        {kLeft + 29, {0x00, 9, 99}, "left.highPass.freq: 9.99 is out of range (10 to 16000)"},
        {kLeft + 32, {60, 10, 0x55}, "left.gain: -60.1 is out of range (-60 to 6, or -100 or -62 when muted)"},
        {kLeft + 32, {6, 1, 0xAA}, "left.gain: 6.01 is out of range (-60 to 6, or -100 or -62 when muted)"},
        {kLeft + 35, {220, 0}, "left.delay: 220 is out of range (0 to 7)"},
        {kLeft + 35, {7, 1}, "left.delay: 7.01 is out of range (0 to 7)"},
        {kLeft + 36, {100}, "left.delay: hundredths byte 100 is out of range (0 to 99)"},
        {kLeft + 37, {66}, "left.limitThreshold: 66 is out of range (0 to 65)"},
        {kLeft + 38, {0, 9}, "left.attack: 9 is out of range (10 to 1000)"},
        {kLeft + 40, {141}, "left.phase: 141 is out of range (0 or 180)"},
        {kLeft + 41, {0, 101}, "left.hold: 101 is out of range (0 to 100)"},
        {kLeft + 43, {0x03, 0xE9}, "left.decay: 1001 is out of range (10 to 1000)"},
        {kRight + 35, {8, 0}, "right.delay: 8 is out of range (0 to 7)"},
    };
    for (const Case &c : cases) {
        RecordImage record = DefaultProgram();
        std::copy(c.bytes.begin(), c.bytes.end(), record.begin() + c.offset);
        const std::optional<RecordFault> fault = CheckRecordValues(record);
        ASSERT_TRUE(fault.has_value()) << c.text;
        EXPECT_EQ(fault->text(), QString::fromLatin1(c.text));
    }
}

TEST(RecordCheck, TheFirstFieldInRecordOrderIsNamed)
{
    RecordImage record = DefaultProgram();
    record[kRight + 40] = 141;  // right phase
    record[kLeft + 35] = 220;   // left delay
    record[kLeft + 8 + 6] = 173;  // left band 2 Q
    ASSERT_TRUE(CheckRecordValues(record).has_value());
    EXPECT_EQ(CheckRecordValues(record)->key, QStringLiteral("left.peq[1].q"));
    // The name, mode, inUse, program number and filler bytes are not values of an editor.
    record = DefaultProgram();
    for (int i = 0; i < 16; ++i) record[i] = 0xFF;
    for (const int tail : {kLeft + 45, kRight + 46}) record[tail] = 0x00;
    EXPECT_EQ(CheckRecordValues(record), std::nullopt);
}

}  // namespace
}  // namespace talvo
