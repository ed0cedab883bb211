#pragma once
// The command line of talvo-ampsim, parsed into amplifier configurations.

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "link/TcpAddress.h"
#include "sim/Amplifier.h"

namespace talvo::sim {

struct SimOptions {
    QString devicePath;   // empty: open a new pseudo-terminal (or listen, with tcp)
    std::optional<TcpAddress> tcp;  // listen on this address instead of a serial line
    QString recordPath;   // empty: no record file
    std::vector<AmplifierConfig> amplifiers;  // at least one after a successful parse
    bool help = false;
};

struct SimOptionsResult {
    bool ok = false;
    SimOptions options;
    QString error;  // one line, for the user, when !ok
};

// args: the arguments after the program name.
SimOptionsResult ParseSimArguments(const QStringList &args);

QString SimUsage();

}  // namespace talvo::sim
