#include "editors/EditorTimer.h"

#include <QTimer>

#include "link/Clock.h"

namespace talvo {

EditorTimer::EditorTimer(double intervalMs, QObject *parent) : QObject(parent), intervalMs_(intervalMs), timer_(new QTimer(this))
{
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &EditorTimer::fired);
}

void EditorTimer::start()
{
    nextMs_ = Clock::nowMs() + intervalMs_;
    arm();
}

void EditorTimer::arm()
{
    const double left = nextMs_ - Clock::nowMs();
    timer_->start(Clock::toRealCeilMs(left > 0 ? left : 0));
}

void EditorTimer::fired()
{
    const double now = Clock::nowMs();
    if (now < nextMs_) {
        arm();  // the clock held meanwhile, or the timer rounded short
        return;
    }
    // A tick the event loop could not take in time is not made up for with a burst.
    nextMs_ += intervalMs_;
    if (nextMs_ <= now)
        nextMs_ = now + intervalMs_;
    arm();
    emit timeout();
}

void EditorTimer::stop()
{
    timer_->stop();
}

bool EditorTimer::isActive() const
{
    return timer_->isActive();
}

}  // namespace talvo
