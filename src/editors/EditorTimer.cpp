#include "editors/EditorTimer.h"

#include <QTimer>

#include "link/Clock.h"

namespace talvo {

EditorTimer::EditorTimer(double intervalMs, QObject *parent) : QObject(parent), intervalMs_(intervalMs), timer_(new QTimer(this))
{
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &EditorTimer::timeout);
}

void EditorTimer::start()
{
    // The interval is taken at the clock's speed of the moment; the speed changes only while
    // nothing is timed.
    timer_->start(Clock::toRealCeilMs(intervalMs_));
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
