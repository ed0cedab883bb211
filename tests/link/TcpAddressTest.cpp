// Network port names: what tcp://HOST:PORT accepts, and the words for what it refuses.

#include <gtest/gtest.h>

#include "link/TcpAddress.h"

namespace talvo {
namespace {

struct NameCase {
    const char *name;
    const char *host;  // nullptr: refused
    int port;
    const char *problem;  // part of the words for a refusal
};

TEST(TcpPortName, ParsesHostAndPortAndSaysWhatIsWrong)
{
    const NameCase cases[] = {
        {"tcp://10.0.0.20:4001", "10.0.0.20", 4001, nullptr},
        {"TCP://rack-converter.local:23", "rack-converter.local", 23, nullptr},
        {"tcp://[::1]:65535", "::1", 65535, nullptr},
        {"tcp://host:1", "host", 1, nullptr},
        {"tcp://host", nullptr, 0, "port number is missing"},
        {"tcp://:4001", nullptr, 0, "host is missing"},
        {"tcp://host:0", nullptr, 0, "'0' is no TCP port"},
        {"tcp://host:65536", nullptr, 0, "'65536' is no TCP port"},
        {"tcp://host:+80", nullptr, 0, "'+80' is no TCP port"},
        {"tcp://host:4001/", nullptr, 0, "'4001/' is no TCP port"},
        {"tcp://host:", nullptr, 0, "'' is no TCP port"},
        {"tcp://::1:4001", nullptr, 0, "[ADDRESS]:PORT"},
        {"tcp://[::1]4001", nullptr, 0, "[ADDRESS]:PORT"},
        {"tcp://[host]:4001", nullptr, 0, "no IPv6 address"},
        {"tcp://my host:4001", nullptr, 0, "'my host' is no host"},
        {"/dev/ttyUSB0", nullptr, 0, "tcp://HOST:PORT"},
    };
    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.name);
        QString problem;
        const std::optional<TcpAddress> address = ParseTcpPortName(QString::fromLatin1(c.name), &problem);
        if (c.host) {
            ASSERT_TRUE(address.has_value()) << problem.toStdString();
            EXPECT_EQ(address->host, QString::fromLatin1(c.host));
            EXPECT_EQ(address->port, c.port);
            // Written again, it reads back the same.
            EXPECT_EQ(ParseTcpPortName(TcpPortName(*address))->host, address->host);
        } else {
            EXPECT_FALSE(address.has_value());
            EXPECT_TRUE(problem.contains(QLatin1String(c.problem))) << problem.toStdString();
        }
    }
    EXPECT_TRUE(IsTcpPortName(QStringLiteral("Tcp://broken")));
    EXPECT_FALSE(IsTcpPortName(QStringLiteral("/dev/tcp/host")));
}

TEST(TcpPortName, AListeningAddressMayLeaveOutTheHost)
{
    const QString loopback = QStringLiteral("127.0.0.1");
    EXPECT_EQ(ParseHostAndPort(QStringLiteral("4001"), loopback)->host, loopback);
    EXPECT_EQ(ParseHostAndPort(QStringLiteral("0.0.0.0:4001"), loopback)->host, QStringLiteral("0.0.0.0"));
    EXPECT_FALSE(ParseHostAndPort(QStringLiteral("4001"), QString()).has_value());
    EXPECT_FALSE(ParseHostAndPort(QStringLiteral("port"), loopback).has_value());
}

}  // namespace
}  // namespace talvo
