#include "link/Clock.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>

namespace talvo {
namespace {

using Ns = std::int64_t;

const Clock::RealClock::time_point &epoch()
{
    static const Clock::RealClock::time_point start = Clock::RealClock::now();
    return start;
}

Ns realNsSinceEpoch()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::RealClock::now() - epoch()).count();
}

struct Hold {
    double atMs;
    Ns expiresNs;
    const char *who;  // real time after which the hold no longer counts
};

// Nominal time runs at `speed` from the point (baseRealNs, baseNominalMs) on, and never past
// the lowest hold. Whenever a hold that stopped the clock goes, the base moves to that moment,
// so that the clock goes on from where it stood: it never jumps and never runs backwards.
struct State {
    std::mutex mutex;
    std::condition_variable released;
    double speed = 1.0;
    double baseNominalMs = 0.0;
    Ns baseRealNs = 0;
    bool holdsOn = false;
    std::map<Clock::HoldId, Hold> holds;
    Clock::HoldId nextId = 1;

    double freeAt(Ns realNs) const { return baseNominalMs + static_cast<double>(realNs - baseRealNs) / 1e6 * speed; }

    double lowestHold() const
    {
        double lowest = std::numeric_limits<double>::infinity();
        for (const auto &[id, h] : holds)
            lowest = std::min(lowest, h.atMs);
        return lowest;
    }

    // Holds that outlived their limit end at the moment they expired, the earliest first.
    void expire(Ns realNs)
    {
        for (;;) {
            auto oldest = holds.end();
            for (auto it = holds.begin(); it != holds.end(); ++it) {
                if (it->second.expiresNs <= realNs && (oldest == holds.end() || it->second.expiresNs < oldest->second.expiresNs))
                    oldest = it;
            }
            if (oldest == holds.end())
                return;
            std::fprintf(stderr, "talvo clock: a hold at %.3f ms (%s) was never released; the clock runs on\n",
                         oldest->second.atMs, oldest->second.who);
            remove(oldest, oldest->second.expiresNs);
        }
    }

    double valueAt(Ns realNs) const { return std::min(freeAt(realNs), lowestHold()); }
    bool standingAt(Ns realNs) const { return !holds.empty() && freeAt(realNs) >= lowestHold(); }

    void remove(std::map<Clock::HoldId, Hold>::iterator it, Ns realNs)
    {
        const double stood = valueAt(realNs);
        holds.erase(it);
        if (freeAt(realNs) > stood) {
            baseRealNs = realNs;
            baseNominalMs = stood;
        }
        released.notify_all();
    }

    double now(Ns realNs)
    {
        if (!holds.empty())
            expire(realNs);
        return valueAt(realNs);
    }
};

State &state()
{
    static State s;
    return s;
}

}  // namespace

double Clock::nowMs()
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    return s.now(realNsSinceEpoch());
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
    State &s = state();
    const std::lock_guard lock(s.mutex);
    const Ns realNs = realNsSinceEpoch();
    const double left = std::max(0.0, deadlineMs - s.now(realNs));
    Ns wait = static_cast<Ns>(left * 1e6 / s.speed);
    if (left > 0 && s.standingAt(realNs))
        wait = std::max<Ns>(wait, std::chrono::duration_cast<std::chrono::nanoseconds>(kHeldRecheck).count());
    return epoch() + std::chrono::nanoseconds(realNs + wait);
}

void Clock::sleepUntilMs(double deadlineMs)
{
    State &s = state();
    std::unique_lock lock(s.mutex);
    for (;;) {
        const Ns realNs = realNsSinceEpoch();
        const double left = deadlineMs - s.now(realNs);
        if (left <= 0)
            return;
        // Woken early when a hold goes; otherwise when the clock would get there unheld.
        const auto until = epoch() + std::chrono::nanoseconds(realNs + static_cast<Ns>(left * 1e6 / s.speed) + 1);
        s.released.wait_until(lock, until);
    }
}

void Clock::setSpeed(double speed)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    const Ns realNs = realNsSinceEpoch();
    const double now = s.now(realNs);
    s.baseRealNs = realNs;
    s.baseNominalMs = now;
    s.speed = speed > 0 ? speed : 1.0;
    s.released.notify_all();
}

double Clock::speed()
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    return s.speed;
}

void Clock::enableHolds(bool on)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    s.holdsOn = on;
    if (!on) {
        while (!s.holds.empty())
            s.remove(s.holds.begin(), realNsSinceEpoch());
    }
}

bool Clock::holdsEnabled()
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    return s.holdsOn;
}

Clock::HoldId Clock::hold(double atMs, const char *who)
{
    State &s = state();
    const std::lock_guard lock(s.mutex);
    if (!s.holdsOn)
        return 0;
    const Ns realNs = realNsSinceEpoch();
    const double now = s.now(realNs);
    // The limit counts from when the clock would reach the hold.
    const double ahead = std::max(0.0, atMs - now);
    const Ns expires = realNs + static_cast<Ns>(ahead * 1e6 / s.speed) +
                       std::chrono::duration_cast<std::chrono::nanoseconds>(kHoldLimit).count();
    const HoldId id = s.nextId++;
    s.holds.emplace(id, Hold{std::max(atMs, now), expires, who});
    return id;
}

void Clock::release(HoldId id)
{
    if (id == 0)
        return;
    State &s = state();
    const std::lock_guard lock(s.mutex);
    const auto it = s.holds.find(id);
    if (it != s.holds.end())
        s.remove(it, realNsSinceEpoch());
}

}  // namespace talvo
