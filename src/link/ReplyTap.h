#pragma once
// Watches the received stream for complete reply frames, beside the reply parser.
//
// The parser only fills the shared reply fields; whoever wants each reply as a whole (the
// command-line tool prints them, tests compare them) feeds the same bytes here. A frame is
// the sync 250 251 252 at three consecutive stream positions followed by 19 bytes: ID, length,
// reply command and 16 data bytes. A sync inside a frame abandons it and starts a new one,
// exactly as the parser does, so both always agree on what a frame is.

#include <array>
#include <cstdint>
#include <functional>

#include <QByteArrayView>
#include <QString>

namespace talvo {

struct ReplyFrame {
    std::uint8_t address = 0;
    std::uint8_t length = 0;
    std::uint8_t command = 0;
    std::array<std::uint8_t, 16> data{};

    // "reply ID 1 command 231 length 16 data 00 1E ..."
    QString describe() const;
    bool operator==(const ReplyFrame &) const = default;
};

class ReplyFrameTap {
public:
    using Callback = std::function<void(const ReplyFrame &)>;
    explicit ReplyFrameTap(Callback onFrame) : onFrame_(std::move(onFrame)) {}

    // Pieces may split a frame (or its sync) anywhere.
    void feed(QByteArrayView bytes);

private:
    static constexpr int kBytesAfterSync = 19;
    Callback onFrame_;
    std::uint8_t previous_ = 0;        // the byte before this one
    std::uint8_t beforePrevious_ = 0;  // and the one before that
    int taken_ = -1;                   // bytes of the current frame taken after its sync; -1 between frames
    ReplyFrame current_;
};

}  // namespace talvo
