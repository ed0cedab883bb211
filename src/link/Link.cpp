#include "link/Link.h"

#include <algorithm>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "link/Clock.h"
#include "link/SerialIo.h"
#include "link/Settings.h"

namespace talvo {

namespace {

constexpr int kPleaseWaitAbove = 1;      // frames pending (before this one) that make the operator wait
constexpr int kNoPleaseWaitFrom = 200;   // memory and link commands say nothing about waiting
constexpr int kUnsavedFrom = 2;          // commands 2..195 change settings
constexpr int kUnsavedBelow = 196;
constexpr double kSendWaitMs = 10;       // a short breath when the bus is already busy

// A nested event loop that ends at a nominal deadline, or earlier when `done` says so after
// any event that `wake` is connected to. The timer re-arms for what is left when it fires
// before the clock agrees (rounding to whole milliseconds).
class DeadlineLoop {
public:
    explicit DeadlineLoop(double deadlineMs) : deadlineMs_(deadlineMs)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &loop_, [this] { check(); });
    }

    void exec()
    {
        arm();
        loop_.exec();
    }

    void quit() { loop_.quit(); }

private:
    void arm()
    {
        const double remaining = deadlineMs_ - Clock::nowMs();
        timer_.start(Clock::toRealCeilMs(remaining > 0 ? remaining : 0));
    }
    void check()
    {
        if (Clock::nowMs() >= deadlineMs_)
            loop_.quit();
        else
            arm();
    }

    double deadlineMs_;
    QEventLoop loop_;
    QTimer timer_;
};

}  // namespace

QString ReceiveStatusText(const CommandFrame &frame)
{
    const QString prefix = QStringLiteral("  ") + QString::number(frame.address);
    if (frame.command == 220) {
        switch (frame.data[0]) {
        case 100:
            return prefix + QStringLiteral(": Connect...");
        case 80:
            return prefix + QStringLiteral(": DisConnect...");
        case 90:
        case 110:
            return prefix + QStringLiteral(": Search...");
        default:
            break;
        }
    }
    return prefix + QStringLiteral(": Receive...");
}

QString PleaseWaitText(int address)
{
    return QStringLiteral("  ") + QString::number(address) + QStringLiteral(":Please Wait...");
}

QString FinishText(int address)
{
    return QStringLiteral("  ") + QString::number(address) + QStringLiteral(":Finish...");
}

Link::Link(LinkState &state, QObject *parent)
    : QObject(parent),
      state_(state),
      parser_(state.reply),
      tap_([this](const ReplyFrame &frame) { emit replyFrame(frame); }),
      io_(new SerialIo(state.pendingFrames, state.sendEnabled, this))
{
    connect(io_, &SerialIo::bytesReceived, this, &Link::HandleReceived);
    connect(io_, &SerialIo::frameDone, this, [this](bool written) {
        ++(written ? framesWritten_ : framesFailed_);
        emit frameDone(written);
    });
    connect(io_, &SerialIo::portLost, this, &Link::LosePort);
}

Link::~Link() = default;

void Link::SetDeviceOverride(const QString &devicePath)
{
    deviceOverride_ = devicePath;
}

QString Link::DevicePathFor(int port) const
{
    if (!deviceOverride_.isEmpty())
        return deviceOverride_;
    return Settings::PortDevicePath(port);
}

void Link::LoadPortNumber()
{
    SetPortNumber(Settings::LoadPortNumber());
}

void Link::SetPortNumber(int port)
{
    port &= 0xFF;
    if (port == state_.portNumber)
        return;
    state_.portNumber = port;
    // An open port follows its number; a failure leaves it closed, to be reported by the next
    // Connect or Search.
    if (IsPortOpen())
        OpenPort();
}

bool Link::OpenPort()
{
    return OpenDevice(DevicePathFor(state_.portNumber));
}

bool Link::OpenDevice(const QString &devicePath)
{
    PortFailure failure;
    const bool ok = io_->open(devicePath, &failure);
    openFailure_ = ok ? PortFailure() : failure;
    openedDevice_ = ok ? devicePath : QString();
    if (ok)
        loss_ = PortFailure();
    return ok;
}

void Link::LosePort(const PortFailure &why)
{
    // Offline as after a disconnect; the disconnect frames themselves cannot go out any more.
    state_.linkActive = 0;
    state_.reply.replyAddress = 0;
    loss_ = why;
    if (!loss_.isError())
        loss_.kind = PortFailure::Kind::Other;
    emit portLost(why);
}

void Link::ClosePort()
{
    io_->close();
}

bool Link::IsPortOpen() const
{
    return io_->isOpen();
}

bool Link::SendIfIdle()
{
    return Send(true);
}

bool Link::SendCommand()
{
    return Send(false);
}

bool Link::Send(bool ifIdle)
{
    // Handlers running in the wait below may change outFrame; this frame is what was asked for.
    const CommandFrame frame = state_.outFrame;

    if (ifIdle || (frame.command >= kUnsavedFrom && frame.command < kUnsavedBelow))
        state_.unsavedChanges = kYes;

    if (state_.sendEnabled.load() != 1 || state_.linkActive != kYes)
        return false;
    if (ifIdle && state_.pendingFrames.load() >= 1)
        return false;

    if (state_.pendingFrames.load() > 0)
        WaitPumping(kSendWaitMs);

    emit statusText(0, ReceiveStatusText(frame));
    const QByteArray wire = frame.wireBytes();
    if (!ifIdle && state_.pendingFrames.load() > kPleaseWaitAbove && frame.command < kNoPleaseWaitFrom)
        emit statusText(0, PleaseWaitText(frame.address));

    state_.reply.replyAddress = 0;
    io_->enqueue(wire, PacingDelayMs(frame.command));
    return true;
}

void Link::WaitPumping(double ms)
{
    DeadlineLoop wait(Clock::nowMs() + ms);
    wait.exec();
}

void Link::ProcessMessages()
{
    QCoreApplication::processEvents();
}

bool Link::WaitForIdle(double timeoutMs)
{
    return WaitUntil([this] { return state_.pendingFrames.load() <= 0; }, timeoutMs);
}

bool Link::WaitUntil(const std::function<bool()> &done, double timeoutMs)
{
    if (done())
        return true;
    DeadlineLoop wait(Clock::nowMs() + timeoutMs);
    const auto look = [&] {
        if (done())
            wait.quit();
    };
    const QMetaObject::Connection onFrame = connect(this, &Link::frameDone, this, look);
    const QMetaObject::Connection onBytes = connect(io_, &SerialIo::bytesReceived, this, look);
    const QMetaObject::Connection onLoss = connect(this, &Link::portLost, this, look);
    wait.exec();
    disconnect(onFrame);
    disconnect(onBytes);
    disconnect(onLoss);
    return done();
}

bool Link::WaitUnlessLost(double ms)
{
    WaitUntil([this] { return PortLost(); }, ms);
    return !PortLost();
}

void Link::HandleReceived(const QByteArray &bytes)
{
    for (qsizetype offset = 0; offset < bytes.size(); offset += kReceivePiece) {
        const QByteArrayView piece = QByteArrayView(bytes).sliced(offset, std::min<qsizetype>(kReceivePiece, bytes.size() - offset));
        parser_.ParseReplyBytes(piece);
        tap_.feed(piece);
    }
}

}  // namespace talvo
