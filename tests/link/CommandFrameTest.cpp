#include "link/CommandFrame.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace talvo {
namespace {

std::string hex(const QByteArray &bytes)
{
    return bytes.toHex(' ').toUpper().toStdString();
}

struct WireCase {
    const char *name;
    std::uint8_t address;
    std::uint16_t subAddress;
    std::uint8_t command;
    std::vector<std::uint8_t> data;
    const char *wire;
};

void PrintTo(const WireCase &c, std::ostream *os)
{
    *os << c.name;
}

class WireBytesTest : public testing::TestWithParam<WireCase> {};

TEST_P(WireBytesTest, MatchesTheAmplifierFrame)
{
    const WireCase &c = GetParam();
    CommandFrame f;
    f.address = c.address;
    f.subAddressHigh = static_cast<std::uint8_t>(c.subAddress >> 8);
    f.subAddressLow = static_cast<std::uint8_t>(c.subAddress & 0xFF);
    f.command = c.command;
    f.length = static_cast<std::uint8_t>(c.data.size());
    std::copy(c.data.begin(), c.data.end(), f.data.begin());

    const QByteArray wire = f.wireBytes();
    EXPECT_EQ(hex(wire), c.wire);
    EXPECT_EQ(wire.size(), static_cast<qsizetype>(c.data.size()) + kFrameOverhead);
    // The payload is exactly what lies between the marks, and its last byte is the checksum.
    EXPECT_EQ(f.payload(), wire.mid(3, wire.size() - 6));
    EXPECT_EQ(static_cast<std::uint8_t>(f.payload().back()), f.checksum());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WireBytesTest,
    testing::Values(
        WireCase{"Connect", 1, 0, 220, {100}, "33 66 77 01 00 00 DC 01 64 42 99 AA BB"},
        WireCase{"ConnectMuted", 1, 0, 220, {101}, "33 66 77 01 00 00 DC 01 65 43 99 AA BB"},
        WireCase{"Disconnect", 1, 0, 220, {80}, "33 66 77 01 00 00 DC 01 50 2E 99 AA BB"},
        // 200 + 220 + 1 + 110 = 531: the checksum keeps only the low byte.
        WireCase{"SearchProbeWrapsChecksum", 200, 0, 220, {110}, "33 66 77 C8 00 00 DC 01 6E 13 99 AA BB"},
        WireCase{"SubAddress", 1, 0x1234, 220, {101}, "33 66 77 01 12 34 DC 01 65 89 99 AA BB"},
        WireCase{"StatusRequest", 1, 0, 239, {100}, "33 66 77 01 00 00 EF 01 64 55 99 AA BB"},
        WireCase{"ReadBlock1", 1, 0, 231, {100}, "33 66 77 01 00 00 E7 01 64 4D 99 AA BB"},
        WireCase{"LeftGain", 1, 0, 2, {12, 50, 85}, "33 66 77 01 00 00 02 03 0C 32 55 99 99 AA BB"},
        // Mark bytes inside the data go out unescaped.
        WireCase{"EndMarkInData", 1, 0, 2, {0x99, 0xAA, 0xBB}, "33 66 77 01 00 00 02 03 99 AA BB 04 99 AA BB"},
        WireCase{"NoData", 7, 0, 6, {}, "33 66 77 07 00 00 06 00 0D 99 AA BB"},
        WireCase{"SixteenBytes", 255, 0xFFFF, 221,
                 {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255},
                 "33 66 77 FF FF FF DD 10 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF DA 99 AA BB"}),
    [](const testing::TestParamInfo<WireCase> &info) { return std::string(info.param.name); });

TEST(CommandFrame, SetKeepsAddressAndReplacesCommandAndData)
{
    CommandFrame f;
    f.address = 9;
    f.subAddressHigh = 1;
    f.subAddressLow = 2;
    f.set(5, {1, 2, 3, 4, 5, 6, 7, 8});
    f.set(220, {100});  // a shorter command after a longer one must not drag old bytes along
    EXPECT_EQ(f.address, 9);
    EXPECT_EQ(f.subAddressHigh, 1);
    EXPECT_EQ(f.subAddressLow, 2);
    EXPECT_EQ(f.command, 220);
    EXPECT_EQ(f.length, 1);
    EXPECT_EQ(hex(f.wireBytes()), "33 66 77 09 01 02 DC 01 64 4D 99 AA BB");
}

TEST(CommandFrame, SetNeverWritesPastTheDataArray)
{
    CommandFrame f;
    f.set(221, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
    EXPECT_EQ(f.length, kMaxFrameData);
    EXPECT_EQ(f.data.back(), 16);
    EXPECT_EQ(f.wireBytes().size(), kMaxFrameData + kFrameOverhead);
}

TEST(CommandFrame, OversizedLengthSendsOnlyWhatTheFrameHolds)
{
    // A length byte larger than the data array would otherwise promise bytes that never come
    // (and read past the array); the frame is cut to its real contents, length byte included.
    CommandFrame f;
    f.address = 1;
    f.command = 221;
    f.data.fill(1);
    f.length = 26;
    const QByteArray wire = f.wireBytes();
    ASSERT_EQ(wire.size(), kMaxFrameData + kFrameOverhead);
    EXPECT_EQ(static_cast<std::uint8_t>(wire[7]), kMaxFrameData);
    EXPECT_EQ(static_cast<std::uint8_t>(wire[8 + kMaxFrameData]), static_cast<std::uint8_t>(1 + 221 + 16 + 16));
}

TEST(PacingDelay, FollowsTheCommand)
{
    const std::vector<std::uint8_t> slow{5, 10, 15, 20, 40, 101, 106, 111, 116, 136};
    for (int cmd = 0; cmd <= 255; ++cmd) {
        int expected = 150;
        if (cmd == 220)
            expected = 30;
        else if (std::find(slow.begin(), slow.end(), cmd) != slow.end())
            expected = 250;
        EXPECT_EQ(PacingDelayMs(static_cast<std::uint8_t>(cmd)), expected) << "command " << cmd;
    }
}

}  // namespace
}  // namespace talvo
