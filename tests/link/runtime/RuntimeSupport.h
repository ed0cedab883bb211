#pragma once
// What the link runtime tests share: a simulated bus served on a pseudo-terminal in a thread of
// this process, a private settings folder, a faster clock, and recorders for the signals.

#include "tests/support/ScopedHome.h"
#include "tests/support/SimLine.h"
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "link/Clock.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "sim/Bus.h"
#include "sim/SerialServer.h"

namespace talvo::testing {

inline QByteArray FromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

inline QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

using testsupport::PatientBus;
using testsupport::SimLine;

// The settings file goes to a folder of its own for the test's lifetime.
using ScopedConfigHome = testsupport::ScopedHome;

class ScopedSpeed {
public:
    explicit ScopedSpeed(double speed) { Clock::setSpeed(speed); }
    ~ScopedSpeed() { Clock::setSpeed(1.0); }
};

// Every signal a window would show, in order.
struct Shown {
    std::vector<std::pair<int, QString>> status;
    std::vector<int> progress;
    std::vector<double> progressAtMs;  // when each progress value was shown (nominal ms)
    std::vector<std::pair<bool, QString>> indicator;
    std::vector<std::pair<QString, QString>> openErrors;
    std::vector<bool> framesDone;
    std::vector<ReplyFrame> replies;

    void watch(Link &link)
    {
        QObject::connect(&link, &Link::statusText, [this](int panel, const QString &text) { status.emplace_back(panel, text); });
        QObject::connect(&link, &Link::progressChanged, [this](int p) {
            progress.push_back(p);
            progressAtMs.push_back(Clock::nowMs());
        });
        QObject::connect(&link, &Link::frameDone, [this](bool written) { framesDone.push_back(written); });
        QObject::connect(&link, &Link::replyFrame, [this](const ReplyFrame &f) { replies.push_back(f); });
    }
    void watch(LinkController &controller)
    {
        QObject::connect(&controller, &LinkController::indicatorChanged,
                         [this](bool lit, const QString &text) { indicator.emplace_back(lit, text); });
        QObject::connect(&controller, &LinkController::openError,
                         [this](const QString &caption, const QString &text) { openErrors.emplace_back(caption, text); });
    }

    QString lastPanel(int panel) const
    {
        for (auto it = status.rbegin(); it != status.rend(); ++it) {
            if (it->first == panel)
                return it->second;
        }
        return QStringLiteral("<never written>");
    }
};

// A link on the simulated line, connected as the Connect window leaves it.
struct ConnectedLink {
    LinkState state;
    Link link{state};

    explicit ConnectedLink(const QString &device, std::uint8_t id = 1)
    {
        link.SetDeviceOverride(device);
        EXPECT_TRUE(link.OpenPort()) << link.LastOpenFailure().toStdString();
        state.sendEnabled.store(1);
        state.linkActive = kYes;
        state.outFrame.address = id;
        state.chosenId = id;
    }

    void send(std::uint8_t command, std::initializer_list<std::uint8_t> data)
    {
        state.outFrame.set(command, data);
        link.SendCommand();
    }
};

}  // namespace talvo::testing
