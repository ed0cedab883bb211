// The pairing token and the penalties of wrong ones, on their own.

#include <set>

#include <gtest/gtest.h>

#include "remote/RemoteAccess.h"
#include "remote/RemoteHost.h"

namespace talvo::testing {
namespace {

TEST(PairingToken, IsFreshAndLongEnough)
{
    std::set<QByteArray> seen;
    for (int i = 0; i < 50; ++i) {
        const QByteArray t = NewPairingToken();
        EXPECT_EQ(t.size(), 2 * kPairingTokenBytes);
        EXPECT_GE(kPairingTokenBytes * 8, 128);
        EXPECT_EQ(QByteArray::fromHex(t).toHex(), t) << t.toStdString();
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 50U);
}

TEST(PairingToken, ComparesWholeTokensOnly)
{
    const QByteArray token = "0123456789abcdef0123456789abcdef01234567";
    struct Case {
        const char *name;
        QByteArray presented;
        bool equal;
    };
    const Case cases[] = {
        {"same", token, true},
        {"last byte differs", token.left(39) + '8', false},
        {"first byte differs", '1' + token.mid(1), false},
        {"prefix", token.left(39), false},
        {"longer", token + '0', false},
        {"empty", QByteArray(), false},
        {"upper case", token.toUpper(), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TokensEqual(c.presented, token), c.equal) << c.name;
    EXPECT_FALSE(TokensEqual(QByteArray(), QByteArray())) << "no token is never a right one";
}

TEST(FailedAttempts, DoubleUpToTheCeilingPerAddress)
{
    FailedAttempts attempts(100, 700);
    const QHostAddress phone(QStringLiteral("192.168.1.20"));
    const QHostAddress other(QStringLiteral("192.168.1.21"));
    EXPECT_EQ(attempts.WaitFor(phone), 0);
    // Each penalty comes on top of what the address still waits.
    const qint64 first = attempts.Failed(phone);
    EXPECT_EQ(first, 100);
    const qint64 second = attempts.Failed(phone);
    EXPECT_GE(second, 200);
    EXPECT_LE(second, 300);
    attempts.Failed(phone);
    attempts.Failed(phone);
    attempts.Failed(phone);
    // 100 + 200 + 400, then the ceiling twice (800 and 1600 without it).
    EXPECT_EQ(attempts.FailureCount(phone), 5);
    EXPECT_LE(attempts.WaitFor(phone), 100 + 200 + 400 + 700 + 700);
    EXPECT_GT(attempts.WaitFor(phone), 1000);
    // Another address is not held for the first one's failures.
    EXPECT_EQ(attempts.WaitFor(other), 0);
    // The same client over an IPv6 socket is the same address.
    EXPECT_EQ(attempts.FailureCount(QHostAddress(QStringLiteral("::ffff:192.168.1.20"))), 5);
}

TEST(ListenAddress, TakesHostAndPort)
{
    struct Case {
        const char *text;
        const char *address;  // null: refused
        int port;
    };
    const Case cases[] = {
        {"8480", "127.0.0.1", 8480},
        {"0", "127.0.0.1", 0},
        {"localhost:9000", "127.0.0.1", 9000},
        {"192.168.1.5:8480", "192.168.1.5", 8480},
        {"[::1]:8480", "::1", 8480},
        {"any:8480", "0.0.0.0", 8480},
        {"::1:8480", nullptr, 0},
        {"[192.168.1.5]:80", nullptr, 0},
        {"host.example:80", nullptr, 0},
        {"65536", nullptr, 0},
        {"80x", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const Case &c : cases) {
        QString problem;
        const std::optional<ListenAddress> a = ParseListenAddress(QString::fromLatin1(c.text), problem);
        if (!c.address) {
            EXPECT_FALSE(a.has_value()) << c.text;
            EXPECT_FALSE(problem.isEmpty()) << c.text;
            continue;
        }
        ASSERT_TRUE(a.has_value()) << c.text << ": " << problem.toStdString();
        EXPECT_EQ(a->port, c.port) << c.text;
        if (QByteArrayView(c.address) == "0.0.0.0")
            EXPECT_EQ(a->address, QHostAddress(QHostAddress::Any)) << c.text;
        else
            EXPECT_EQ(a->address, QHostAddress(QString::fromLatin1(c.address))) << c.text;
    }
}

}  // namespace
}  // namespace talvo::testing
