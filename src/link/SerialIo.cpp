#include "link/SerialIo.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "link/Clock.h"
#include "link/CommandFrame.h"
#include "link/LineHolds.h"
#include "link/TcpAddress.h"

namespace talvo {

namespace {

// How much of each pause is slept on the I/O thread itself rather than in its event loop.
constexpr std::chrono::nanoseconds kFinalSleep = std::chrono::milliseconds(1);
// However fast a test runs the clock, connecting gets at least this long in real time.
constexpr std::chrono::milliseconds kMinConnectWait(500);

PortFailure::Kind ConnectFailureKind(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return PortFailure::Kind::Refused;
    case QAbstractSocket::HostNotFoundError:
        return PortFailure::Kind::NameNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return PortFailure::Kind::TimedOut;
    case QAbstractSocket::NetworkError:
        return PortFailure::Kind::Unreachable;
    case QAbstractSocket::RemoteHostClosedError:
        return PortFailure::Kind::Dropped;
    default:
        return PortFailure::Kind::Other;
    }
}

// Every time an I/O thread of this process woke for its port (see SerialIo::WakeUps).
std::atomic<long> g_wakeUps{0};

}  // namespace

// ---------------------------------------------------------------------------------------------
// SerialWorker: the I/O thread's side.

SerialWorker::SerialWorker(std::atomic<int> &pendingFrames, const std::atomic<int> &sendEnabled,
                           std::atomic<bool> &portOpen)
    : pendingFrames_(pendingFrames),
      sendEnabled_(sendEnabled),
      portOpen_(portOpen),
      port_(new QSerialPort(this)),
      socket_(new QTcpSocket(this)),
      timer_(new QTimer(this))
{
    // Children move to the I/O thread with their parent; nothing here runs before that.
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &SerialWorker::onTimer);
    connect(port_, &QSerialPort::readyRead, this, &SerialWorker::onReadyRead);
    connect(port_, &QSerialPort::bytesWritten, this, &SerialWorker::onBytesWritten);
    connect(port_, &QSerialPort::errorOccurred, this, &SerialWorker::onError);
    connect(socket_, &QTcpSocket::readyRead, this, &SerialWorker::onReadyRead);
    connect(socket_, &QTcpSocket::bytesWritten, this, &SerialWorker::onBytesWritten);
    connect(socket_, &QTcpSocket::errorOccurred, this, &SerialWorker::onSocketError);
    connect(socket_, &QTcpSocket::disconnected, this, &SerialWorker::onSocketGone);
}

bool SerialWorker::deviceOpen() const
{
    return tcp_ ? tcpOpen_ : port_->isOpen();
}

QIODevice *SerialWorker::device() const
{
    if (tcp_)
        return socket_;
    return port_;
}

void SerialWorker::pushOut()
{
    if (tcp_)
        socket_->flush();
    else
        port_->flush();
}

PortFailure SerialWorker::lineFailure() const
{
    if (!tcp_)
        return ProbeOpenLine(port_->handle(), devicePath_);
    if (socket_->state() == QAbstractSocket::ConnectedState)
        return PortFailure{};
    const PortFailure::Kind kind = ConnectFailureKind(socket_->error());
    if (kind == PortFailure::Kind::Other && socket_->error() != QAbstractSocket::UnknownSocketError)
        return PortFailure{kind, devicePath_, socket_->errorString()};
    // Whatever the socket says, a connection that was up and is gone was dropped.
    return PortFailure{PortFailure::Kind::Dropped, devicePath_, QString()};
}

bool SerialWorker::openTcp(const QString &name, PortFailure *failure)
{
    QString problem;
    const std::optional<TcpAddress> address = ParseTcpPortName(name, &problem);
    if (!address) {
        if (failure)
            *failure = PortFailure{PortFailure::Kind::BadAddress, name, problem};
        return false;
    }
    // The I/O thread waits here, sleeping in the socket's own wait; frames queued meanwhile go
    // out once the connection is up (or fail when it is not).
    socket_->connectToHost(address->host, address->port);
    const auto wait = std::max(Clock::toRealCeilMs(kTcpConnectTimeoutMs), kMinConnectWait);
    if (!socket_->waitForConnected(static_cast<int>(wait.count()))) {
        const QAbstractSocket::SocketError error = socket_->error();
        PortFailure::Kind kind = ConnectFailureKind(error);
        if (kind == PortFailure::Kind::Dropped)
            kind = PortFailure::Kind::Refused;  // closed before it was up: turned away
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            kind = PortFailure::Kind::TimedOut;  // still looking up or connecting
        QString detail;
        if (kind == PortFailure::Kind::Other || kind == PortFailure::Kind::Unreachable)
            detail = socket_->errorString();
        socket_->abort();
        if (failure)
            *failure = PortFailure{kind, name, detail};
        return false;
    }
    // Every byte is its own segment, sent at once: the pause after it is what the bus sees.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    tcpOpen_ = true;
    portOpen_.store(true);
    lost_ = false;
    lineName_ = LineHolds::LineName(name);
    LineHolds::attach(lineName_);
    return true;
}

