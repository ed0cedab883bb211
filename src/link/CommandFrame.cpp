#include "link/CommandFrame.h"

#include <algorithm>

namespace talvo {

void CommandFrame::set(std::uint8_t cmd, std::initializer_list<std::uint8_t> bytes)
{
    command = cmd;
    // The frame holds at most kMaxFrameData bytes; anything beyond is never sent, so it is cut
    // here rather than written past the array.
    const auto count = std::min<std::size_t>(bytes.size(), data.size());
    std::copy_n(bytes.begin(), count, data.begin());
    length = static_cast<std::uint8_t>(count);
}

namespace {

// A length above the array cannot be honoured: the frame sends only what it holds and says so
// in its length byte, so that the amplifier is never told to expect bytes that never come.
int sentLength(const CommandFrame &f)
{
    return std::min<int>(f.length, kMaxFrameData);
}

}  // namespace

std::uint8_t CommandFrame::checksum() const
{
    const int n = sentLength(*this);
    // Unsigned 8-bit arithmetic wraps, which is the modulo 256 the amplifier expects.
    std::uint8_t sum = static_cast<std::uint8_t>(address + subAddressHigh + subAddressLow + command + n);
    for (int i = 0; i < n; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

QByteArray CommandFrame::payload() const
{
    const int n = sentLength(*this);
    QByteArray out;
    out.reserve(n + 6);
    out.append(static_cast<char>(address));
    out.append(static_cast<char>(subAddressHigh));
    out.append(static_cast<char>(subAddressLow));
    out.append(static_cast<char>(command));
    out.append(static_cast<char>(n));
    for (int i = 0; i < n; ++i)
        out.append(static_cast<char>(data[i]));
    out.append(static_cast<char>(checksum()));
    return out;
}

QByteArray CommandFrame::wireBytes() const
{
    const QByteArray body = payload();
    QByteArray out;
    out.reserve(body.size() + 6);
    for (std::uint8_t b : kFrameStartMark)
        out.append(static_cast<char>(b));
    out.append(body);
    for (std::uint8_t b : kFrameEndMark)
        out.append(static_cast<char>(b));
    return out;
}

int PacingDelayMs(std::uint8_t command)
{
    switch (command) {
    case 220:
        return 30;
    case 5: case 10: case 15: case 20: case 40:
    case 101: case 106: case 111: case 116: case 136:
        return 250;
    default:
        return 150;
    }
}

}  // namespace talvo
