#pragma once
// Amplifier replies: 250 251 252, ID, length, reply command, 16 data bytes, one closing byte.
//
// The parser fills the reply fields as the bytes go by and tells nobody; callers that wait
// for an answer clear a field, send, wait, and look. There is no checksum or end mark test.

#include <array>
#include <cstdint>

#include <QByteArrayView>

namespace talvo {

struct ProgramBlock {
    std::uint8_t received = 0;             // 100 once the block's reply arrived; the parser never clears it
    std::array<std::uint8_t, 16> bytes{};  // bytes[0] is "bytes 1"
};

inline constexpr int kProgramBlockCount = 9;  // 1..7 record, 8 live gains, 9 status
inline constexpr int kStatusBlock = 9;

struct ReplyFields {
    int replyAddress = 0;
    int replyLength = 0;
    int replyCommand = 0;
    std::array<std::uint8_t, 16> replyData{};
    // programBlocks[k - 1] is block k (reply command 230 + k).
    std::array<ProgramBlock, kProgramBlockCount> programBlocks{};

    ProgramBlock &block(int k) { return programBlocks[k - 1]; }
    const ProgramBlock &block(int k) const { return programBlocks[k - 1]; }
    ProgramBlock &statusBlock() { return block(kStatusBlock); }
    const ProgramBlock &statusBlock() const { return block(kStatusBlock); }
};

// What the parser has seen since it was made: replies read to their closing byte, and
// resynchronisations (a sync inside an unfinished reply, which is then given up for the new
// one). They change nothing the parser does; they are for diagnosis and the soak test.
struct ReplyCounts {
    std::int64_t replies = 0;
    std::int64_t resyncs = 0;
};

class ReplyParser {
public:
    explicit ReplyParser(ReplyFields &fields) : fields_(fields) {}

    // Consumes the next piece of the received stream; pieces may split a frame anywhere.
    void ParseReplyBytes(QByteArrayView chunk);

    const ReplyCounts &counts() const { return counts_; }

private:
    ReplyFields &fields_;
    ReplyCounts counts_;
    // Stream positions are 64-bit so that a program left running for weeks never wraps them.
    std::int64_t streamPosition_ = 0;
    std::int64_t lastPos250_ = 0;
    std::int64_t lastPos251_ = 0;
    std::int64_t lastPos252_ = 0;
    bool inFrame_ = false;
    int frameIndex_ = 0;  // 11 is the sync byte 252; 12 the ID; 15..30 the data
};

}  // namespace talvo