bool SerialWorker::openDevice(const QString &devicePath, PortFailure *failure)
{
    if (deviceOpen())
        closeDevice();
    // Remembered even when opening fails: the next frame tries it again.
    devicePath_ = devicePath;
    if (devicePath.isEmpty()) {
        if (failure)
            *failure = PortFailure{PortFailure::Kind::NoDeviceSet, devicePath, QString()};
        return false;
    }
    tcp_ = IsTcpPortName(devicePath);
    if (tcp_)
        return openTcp(devicePath, failure);

    port_->setPortName(devicePath);
    port_->setBaudRate(kBaudRate);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (failure)
            *failure = ProbeOpenFailure(devicePath, port_->error() == QSerialPort::PermissionError, port_->errorString());
        port_->clearError();
        return false;
    }
    // A pseudo-terminal or a three-wire adapter has no modem lines; that is no reason to fail.
    port_->setDataTerminalReady(false);
    port_->setRequestToSend(false);
    port_->clearError();
    portOpen_.store(true);
    lost_ = false;
    lineName_ = LineHolds::LineName(devicePath);
    LineHolds::attach(lineName_);
    return true;
}

void SerialWorker::closeDevice()
{
    // A frame half written stops here: its rest must not go out later, on whatever device is
    // opened next. One that is only pausing after its last byte is complete and keeps its pause.
    if (busy_ && step_ != &SerialWorker::pacingOver)
        failFrame();
    if (port_->isOpen())
        port_->close();
    port_->clearError();
    // At once, without waiting for the far end: nothing still buffered may go out later.
    tcpOpen_ = false;
    socket_->abort();
    portOpen_.store(false);
    LineHolds::detach(lineName_);
}

void SerialWorker::enqueue(const QByteArray &wire, int pacingMs, Clock::HoldId queued)
{
    queue_.push_back(Frame{wire, pacingMs});
    startNextFrame();
    // Taken up: from here the steps' own holds keep the clock.
    Clock::release(queued);
}

void SerialWorker::shutdown()
{
    timer_->stop();
    step_ = nullptr;
    stepHold_.clear();
    int dropped = static_cast<int>(queue_.size()) + (busy_ ? 1 : 0);
    queue_.clear();
    busy_ = false;
    draining_ = false;
    if (dropped > 0)
        pendingFrames_.fetch_sub(dropped);
    closeDevice();
}

void SerialWorker::startNextFrame()
{
    while (!busy_ && !queue_.empty()) {
        Frame frame = std::move(queue_.front());
        queue_.pop_front();

        // Whoever cleared sendEnabled meant the frames that reach the wire from now on.
        bool usable = sendEnabled_.load() == 1;
        // A write while the port is closed opens it first; a lost port waits for an explicit open.
        if (usable && !deviceOpen())
            usable = !lost_ && !devicePath_.isEmpty() && openDevice(devicePath_, nullptr);
        if (!usable) {
            pendingFrames_.fetch_sub(1);
            emit frameDone(false);
            continue;
        }

        busy_ = true;
        current_ = std::move(frame);
        nextByte_ = 0;
        writeNextByte();
    }
}

void SerialWorker::writeNextByte()
{
    if (nextByte_ >= current_.wire.size()) {
        armAt(Clock::nowMs() + current_.pacingMs, &SerialWorker::pacingOver);
        return;
    }

    // One byte per write, pushed to the driver at once, so that the silence after it is real.
    writeFailed_ = false;
    const char byte = current_.wire.at(nextByte_);
    bool written = false;
    // Counted before it is written: the far end may take it before the write even returns. A
    // byte that fails to go loses the line, which drops the count.
    if (deviceOpen())
        LineHolds::sent(lineName_, LineHolds::Toward::Amplifiers, 1);
    if (deviceOpen() && device()->write(&byte, 1) == 1) {
        pushOut();
        written = true;
    }
    if (!deviceOpen()) {
        failFrame();  // closed on purpose under the frame
        return;
    }
    if (tcp_ && (!written || socket_->state() != QAbstractSocket::ConnectedState)) {
        loseLine(lineFailure());
        return;
    }
    if (!tcp_ && (!written || writeFailed_)) {
        PortFailure why = lineFailure();
        // A healthy port whose driver had no room (a resource error) keeps the byte buffered:
        // the drain wait below decides.
        const bool noRoom = written && !why.isError() && writeError_ == QSerialPort::ResourceError;
        if (!noRoom) {
            if (!why.isError())
                why = PortFailure{PortFailure::Kind::WriteFailed, devicePath_, port_->errorString()};
            loseLine(why);
            return;
        }
    }
    ++nextByte_;
    if (device()->bytesToWrite() > 0) {
        // The driver took nothing yet (a full buffer): the gap starts once the byte is out.
        draining_ = true;
        armAt(Clock::nowMs() + kByteDrainTimeoutMs, &SerialWorker::drainTimedOut);
        return;
    }
    byteLeftDriver();
}

