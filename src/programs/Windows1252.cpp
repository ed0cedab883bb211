#include "programs/Windows1252.h"

#include <algorithm>

namespace talvo {

namespace {

// Bytes 0x80..0x9F; all other bytes are the Unicode code point of the same number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char16_t ByteToUnicode(std::uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

std::optional<std::uint8_t> UnicodeToByte(char16_t code)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<std::uint8_t>(code);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == code) return static_cast<std::uint8_t>(0x80 + i);
    }
    return std::nullopt;
}

}  // namespace

QString Windows1252ToString(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) text.append(QChar(ByteToUnicode(static_cast<std::uint8_t>(c))));
    return text;
}

std::optional<QByteArray> StringToWindows1252(const QString &text, qsizetype *badIndex)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A surrogate half is never a Windows-1252 character, so pairs fail here as they should.
        const std::optional<std::uint8_t> byte = UnicodeToByte(text.at(i).unicode());
        if (!byte) {
            if (badIndex) *badIndex = i;
            return std::nullopt;
        }
        bytes.append(static_cast<char>(*byte));
    }
    return bytes;
}

QByteArray StringToWindows1252Lossy(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        const std::optional<std::uint8_t> byte = UnicodeToByte(ch.unicode());
        bytes.append(byte ? static_cast<char>(*byte) : '?');
    }
    return bytes;
}

QString ProgramNameText(const std::array<std::uint8_t, kNameSize> &name)
{
    return Windows1252ToString(
        QByteArrayView(reinterpret_cast<const char *>(name.data()), static_cast<qsizetype>(name.size())));
}

std::array<std::uint8_t, kNameSize> ProgramNameBytes(const QString &text)
{
    std::array<std::uint8_t, kNameSize> name;
    name.fill(' ');
    const QByteArray bytes = StringToWindows1252Lossy(text);
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), kNameSize), name.begin());
    return name;
}

}  // namespace talvo
