#include "link/Clock.h"

#include <atomic>
#include <thread>

namespace talvo {
namespace {

const Clock::RealClock::time_point &epoch()
{
    static const Clock::RealClock::time_point start = Clock::RealClock::now();
    return start;
}

// Nominal time runs at `speed` from the point (baseRealNs, baseNominalMs) on, so that changing
// the speed never makes the clock jump or run backwards. The speed is changed only while
// nothing is being timed (tests, between cases).
std::atomic<double> g_speed{1.0};
std::atomic<double> g_baseNominalMs{0.0};
std::atomic<std::int64_t> g_baseRealNs{0};

std::int64_t realNsSinceEpoch()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::RealClock::now() - epoch()).count();
}

}  // namespace

double Clock::nowMs()
{
    const double realMs = static_cast<double>(realNsSinceEpoch() - g_baseRealNs.load(std::memory_order_relaxed)) / 1e6;
    return g_baseNominalMs.load(std::memory_order_relaxed) + realMs * g_speed.load(std::memory_order_relaxed);
}

std::chrono::nanoseconds Clock::toReal(double nominalMs)
{
    if (nominalMs <= 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(static_cast<std::int64_t>(nominalMs * 1e6 / speed()));
}

std::chrono::milliseconds Clock::toRealCeilMs(double nominalMs)
{
    return std::chrono::ceil<std::chrono::milliseconds>(toReal(nominalMs));
}

Clock::RealClock::time_point Clock::realDeadline(double deadlineMs)
{
    const double sinceBaseMs = (deadlineMs - g_baseNominalMs.load(std::memory_order_relaxed)) / speed();
    return epoch() + std::chrono::nanoseconds(g_baseRealNs.load(std::memory_order_relaxed) +
                                              static_cast<std::int64_t>(sinceBaseMs * 1e6));
}

void Clock::sleepUntilMs(double deadlineMs)
{
    std::this_thread::sleep_until(realDeadline(deadlineMs));
}

void Clock::setSpeed(double speed)
{
    const double now = nowMs();
    g_baseRealNs.store(realNsSinceEpoch(), std::memory_order_relaxed);
    g_baseNominalMs.store(now, std::memory_order_relaxed);
    g_speed.store(speed > 0 ? speed : 1.0, std::memory_order_relaxed);
}

double Clock::speed()
{
    return g_speed.load(std::memory_order_relaxed);
}

}  // namespace talvo