void SerialWorker::byteLeftDriver()
{
    draining_ = false;
    armAt(Clock::nowMs() + kByteGapMs, &SerialWorker::writeNextByte);
}

void SerialWorker::onBytesWritten()
{
    g_wakeUps.fetch_add(1, std::memory_order_relaxed);
    if (draining_ && device()->bytesToWrite() == 0)
        byteLeftDriver();
}

void SerialWorker::drainTimedOut()
{
    // With no flow control a byte leaves a working port in well under a millisecond.
    PortFailure why = lineFailure();
    if (!why.isError())
        why = PortFailure{PortFailure::Kind::Stalled, devicePath_, QString()};
    loseLine(why);
}

void SerialWorker::pacingOver()
{
    finishFrame(true);
}

void SerialWorker::failFrame()
{
    timer_->stop();
    step_ = nullptr;
    stepHold_.clear();
    draining_ = false;
    // Whatever of the frame is still buffered must not trickle out after the next frame starts.
    if (!tcp_ && port_->isOpen())
        port_->clear(QSerialPort::Output);
    finishFrame(false);
}

void SerialWorker::finishFrame(bool written)
{
    busy_ = false;
    current_ = Frame{};
    pendingFrames_.fetch_sub(1);
    emit frameDone(written);
    // Through the event loop, so that a run of failing frames never nests calls.
    QMetaObject::invokeMethod(this, &SerialWorker::startNextFrame, Qt::QueuedConnection);
}

void SerialWorker::armAt(double deadlineMs, Step step)
{
    deadlineMs_ = deadlineMs;
    step_ = step;
    stepHold_.at(deadlineMs + Clock::kStepSlackMs);
    // The event loop wakes a little early and the last stretch is slept exactly (see onTimer):
    // a timer alone overshoots every 6 ms pause by its wake-up latency, which adds up over a
    // frame of 28 bytes.
    const auto remaining = Clock::toReal(deadlineMs - Clock::nowMs()) - kFinalSleep;
    timer_->start(std::chrono::floor<std::chrono::milliseconds>(std::max(remaining, std::chrono::nanoseconds(0))));
}

void SerialWorker::onTimer()
{
    g_wakeUps.fetch_add(1, std::memory_order_relaxed);
    if (!step_)
        return;
    const auto remaining = Clock::toReal(deadlineMs_ - Clock::nowMs());
    if (remaining > 2 * kFinalSleep) {
        armAt(deadlineMs_, step_);  // woken far too early (the loop's timer rounding): sleep on
        return;
    }
    // At most a couple of milliseconds: bytes arriving meanwhile wait in the driver for that long.
    // Slept in real time: the clock may stand still meanwhile for bytes that only this thread
    // can take in (LineHolds), and those must not wait for the clock.
    if (remaining.count() > 0) {
        std::this_thread::sleep_for(remaining);
        if (Clock::nowMs() < deadlineMs_) {
            // Held short of the deadline: look again soon, without spinning.
            timer_->start(std::chrono::ceil<std::chrono::milliseconds>(Clock::kHeldRecheck));
            return;
        }
    }
    const Step step = step_;
    step_ = nullptr;
    stepHold_.clear();
    (this->*step)();
}

void SerialWorker::onReadyRead()
{
    g_wakeUps.fetch_add(1, std::memory_order_relaxed);
    const QByteArray bytes = device()->readAll();
    if (!bytes.isEmpty()) {
        emit bytesReceived(bytes);
        // Handed on before the clock may go on: the owner's thread finds them queued before any
        // of its own waits can end.
        LineHolds::taken(lineName_, LineHolds::Toward::Program, bytes.size());
    }
}

