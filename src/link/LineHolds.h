#pragma once
// Bytes on their way along a line whose two ends run in this process (a test with the
// simulated bus in a thread of its own): while a byte has been written at one end and not yet
// taken at the other, the clock holds where it was written (see Clock's holds). A thread woken
// late by a loaded machine then stretches real time only; the program's answer windows and the
// simulator's patience see the nominal time the line would have taken.
//
// Only lines that the simulator serves here are counted; the program's port to anything else
// (a real amplifier) is left alone. Nothing is counted while the clock's holds are off.

#include <QString>

namespace talvo::LineHolds {

enum class Toward { Amplifiers, Program };

// The simulator's end of `line` is open here (and, with endServing, no longer).
void serve(const QString &line);
void endServing(const QString &line);
// The program's end of `line` is open here (and, with detach, closed: whatever was on its way
// in either direction is dropped). Bytes toward the program count only while it is attached.
void attach(const QString &line);
void detach(const QString &line);
// `count` bytes written at one end, or taken (read and handled) at the other.
void sent(const QString &line, Toward toward, qint64 count);
void taken(const QString &line, Toward toward, qint64 count);
// Whatever was on its way in either direction will never be taken (a client gone).
void dropBoth(const QString &line);

// The name the program's side counts a device under: the one the simulator serves it as.
QString LineName(const QString &devicePath);

}  // namespace talvo::LineHolds
