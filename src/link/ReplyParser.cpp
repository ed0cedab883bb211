#include "link/ReplyParser.h"

#include <algorithm>

namespace talvo {

namespace {

// Positions inside a reply frame, counted so that the sync byte 252 is 11.
constexpr int kSyncIndex = 11;
constexpr int kAddressIndex = 12;
constexpr int kLengthIndex = 13;
constexpr int kCommandIndex = 14;
constexpr int kFirstDataIndex = 15;
constexpr int kLastDataIndex = 30;

constexpr int kBlockReplyLength = 16;
constexpr int kFirstBlockCommand = 231;
constexpr int kLastBlockCommand = 239;
constexpr int kLiveGainBlock = 8;
constexpr int kLiveGainBytes = 6;  // two channels of (whole dB, hundredths, sign)

}  // namespace

void ReplyParser::ParseReplyBytes(QByteArrayView chunk)
{
    const qsizetype count = chunk.size();
    for (qsizetype i = 0; i < count; ++i) {
        const auto b = static_cast<std::uint8_t>(chunk[i]);
        // Positions run over the whole stream (from 1), so a sync or a frame split between two
        // reads is found and continued just as if it had arrived in one piece.
        const std::int64_t pos = streamPosition_ + i + 1;

        if (b == 250) {
            lastPos250_ = pos;
        } else if (b == 251) {
            lastPos251_ = pos;
        } else if (b == 252) {
            lastPos252_ = pos;
            if (lastPos251_ == pos - 1 && lastPos250_ == pos - 2) {
                // A complete sync starts a frame even in the middle of another one; what the
                // abandoned frame already filled stays as it is.
                if (inFrame_)
                    ++counts_.resyncs;
                frameIndex_ = kSyncIndex - 1;
                inFrame_ = true;
            }
        }

        if (!inFrame_)
            continue;  // bytes between frames change nothing
        ++frameIndex_;

        if (frameIndex_ == kSyncIndex) {
            // the sync byte itself
        } else if (frameIndex_ == kAddressIndex) {
            fields_.replyAddress = b;
        } else if (frameIndex_ == kLengthIndex) {
            fields_.replyLength = b;
        } else if (frameIndex_ == kCommandIndex) {
            fields_.replyCommand = b;
        } else if (frameIndex_ >= kFirstDataIndex && frameIndex_ <= kLastDataIndex) {
            fields_.replyData[frameIndex_ - kFirstDataIndex] = b;
            if (frameIndex_ == kLastDataIndex && fields_.replyLength == kBlockReplyLength
                && fields_.replyCommand >= kFirstBlockCommand && fields_.replyCommand <= kLastBlockCommand) {
                const int k = fields_.replyCommand - (kFirstBlockCommand - 1);
                ProgramBlock &block = fields_.block(k);
                block.received = 100;
                // The live-gain reply carries six meaningful bytes; the rest of block 8 keeps
                // what it held.
                const int n = k == kLiveGainBlock ? kLiveGainBytes : kBlockReplyLength;
                std::copy_n(fields_.replyData.begin(), n, block.bytes.begin());
            }
        } else {
            // The byte after the 16th data byte closes the frame; it and everything up to the
            // next sync is ignored.
            inFrame_ = false;
            ++counts_.replies;
        }
    }
    streamPosition_ += count;
}

}  // namespace talvo