void SerialWorker::onError(QSerialPort::SerialPortError error)
{
    g_wakeUps.fetch_add(1, std::memory_order_relaxed);
    if (error != QSerialPort::WriteError && error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (error != QSerialPort::ReadError) {
        writeFailed_ = true;
        writeError_ = error;
    }
    // A dead descriptor reports the same error as often as it is looked at: one look is enough.
    if (lineCheckQueued_)
        return;
    lineCheckQueued_ = true;
    // Never act inside QSerialPort's own call: look again once it has returned.
    QMetaObject::invokeMethod(
        this,
        [this, error, words = port_->errorString()] {
            lineCheckQueued_ = false;
            checkLine(error, words);
        },
        Qt::QueuedConnection);
}

void SerialWorker::checkLine(QSerialPort::SerialPortError error, const QString &words)
{
    if (!port_->isOpen())
        return;
    PortFailure why = ProbeOpenLine(port_->handle(), devicePath_);
    if (!why.isError()) {
        // The descriptor is healthy: a resource error was a passing one (nothing to read or
        // no room just then); a failed read or write is not.
        if (error == QSerialPort::ResourceError) {
            port_->clearError();
            return;
        }
        why = PortFailure{error == QSerialPort::ReadError ? PortFailure::Kind::ReadFailed : PortFailure::Kind::WriteFailed,
                          devicePath_, words};
    }
    loseLine(why);
}

void SerialWorker::loseLine(const PortFailure &why)
{
    // A frame whose last byte has left is complete on the wire, whether or not its pause is
    // over; one still being written, and every one queued behind it, failed.
    const bool pausing = busy_ && nextByte_ >= current_.wire.size() && !draining_;
    timer_->stop();
    step_ = nullptr;
    stepHold_.clear();
    draining_ = false;
    lost_ = true;
    LineHolds::detach(lineName_);
    const int dropped = static_cast<int>(queue_.size()) + (busy_ && !pausing ? 1 : 0);
    queue_.clear();
    busy_ = false;
    current_ = Frame{};
    // Closing drops the descriptor from the event loop: a dead port is never polled again.
    if (port_->isOpen())
        port_->close();
    port_->clearError();
    tcpOpen_ = false;
    socket_->abort();
    portOpen_.store(false);
    if (pausing) {
        pendingFrames_.fetch_sub(1);
        emit frameDone(true);
    }
    for (int i = 0; i < dropped; ++i) {
        pendingFrames_.fetch_sub(1);
        emit frameDone(false);
    }
    emit portLost(why);
}

void SerialWorker::onSocketError(QAbstractSocket::SocketError)
{
    g_wakeUps.fetch_add(1, std::memory_order_relaxed);
    if (!tcpOpen_)
        return;  // a failed connect is reported by openTcp; a deliberate close is no loss
    // Never act inside the socket's own call: look again once it has returned.
    QMetaObject::invokeMethod(this, &SerialWorker::onSocketGone, Qt::QueuedConnection);
}

void SerialWorker::onSocketGone()
{
    if (!tcpOpen_)
        return;
    const PortFailure why = lineFailure();
    if (why.isError())
        loseLine(why);
}

// ---------------------------------------------------------------------------------------------
// SerialIo: the owner's side.

SerialIo::SerialIo(std::atomic<int> &pendingFrames, const std::atomic<int> &sendEnabled, QObject *parent)
    : QObject(parent),
      pendingFrames_(pendingFrames),
      thread_(new QThread),
      worker_(new SerialWorker(pendingFrames, sendEnabled, portOpen_))
{
    qRegisterMetaType<talvo::PortFailure>();
    thread_->setObjectName(QStringLiteral("talvo-serial"));
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &SerialWorker::bytesReceived, this, &SerialIo::bytesReceived);
    connect(worker_, &SerialWorker::frameDone, this, &SerialIo::frameDone);
    connect(worker_, &SerialWorker::portLost, this, &SerialIo::portLost);
    thread_->start(QThread::HighPriority);
}

SerialIo::~SerialIo()
{
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->shutdown(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete thread_;
}

long SerialIo::WakeUps()
{
    return g_wakeUps.load(std::memory_order_relaxed);
}

bool SerialIo::open(const QString &devicePath, PortFailure *failure)
{
    bool ok = false;
    PortFailure why;
    QMetaObject::invokeMethod(
        worker_, [&] { ok = worker_->openDevice(devicePath, &why); }, Qt::BlockingQueuedConnection);
    if (failure)
        *failure = why;
    return ok;
}

void SerialIo::close()
{
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->closeDevice(); }, Qt::BlockingQueuedConnection);
}

void SerialIo::enqueue(const QByteArray &wire, int pacingMs)
{
    pendingFrames_.fetch_add(1);
    // The clock waits for the I/O thread to take the frame up, however late it wakes.
    const Clock::HoldId queued = Clock::hold(Clock::nowMs() + Clock::kStepSlackMs, "a frame queued for the I/O thread");
    QMetaObject::invokeMethod(
        worker_, [w = worker_, wire, pacingMs, queued] { w->enqueue(wire, pacingMs, queued); }, Qt::QueuedConnection);
}

}  // namespace talvo
