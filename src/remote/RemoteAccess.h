#pragma once
// Who may use the room remote: the pairing token every request and every WebSocket presents,
// and the slowing down of a client that presents wrong ones.
//
// A token is drawn anew from the system's random source at every start of the server, so a
// phone paired with an earlier run has to scan the code again. Comparing takes the same time
// wherever the first difference lies. A wrong token makes its address wait: its answer comes
// only after a penalty that doubles with every failure in a row (up to a ceiling), and further
// requests from that address are not looked at before then, so guessing in parallel gains
// nothing either.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>

#include "link/Clock.h"

namespace talvo {

// Bytes drawn for a token: 160 bits, written as 40 hexadecimal digits.
inline constexpr int kPairingTokenBytes = 20;

// A fresh token from the system's random source (QRandomGenerator::system()).
QByteArray NewPairingToken();

// Whether `presented` is `expected`, in a time that depends on the expected length only.
bool TokensEqual(QByteArrayView presented, QByteArrayView expected);

class FailedAttempts {
public:
    // `firstPenaltyMs`: the wait after a first wrong token; each further one doubles it, up to
    // `maxPenaltyMs`. A client that stays away `forgetMs` after its last failure starts afresh.
    explicit FailedAttempts(int firstPenaltyMs = 250, int maxPenaltyMs = 8000, int forgetMs = 600000);

    // Milliseconds before a request from `peer` may be looked at (0: now).
    qint64 WaitFor(const QHostAddress &peer) const;
    // A wrong token from `peer`: its penalty in milliseconds, which is also how long the
    // address now waits.
    qint64 Failed(const QHostAddress &peer);
    // Failures in a row counted against `peer`.
    int FailureCount(const QHostAddress &peer) const;

private:
    struct Entry {
        int failures = 0;
        qint64 lastFailureMs = 0;
        qint64 heldUntilMs = 0;
    };
    // The program's clock, which the tests run faster: a penalty is a wait like any other.
    static qint64 nowMs() { return static_cast<qint64>(Clock::nowMs()); }
    static QString keyOf(const QHostAddress &peer);

    int firstPenaltyMs_;
    int maxPenaltyMs_;
    int forgetMs_;
    QHash<QString, Entry> entries_;
};

}  // namespace talvo
