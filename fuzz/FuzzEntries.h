#pragma once
// Entry points that feed outside bytes to every decoder of the program: the reply parser, the
// program and memory files (through `talvoctl show --json` and back through `pack`), the
// device list, the settings file, the simulator's frame finder and the measured-EQ filter files
// (through `talvoctl eq import` and `export`).
//
// Each entry checks properties that must hold for any input, not only that nothing crashes,
// and returns an empty string when they hold, else one line saying which one broke. The
// libFuzzer targets (FuzzTarget.cpp) abort on a broken property; the test suite replays the
// saved regression inputs through the very same functions.

#include <span>

#include <QByteArrayView>
#include <QString>

namespace talvo::fuzz {

using EntryFunction = QString (*)(QByteArrayView input);

struct Entry {
    const char *name;  // the target's name and the name of its corpus folder
    EntryFunction run;
};

QString ReplyStream(QByteArrayView input);
QString ProgramFiles(QByteArrayView input);
QString ProgramJson(QByteArrayView input);
QString DeviceListFile(QByteArrayView input);
QString SettingsFile(QByteArrayView input);
QString FrameFinder(QByteArrayView input);
QString FilterFiles(QByteArrayView input);

std::span<const Entry> Entries();

}  // namespace talvo::fuzz
