#pragma once
// The outgoing command frame and its wire image.
//
// On the wire: 33 66 77 | address subHigh subLow command n data[1..n] checksum | 99 AA BB.
// The checksum is the byte sum of everything between the marks but itself; nothing is
// escaped, so data bytes equal to a mark byte go out as they are.

#include <array>
#include <cstdint>
#include <initializer_list>

#include <QByteArray>

namespace talvo {

inline constexpr std::array<std::uint8_t, 3> kFrameStartMark{0x33, 0x66, 0x77};
inline constexpr std::array<std::uint8_t, 3> kFrameEndMark{0x99, 0xAA, 0xBB};
inline constexpr int kMaxFrameData = 16;      // the program never sends more
inline constexpr int kFrameOverhead = 12;     // marks, address, sub-address, command, n, checksum
inline constexpr int kByteGapMs = 6;          // silence after every byte written

struct CommandFrame {
    std::uint8_t address = 0;
    std::uint8_t subAddressHigh = 0;
    std::uint8_t subAddressLow = 0;
    std::uint8_t command = 0;
    std::uint8_t length = 0;
    // data[0] is the first data byte ("data 1"); only the first `length` bytes are sent.
    std::array<std::uint8_t, kMaxFrameData> data{};

    // Sets command, length and data in one go (the address fields stay as they are).
    // Bytes beyond kMaxFrameData are dropped; callers never pass more.
    void set(std::uint8_t cmd, std::initializer_list<std::uint8_t> bytes);

    std::uint8_t checksum() const;
    // address .. checksum: what the sender is handed. A length above kMaxFrameData is sent as
    // kMaxFrameData (length byte included), never read past the data array.
    QByteArray payload() const;
    // start mark + payload + end mark: length + 12 bytes.
    QByteArray wireBytes() const;
};

// The pause after a frame, chosen by its command: 30 ms for link commands (220),
// 250 ms for the EQ and crossover commands, 150 ms for everything else.
int PacingDelayMs(std::uint8_t command);

}  // namespace talvo
