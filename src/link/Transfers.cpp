#include "link/Transfers.h"

#include <array>

#include "link/Link.h"

namespace talvo {

namespace {

constexpr int kReplyWaits = 49;
constexpr double kReplyWaitMs = 1;
constexpr double kRequestOutMs = 2000;  // a long queue ahead of the request, at most
constexpr double kAfterRequestMs = 20;
constexpr double kResendWaitMs = 600;
constexpr double kSettleMs = 100;
constexpr std::uint8_t kStatusRequest = 239;
constexpr std::uint8_t kStatusData = 100;
constexpr std::array<int, 8> kBlockProgress{10, 15, 20, 30, 40, 50, 60, 70};

// The request first has to get onto the wire: behind whatever is queued, 13 bytes 6 ms apart.
// Only then can the amplifier answer, within a few milliseconds; so the short waits for the
// reply start once the request is out (or its answer is already in), never before.
void awaitReply(Link &link, int k)
{
    const ProgramBlock &block = link.state().reply.block(k);
    link.WaitUntil([&] { return block.received == kYes || link.state().pendingFrames.load() <= 0; },
                   kRequestOutMs);
    for (int i = 0; i < kReplyWaits && block.received != kYes; ++i) {
        link.WaitUnlessLost(kReplyWaitMs);
        Link::ProcessMessages();
    }
}

bool arrived(const Link &link, int k)
{
    return link.state().reply.block(k).received == kYes;
}

}  // namespace

void RequestBlock(Link &link, int k, int n)
{
    if (k < 1 || k > 8)
        return;
    LinkState &s = link.state();
    s.reply.block(k).received = 0;
    s.outFrame.set(static_cast<std::uint8_t>(230 + k), {static_cast<std::uint8_t>(n)});
    link.SendCommand();
    awaitReply(link, k);
}

void RequestStatus(Link &link)
{
    LinkState &s = link.state();
    s.reply.statusBlock().received = 0;
    s.outFrame.set(kStatusRequest, {kStatusData});
    link.SendCommand();
    awaitReply(link, kStatusBlock);
}

void ReadLiveProgram(Link &link, const std::function<bool()> &stop)
{
    const auto stopped = [&stop] { return stop && stop(); };
    LinkState &s = link.state();
    link.ShowProgress(0);
    for (ProgramBlock &block : s.reply.programBlocks)
        block.received = 0;

    for (int k = 1; k <= 8; ++k) {
        RequestBlock(link, k, kRunningProgram);
        if (stopped())
            return;
        link.WaitUnlessLost(kAfterRequestMs);
        Link::ProcessMessages();
        link.ShowProgress(kBlockProgress[static_cast<std::size_t>(k - 1)]);
        if (!arrived(link, k)) {
            RequestBlock(link, k, kRunningProgram);
            link.WaitUnlessLost(kResendWaitMs);
        }
        if (stopped())
            return;
    }

    RequestStatus(link);
    if (stopped())
        return;
    link.WaitUnlessLost(kAfterRequestMs);
    link.ShowProgress(80);
    Link::ProcessMessages();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (stopped())
            return;
        if (!arrived(link, kStatusBlock)) {
            RequestStatus(link);
            link.WaitUnlessLost(kResendWaitMs);
        }
    }
    if (stopped())
        return;

    link.ShowProgress(85);
    link.WaitUnlessLost(kSettleMs);
}

}  // namespace talvo
