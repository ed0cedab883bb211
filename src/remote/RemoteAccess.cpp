#include "remote/RemoteAccess.h"

#include <algorithm>
#include <array>

#include <QRandomGenerator>

namespace talvo {

QByteArray NewPairingToken()
{
    std::array<quint32, (kPairingTokenBytes + 3) / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const QByteArray raw(reinterpret_cast<const char *>(words.data()), kPairingTokenBytes);
    return raw.toHex();
}

bool TokensEqual(QByteArrayView presented, QByteArrayView expected)
{
    // Every byte of the expected token is looked at whatever was presented; a presented token
    // of another length differs, but costs the same time as one that differs in its last byte.
    unsigned difference = presented.size() == expected.size() ? 0U : 1U;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const unsigned char p = i < presented.size() ? static_cast<unsigned char>(presented[i]) : 0U;
        difference |= p ^ static_cast<unsigned char>(expected[i]);
    }
    return difference == 0 && !expected.isEmpty();
}

FailedAttempts::FailedAttempts(int firstPenaltyMs, int maxPenaltyMs, int forgetMs)
    : firstPenaltyMs_(firstPenaltyMs), maxPenaltyMs_(maxPenaltyMs), forgetMs_(forgetMs)
{
}

QString FailedAttempts::keyOf(const QHostAddress &peer)
{
    // An IPv4 client reached through an IPv6 socket is the same client.
    bool v4 = false;
    const quint32 ip4 = peer.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4).toString() : peer.toString();
}

qint64 FailedAttempts::WaitFor(const QHostAddress &peer) const
{
    const auto it = entries_.constFind(keyOf(peer));
    if (it == entries_.constEnd())
        return 0;
    return std::max<qint64>(0, it->heldUntilMs - nowMs());
}

qint64 FailedAttempts::Failed(const QHostAddress &peer)
{
    const qint64 now = nowMs();
    // Forgotten entries go, so that the table cannot grow with every address that ever failed.
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (now - it->lastFailureMs > forgetMs_ && it->heldUntilMs <= now)
            it = entries_.erase(it);
        else
            ++it;
    }
    Entry &e = entries_[keyOf(peer)];
    e.failures = std::min(e.failures + 1, 30);
    e.lastFailureMs = now;
    const qint64 penalty = std::min<qint64>(maxPenaltyMs_, qint64(firstPenaltyMs_) << std::min(e.failures - 1, 20));
    e.heldUntilMs = std::max(e.heldUntilMs, now) + penalty;
    return e.heldUntilMs - now;
}

int FailedAttempts::FailureCount(const QHostAddress &peer) const
{
    const auto it = entries_.constFind(keyOf(peer));
    return it == entries_.constEnd() ? 0 : it->failures;
}

}  // namespace talvo
