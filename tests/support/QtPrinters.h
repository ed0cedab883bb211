#pragma once
// How GoogleTest prints Qt's strings and byte arrays in a failed comparison: as text, not as a
// dump of their bytes. Included into every test source by the build (tests/CMakeLists.txt), so
// that no test has to remember it.

#include <ostream>

#include <QByteArray>
#include <QString>
#include <QStringList>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

// Printable ASCII as it is, every other byte as \xNN, so binary frames stay readable.
inline void PrintTo(const QByteArray &b, std::ostream *os)
{
    static const char hex[] = "0123456789ABCDEF";
    *os << '"';
    for (const char c : b) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\')
            *os << c;
        else
            *os << "\\x" << hex[u >> 4] << hex[u & 15];
    }
    *os << "\" (" << b.size() << " bytes)";
}

inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}
