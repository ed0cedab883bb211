#pragma once
// The fleet form of talvoctl's amplifier commands: one command over an ID list on several
// buses at once (see devices/Fleet.h), its options, its progress on stderr, Ctrl+C, and the
// summary on stdout that an installer can file.
//
// A command takes the fleet form when its arguments ask for more than one amplifier or bus:
// --port given more than once, a --port with its own list (PORT=LIST), or an --id that is a
// list, a range or ID.SUB. A plain --id N on one --port runs the single command as before.

#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "devices/Fleet.h"

namespace talvo::cli {

// Every "--port VALUE" / "--port=VALUE" in order; `rest` gets the other arguments. `problem`
// is set when a --port has no value.
QStringList TakeAllPorts(const QStringList &args, QStringList &rest, QString &problem);

// Whether the arguments ask for the fleet form (see above).
bool WantsFleet(const QStringList &args);

// The plan from the ports (each PORT or PORT=LIST) and --id (the list for every port without
// its own). Refused (empty, `problem` says why): no port, a port without a list when --id is
// missing, a bad list, a port that is no port, the same port twice, --sub beside a list.
std::optional<FleetPlan> FleetPlanFrom(const QStringList &ports, const std::optional<QString> &idText,
                                       const std::optional<QString> &subText, bool mute, QString &problem);

// Runs the plan to its end: Ctrl+C (and SIGTERM) stop it cleanly, a line per amplifier goes
// to err as each finishes (under a progress bar when err is a terminal), and the summary to
// out as a table or, with `json`, as one JSON document. `label` names the operation in the
// JSON ("memory backup"). Exit status: 0 when every amplifier is done, 1 otherwise (the ones
// not done named on err in one line).
// `table`, when given, prints the results in the command's own table instead of the summary's.
using FleetTable = std::function<void(const std::vector<FleetResult> &, QTextStream &)>;
int RunFleet(FleetRunner &runner, const char *command, const QString &label, bool json, QTextStream &out,
             QTextStream &err, const FleetTable &table = {});

// The fleet forms of the amplifier commands (FleetCommands.cpp, SetCommand.cpp). Each takes the
// same arguments as its command; memory's start with the action.
bool WantsMemoryFleet(const QStringList &args);  // also a backup or restore into DIR/
int RunMemoryFleet(const QStringList &args, QTextStream &out, QTextStream &err);
int RunConnectFleet(const QStringList &args, QTextStream &out, QTextStream &err);
int RunSetFleet(const QStringList &args, QTextStream &out, QTextStream &err);

}  // namespace talvo::cli
