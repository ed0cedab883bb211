#pragma once
// Records shared by the program, memory and tool tests.



#include <QByteArray>
#include <QFile>
#include <QString>

#include "programs/ProgramRecord.h"
#include "tests/support/FileSizeLimit.h"

namespace talvo::testing {

// A program with a different value in every field and nothing at its default, so that a field
// written to the wrong place or dropped shows up. Every value is one the editors produce.
inline Program VariedProgram()
{
    Program p;
    const char name[] = "Caf\xE9 \x80 \x9F!?";  // Windows-1252: e-acute, euro sign, Y-diaeresis
    for (int i = 0; i < kNameSize; ++i) p.name[i] = static_cast<std::uint8_t>(name[i]);
    p.mode = 2;
    p.inUse = 1;
    p.programNumber = 7;
    p.headerTail = {0x01, 0x02, 0x03};

    ChannelSettings &l = p.left;
    l.peq[0] = {35.1, 4.5, 1.41};
    l.peq[1] = {1000.0, -11.3, 0.5};
    l.peq[2] = {19800.0, 0.0, 20.0};
    l.flat = {true, false, true};
    l.lowPass = {13, 16000.0};
    l.highPass = {3, 35.1};
    l.gain = -12.5;
    l.delay = 6.99;
    l.limitThreshold = 41;
    l.attack = 1000;
    l.hold = 100;
    l.decay = 257;
    l.phase = 180;
    l.channelTail = {0x20, 0x20, 0x20};

    ChannelSettings &r = p.right;
    r.peq[0] = {20.1, -11.5, 9.99};
    r.peq[1] = {4490.0, 0.1, 2.0};
    r.peq[2] = {270.0, -0.5, 3.0};
    r.flat = {false, true, false};
    r.lowPass = {15, 20200.0};
    r.highPass = {0, 10.0};
    r.gain = 6.0;
    r.delay = 0.01;
    r.limitThreshold = 0;
    r.attack = 10;
    r.hold = 1;
    r.decay = 1000;
    r.phase = 0;
    r.channelTail = {0x00, 0xFF, 0x7F};
    return p;
}

inline QByteArray Bytes(const RecordImage &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), kRecordSize);
}

inline bool WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadRaw(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

using testsupport::FileSizeLimit;

}  // namespace talvo::testing
