#include "link/Connection.h"

#include <QTimer>

#include "link/Clock.h"
#include "link/Link.h"
#include "link/Settings.h"

namespace talvo {

namespace {

constexpr std::uint8_t kLinkCommand = 220;
constexpr std::uint8_t kDisconnectData = 80;
constexpr int kProgressSteps = 50;  // 0, 2, 4 ... 100
constexpr double kDisconnectOutMs = 2000;  // the two frames leaving the connection's own device

const QString kOffline = QStringLiteral("OFFLINE");

}  // namespace

QString PortLostStatusText(int port, const PortFailure &why)
{
    return QStringLiteral("  COM%1 lost: %2").arg(port).arg(why.reason());
}

QString PortLostText(int port, const PortFailure &why)
{
    const QString name = why.device.isEmpty() ? QStringLiteral("COM%1").arg(port)
                                              : QStringLiteral("COM%1 (%2)").arg(port).arg(why.device);
    return QStringLiteral("%1 was lost: %2.\r\rThe amplifier is OFFLINE. Connect again once the port is back.")
        .arg(name, why.reason());
}

LinkController::LinkController(Link &link, QObject *parent) : QObject(parent), link_(link)
{
    connect(&link_, &Link::portLost, this, &LinkController::PortLost);
}

QString LinkController::OpenErrorText() const
{
    const QString text = talvo::OpenErrorText(link_.state().portNumber);
    const PortFailure &why = link_.OpenFailure();
    return why.isError() ? text + QLatin1Char('\r') + why.describe() : text;
}

void LinkController::PortLost(const PortFailure &why)
{
    emit indicatorChanged(false, kOffline);
    link_.ShowProgress(0);
    link_.ShowStatus(0, PortLostStatusText(link_.state().portNumber, why));
    link_.ShowStatus(2, QString());
    emit linkLost();
    if (!link_.LossToldByProcedure())
        emit portLost(QLatin1String(kPortLostCaption), PortLostText(link_.state().portNumber, why));
}

void LinkController::ReopenPort()
{
    link_.ClosePort();
    link_.WaitPumping(kReopenPauseMs);
    link_.OpenPort();  // a failure shows later: the caller looks at the port, or nothing answers
}

bool LinkController::ConnectLinkSteps()
{
    link_.ClosePort();
    ReopenPort();
    if (!link_.IsPortOpen()) {
        emit openError(QLatin1String(kOpenErrorCaption), OpenErrorText());
        return false;
    }
    LinkState &s = link_.state();
    s.sendEnabled.store(1);
    s.reply.replyAddress = 0;
    return true;
}

bool LinkController::SearchLinkSteps()
{
    link_.ClosePort();
    link_.WaitPumping(kSearchReopenPauseMs);
    if (!link_.OpenPort()) {
        emit openError(QLatin1String(kOpenErrorCaption), OpenErrorText());
        return false;
    }
    link_.state().sendEnabled.store(1);
    return true;
}

void LinkController::ConnectionMade()
{
    connectionDevice_ = link_.OpenedDevice();
}

void LinkController::Disconnect()
{
    if (disconnecting_)
        return;
    disconnecting_ = true;
    LinkState &s = link_.state();

    if (s.sendEnabled.load() == 1) {
        // The frames belong to the amplifier the connection was made with, not to whatever
        // bus the port number leads to now.
        const QString madeOn = s.linkActive == kYes ? connectionDevice_ : QString();
        const bool elsewhere = !madeOn.isEmpty() && madeOn != link_.OpenedDevice();
        const bool reachable = !elsewhere || link_.OpenDevice(madeOn);
        if (reachable) {
            s.outFrame.set(kLinkCommand, {kDisconnectData});
            link_.SendCommand();
            // These two pauses hold the interface on purpose: nothing may slip in between the
            // two disconnect frames.
            Clock::sleepForMs(kDisconnectFirstPauseMs);
            link_.SendCommand();
            Clock::sleepForMs(kDisconnectSecondPauseMs);
        }
        if (elsewhere) {
            if (reachable)
                link_.WaitForIdle(kDisconnectOutMs);
            link_.OpenPort();  // a port that does not open shows when the next frame cannot be written
        }

        s.reply.replyAddress = 0;
        for (int i = 0; i < 3; ++i)
            Link::ProcessMessages();

        emit indicatorChanged(false, kOffline);

        if (s.linkActive == kYes) {
            for (int i = 0; i <= kProgressSteps; ++i) {
                link_.WaitPumping(s.shuttingDown == kYes ? kDisconnectStepShuttingDownMs : kDisconnectStepMs);
                link_.ShowProgress(2 * i);
            }
            link_.ShowProgress(0);
        }

        emit indicatorChanged(false, kOffline);
        link_.ShowStatus(0, QStringLiteral("   ") + QString::number(s.connectWindowId) + QStringLiteral(": Disconnect"));
        s.linkActive = 0;
    }

    link_.ShowStatus(2, QString());
    connectionDevice_.clear();
    disconnecting_ = false;
}

void LinkController::Shutdown()
{
    link_.state().shuttingDown = kYes;
    Disconnect();
}

void LinkController::Timer4Timer()
{
    const LinkState &s = link_.state();
    if (s.reply.replyAddress <= 0)
        return;
    if (s.pendingFrames.load() < 2)
        link_.ShowStatus(0, FinishText(s.outFrame.address));
    else if (s.outFrame.command < 200)
        link_.ShowStatus(0, PleaseWaitText(s.outFrame.address));
}

void LinkController::StartStatusTimer()
{
    if (!statusTimer_) {
        statusTimer_ = new QTimer(this);
        connect(statusTimer_, &QTimer::timeout, this, &LinkController::Timer4Timer);
    }
    statusTimer_->start(Clock::toRealCeilMs(kStatusTimerMs));
}

void LinkController::StopStatusTimer()
{
    if (statusTimer_)
        statusTimer_->stop();
}

}  // namespace talvo
