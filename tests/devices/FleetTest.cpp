// The fleet runner's lists as typed: ID lists with ranges and sub-addresses, a port with the
// IDs it holds, and a port as a part of a file name.

#include <gtest/gtest.h>

#include "devices/Fleet.h"

namespace talvo::testing {
namespace {

QString Listed(const std::vector<FleetAddress> &list)
{
    QStringList parts;
    for (const FleetAddress &a : list)
        parts << a.text();
    return parts.join(QLatin1Char(' '));
}

struct ListCase {
    const char *name;
    const char *text;
    const char *listed;  // the amplifiers in order, or null when the list is refused
    const char *says;    // part of the refusal
};

class IdList : public ::testing::TestWithParam<ListCase> {};

TEST_P(IdList, TakesWhatIsMeantAndRefusesTheRest)
{
    QString problem;
    const auto list = ParseIdList(QString::fromUtf8(GetParam().text), &problem);
    if (GetParam().listed) {
        ASSERT_TRUE(list) << problem.toStdString();
        EXPECT_EQ(Listed(*list), QString::fromUtf8(GetParam().listed));
    } else {
        EXPECT_FALSE(list) << Listed(*list).toStdString();
        EXPECT_TRUE(problem.contains(QString::fromUtf8(GetParam().says))) << problem.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fleet, IdList,
    ::testing::Values(ListCase{"RangesAndSingles", "1-3,12,20-22", "1 2 3 12 20 21 22", nullptr},
                      ListCase{"OrderAsGiven", "9, 4,1-2", "9 4 1 2", nullptr},
                      ListCase{"SubAddress", "5.2,5,7.65535", "5.2 5 7.65535", nullptr},
                      ListCase{"OneIdRange", "255-255", "255", nullptr},
                      ListCase{"Empty", "", nullptr, "empty"},
                      ListCase{"EmptyItem", "1,,2", nullptr, "empty item"},
                      ListCase{"IdZero", "0", nullptr, "'0' is not an ID in 1..255"},
                      ListCase{"Id256", "3,256", nullptr, "'256'"},
                      ListCase{"FallingRange", "8-1", nullptr, "falls"},
                      ListCase{"OpenRange", "4-", nullptr, "'4-' is not a range"},
                      ListCase{"RangeOfSubAddresses", "5.1-5.3", nullptr, "not a range"},
                      ListCase{"NamedTwice", "1-3,2", nullptr, "ID 2 is named twice"},
                      ListCase{"SubNamedTwice", "5.2,5.2", nullptr, "ID 5.2 is named twice"},
                      ListCase{"SubZero", "5.0", nullptr, "sub-address"},
                      ListCase{"SubTooLarge", "5.65536", nullptr, "sub-address"},
                      ListCase{"TwoDots", "5.2.1", nullptr, "sub-address"},
                      ListCase{"Hex", "0x10", nullptr, "'0x10'"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Fleet, APortTakesTheIdsAfterItsLastEqualsSign)
{
    QString problem;
    const auto plain = ParsePortSpec(QStringLiteral("tcp://rack-a:4001"), &problem);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->port, QStringLiteral("tcp://rack-a:4001"));
    EXPECT_FALSE(plain->ids);

    const auto listed = ParsePortSpec(QStringLiteral("tcp://rack-a:4001=1-30"), &problem);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->port, QStringLiteral("tcp://rack-a:4001"));
    ASSERT_TRUE(listed->ids);
    EXPECT_EQ(listed->ids->size(), 30u);

    EXPECT_FALSE(ParsePortSpec(QStringLiteral("/dev/ttyUSB0="), &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("empty"))) << problem.toStdString();
    EXPECT_FALSE(ParsePortSpec(QStringLiteral("=1-3"), &problem));
}

TEST(Fleet, APortAsAFileNameKeepsOnlyPlainCharacters)
{
    EXPECT_EQ(PortFileName(QStringLiteral("com7")), QStringLiteral("COM7"));
    EXPECT_EQ(PortFileName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("ttyUSB0"));
    EXPECT_EQ(PortFileName(QStringLiteral("/dev/pts/4")), QStringLiteral("pts-4"));
    EXPECT_EQ(PortFileName(QStringLiteral("/home/me/my bus")), QStringLiteral("home-me-my_bus"));
    EXPECT_EQ(PortFileName(QStringLiteral("tcp://rack-a:4001")), QStringLiteral("rack-a-4001"));
    EXPECT_EQ(PortFileName(QStringLiteral("../..")), QStringLiteral("..-.."));
}

TEST(Fleet, OnlyAListLooksLikeOne)
{
    EXPECT_FALSE(LooksLikeIdList(QStringLiteral("5")));
    EXPECT_FALSE(LooksLikeIdList(QStringLiteral("0x10")));
    EXPECT_TRUE(LooksLikeIdList(QStringLiteral("5.2")));
    EXPECT_TRUE(LooksLikeIdList(QStringLiteral("1-8")));
    EXPECT_TRUE(LooksLikeIdList(QStringLiteral("1,2")));
}

}  // namespace
}  // namespace talvo::testing
