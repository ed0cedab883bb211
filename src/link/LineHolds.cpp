#include "link/LineHolds.h"

#include <array>
#include <map>
#include <mutex>

#include <QFileInfo>

#include "link/Clock.h"
#include "link/TcpAddress.h"

namespace talvo::LineHolds {
namespace {

struct Direction {
    explicit Direction(const char *who) : hold(who) {}
    qint64 onTheWay = 0;
    ClockHold hold;
};

struct Line {
    std::array<Direction, 2> toward{Direction("bytes toward the amplifiers"), Direction("bytes toward the program")};
    bool programAttached = false;
};

std::mutex g_mutex;
std::map<QString, Line> &lines()
{
    static std::map<QString, Line> served;
    return served;
}

Direction *find(const QString &line, Toward toward)
{
    const auto it = lines().find(line);
    return it == lines().end() ? nullptr : &it->second.toward[static_cast<std::size_t>(toward)];
}

void dropLocked(const QString &line, Toward toward)
{
    if (Direction *d = find(line, toward)) {
        d->onTheWay = 0;
        d->hold.clear();
    }
}

}  // namespace

void serve(const QString &line)
{
    const std::lock_guard lock(g_mutex);
    lines()[line];
}

void endServing(const QString &line)
{
    const std::lock_guard lock(g_mutex);
    lines().erase(line);
}

void attach(const QString &line)
{
    const std::lock_guard lock(g_mutex);
    const auto it = lines().find(line);
    if (it != lines().end())
        it->second.programAttached = true;
}

void detach(const QString &line)
{
    const std::lock_guard lock(g_mutex);
    const auto it = lines().find(line);
    if (it == lines().end())
        return;
    it->second.programAttached = false;
    dropLocked(line, Toward::Amplifiers);
    dropLocked(line, Toward::Program);
}

void sent(const QString &line, Toward toward, qint64 count)
{
    if (count <= 0 || !Clock::holdsEnabled())
        return;
    const std::lock_guard lock(g_mutex);
    const auto it = lines().find(line);
    // Bytes toward a program that is not there are never taken.
    if (it == lines().end() || (toward == Toward::Program && !it->second.programAttached))
        return;
    Direction *d = &it->second.toward[static_cast<std::size_t>(toward)];
    if (d->onTheWay == 0)
        d->hold.at(Clock::nowMs() + Clock::kLineSlackMs);
    d->onTheWay += count;
}

void taken(const QString &line, Toward toward, qint64 count)
{
    if (count <= 0)
        return;
    const std::lock_guard lock(g_mutex);
    Direction *d = find(line, toward);
    if (!d || d->onTheWay == 0)
        return;
    d->onTheWay = std::max<qint64>(0, d->onTheWay - count);
    if (d->onTheWay == 0)
        d->hold.clear();
}

void dropBoth(const QString &line)
{
    const std::lock_guard lock(g_mutex);
    dropLocked(line, Toward::Amplifiers);
    dropLocked(line, Toward::Program);
}

QString LineName(const QString &devicePath)
{
    if (IsTcpPortName(devicePath))
        return devicePath;
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    return canonical.isEmpty() ? devicePath : canonical;
}

}  // namespace talvo::LineHolds
