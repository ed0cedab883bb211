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

std::atomic<double> g_speed{1.0};

}  // namespace

double Clock::nowMs()
{
    const auto real = std::chrono::duration<double, std::milli>(RealClock::now() - epoch());
    return real.count() * g_speed.load(std::memory_order_relaxed);
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
    return epoch() + std::chrono::nanoseconds(static_cast<std::int64_t>(deadlineMs * 1e6 / speed()));
}

void Clock::sleepUntilMs(double deadlineMs)
{
    std::this_thread::sleep_until(realDeadline(deadlineMs));
}

void Clock::setSpeed(double speed)
{
    epoch();  // pin the epoch before the speed changes what nowMs() means
    g_speed.store(speed > 0 ? speed : 1.0, std::memory_order_relaxed);
}

double Clock::speed()
{
    return g_speed.load(std::memory_order_relaxed);
}

}  // namespace talvo
