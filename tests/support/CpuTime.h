#pragma once
// CPU time actually used, to tell a thread that sleeps from one that spins: a busy loop uses
// a large share of the wall time even on a loaded machine, a sleeping thread next to nothing.

#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace talvo::testsupport {

// User and system time of the threads of this process named `name`, in milliseconds
// (to the kernel's tick, 10 ms on most systems).
inline double ThreadCpuMs(const QString &name)
{
    const double msPerTick = 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || QString::fromLocal8Bit(comm.readAll()).trimmed() != name)
            continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // The fields after the command name (which may hold spaces) start after its ')'.
        const QString text = QString::fromLocal8Bit(stat.readAll());
        const QStringList fields = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (fields.size() > 12)
            total += (fields[11].toDouble() + fields[12].toDouble()) * msPerTick;  // utime, stime
    }
    return total;
}

// User and system time of every child process this process has waited for, in milliseconds.
inline double ChildrenCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval &t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace talvo::testsupport
