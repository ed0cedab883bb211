#pragma once
// Program names are raw Windows-1252 bytes (the amplifier's and the original files' code page).
// Qt 6 has no codec for it, so the table lives here. The five bytes the code page leaves
// undefined (81 8D 8F 90 9D) map to the control characters of the same number, so every byte
// value survives bytes -> text -> bytes.

#include <array>
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "programs/ProgramRecord.h"

namespace talvo {

QString Windows1252ToString(QByteArrayView bytes);

// The bytes of text, or nothing when a character has no Windows-1252 byte; badIndex (when
// given) then receives the position of the first such character in text.
std::optional<QByteArray> StringToWindows1252(const QString &text, qsizetype *badIndex = nullptr);

// As above, but a character without a byte becomes '?', as the Windows ANSI conversion does.
QByteArray StringToWindows1252Lossy(const QString &text);

// The 10 name bytes as text, trailing spaces kept.
QString ProgramNameText(const std::array<std::uint8_t, kNameSize> &name);
// The first 10 bytes of text, filled on the right with spaces (cut even inside a character).
std::array<std::uint8_t, kNameSize> ProgramNameBytes(const QString &text);

}  // namespace talvo
