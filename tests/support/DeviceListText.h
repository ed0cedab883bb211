#pragma once
// The device list as the program creates it: every one of the 255 slots empty.

#include <QByteArray>

namespace talvo::testsupport {

inline QByteArray NewFileText()
{
    QByteArray text = "[count]\r\nno=0\r\n";
    for (int n = 1; n <= 255; ++n)
        text += "\r\n[" + QByteArray::number(n) + "]\r\nvi=0\r\nname=VELK\r\nid=1\r\nsubid=1\r\n";
    return text;
}

}  // namespace talvo::testsupport
