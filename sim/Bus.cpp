#include "sim/Bus.h"

#include <algorithm>

namespace talvo::sim {

Bus::Bus(const BusOptions &options) : options_(options) {}

Amplifier &Bus::addAmplifier(const AmplifierConfig &config)
{
    amps_.push_back(std::make_unique<Amplifier>(config));
    return *amps_.back();
}

void Bus::receive(QByteArrayView bytes, double atMs)
{
    if (bytes.isEmpty())
        return;
    // A receiver that has heard nothing for a while forgets the frame it was in.
    if (options_.interByteTimeoutMs > 0 && !rx_.empty() && atMs - rx_.back().atMs > options_.interByteTimeoutMs)
        dropAsGarbage(rx_.size());
    for (char c : bytes)
        rx_.push_back({static_cast<std::uint8_t>(c), atMs});
    parse();
}

double Bus::receivePaced(QByteArrayView bytes, double startMs, double byteGapMs)
{
    double t = startMs;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        t = startMs + i * byteGapMs;
        receive(bytes.sliced(i, 1), t);
    }
    return t;
}

double Bus::receiveFrame(const CommandFrame &frame, double startMs, double byteGapMs)
{
    return receivePaced(frame.wireBytes(), startMs, byteGapMs);
}

void Bus::dropAsGarbage(std::size_t count)
{
    for (std::size_t i = 0; i < count && !rx_.empty(); ++i) {
        const RxByte b = rx_.front();
        rx_.pop_front();
        if (pendingGarbage_.bytes.isEmpty())
            pendingGarbage_.firstByteMs = b.atMs;
        pendingGarbage_.lastByteMs = b.atMs;
        pendingGarbage_.bytes.append(static_cast<char>(b.value));
    }
}

void Bus::flushGarbage()
{
    if (pendingGarbage_.bytes.isEmpty())
        return;
    record_.addGarbage(pendingGarbage_);
    pendingGarbage_ = GarbageRecord();
}

void Bus::flush()
{
    dropAsGarbage(rx_.size());
    flushGarbage();
}

void Bus::parse()
{
    const auto at = [this](std::size_t i) { return rx_[i].value; };
    for (;;) {
        // Skip to the next start mark; a trailing piece of one stays for the next bytes.
        std::size_t start = 0;
        while (start < rx_.size()) {
            if (at(start) == kFrameStartMark[0]) {
                const std::size_t have = rx_.size() - start;
                if (have < 2 || (at(start + 1) == kFrameStartMark[1] && (have < 3 || at(start + 2) == kFrameStartMark[2])))
                    break;
            }
            ++start;
        }
        dropAsGarbage(start);
        if (rx_.size() < 8)
            return;  // start mark, address, sub-address, command and length not all here yet

        const int n = at(7);
        if (n > options_.maxDataBytes) {
            dropAsGarbage(1);  // no frame is that long: this start mark was data
            continue;
        }
        const std::size_t size = static_cast<std::size_t>(n) + kFrameOverhead;
        if (rx_.size() < size)
            return;
        if (at(size - 3) != kFrameEndMark[0] || at(size - 2) != kFrameEndMark[1] || at(size - 1) != kFrameEndMark[2]) {
            // No end mark where the length says: not a frame after all. Look again from the
            // next byte, so that a real frame inside these bytes is still found.
            dropAsGarbage(1);
            continue;
        }
        takeFrame(size);
    }
}

void Bus::takeFrame(std::size_t size)
{
    flushGarbage();

    FrameRecord rec;
    rec.index = frameCount_++;
    rec.firstByteMs = rx_.front().atMs;
    rec.lastByteMs = rx_[size - 1].atMs;
    for (std::size_t j = 0; j < size; ++j) {
        rec.wire.append(static_cast<char>(rx_[j].value));
        if (j > 0)
            rec.gapsMs.push_back(rx_[j].atMs - rx_[j - 1].atMs);
        // Every stretch of the frame, not only neighbouring bytes: a late time stamp shortens
        // one gap and lengthens the one before, so the tolerance absorbs it, while a sender
        // that pauses a little too briefly after every byte still falls short over the frame.
        for (std::size_t i = 0; i < j; ++i)
            if (rx_[j].atMs - rx_[i].atMs < double(j - i) * kByteGapMs - options_.timingToleranceMs)
                rec.bytesTooClose = true;
    }
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(size));

    const auto byte = [&rec](int i) { return static_cast<std::uint8_t>(rec.wire[i]); };
    CommandFrame &f = rec.frame;
    f.address = byte(3);
    f.subAddressHigh = byte(4);
    f.subAddressLow = byte(5);
    f.command = byte(6);
    const int n = byte(7);
    // CommandFrame holds 16 data bytes; the sum below covers every byte that came.
    f.length = static_cast<std::uint8_t>(n);
    std::uint8_t sum = static_cast<std::uint8_t>(f.address + f.subAddressHigh + f.subAddressLow + f.command + n);
    for (int i = 0; i < n; ++i) {
        sum = static_cast<std::uint8_t>(sum + byte(8 + i));
        if (i < kMaxFrameData)
            f.data[i] = byte(8 + i);
    }
    rec.receivedChecksum = byte(8 + n);
    rec.checksumOk = sum == rec.receivedChecksum;

    if (!record_.frames.empty()) {
        const FrameRecord &prev = record_.frames.back();
        rec.sincePreviousMs = rec.firstByteMs - prev.lastByteMs;
        rec.previousPacingMs = PacingDelayMs(prev.frame.command);
        rec.pacingTooShort = rec.sincePreviousMs < rec.previousPacingMs - options_.timingToleranceMs;
    }

    // A device ignores a frame whose checksum does not add up: nobody acts on it.
    std::vector<std::pair<Amplifier *, AmplifierReply>> answers;
    if (rec.checksumOk) {
        for (auto &amp : amps_) {
            if (!amp->isAddressedBy(f))
                continue;
            CommandOutcome outcome = amp->handle(f);
            rec.deliveries.push_back({amp->id(), amp->subAddress(), outcome.accepted, outcome.note});
            if (outcome.reply)
                answers.emplace_back(amp.get(), *outcome.reply);
        }
    }
    record_.addFrame(rec);
    for (auto &[amp, reply] : answers)
        schedule(*amp, reply, rec.index, rec.lastByteMs);
}

void Bus::schedule(Amplifier &amp, const AmplifierReply &reply, int frameIndex, double frameEndMs)
{
    const Faults &faults = amp.faults();
    ReplyRecord rec;
    rec.index = static_cast<int>(record_.replies.size());
    rec.frameIndex = frameIndex;
    rec.id = amp.id();
    rec.subAddress = amp.subAddress();
    rec.command = reply.command;
    rec.startMs = rec.endMs = frameEndMs + faults.replyDelayMs;

    if (faults.noAnswer) {
        rec.silent = true;
        record_.addReply(rec);
        return;
    }
    if (faults.dropShare > 0 && amp.nextUnit() < faults.dropShare) {
        rec.dropped = true;
        record_.addReply(rec);
        return;
    }

    // Line noise before the reply; it never completes a sync of its own, so that the noise
    // stays noise and every reply a parser finds is one an amplifier sent.
    for (int i = 0; i < faults.garbageBytes; ++i) {
        std::uint8_t b = amp.nextByte();
        const qsizetype k = rec.bytes.size();
        if (b == kReplySync[2] && k >= 2 && static_cast<std::uint8_t>(rec.bytes[k - 1]) == kReplySync[1]
            && static_cast<std::uint8_t>(rec.bytes[k - 2]) == kReplySync[0])
            b = 0;
        rec.bytes.append(static_cast<char>(b));
    }
    rec.garbageBytes = faults.garbageBytes;
    QByteArray wire = reply.wireBytes();
    if (faults.cutShortTo >= 0 && faults.cutShortTo < wire.size()) {
        wire.truncate(faults.cutShortTo);
        rec.cutShort = true;
    }
    rec.bytes.append(wire);
    if (rec.bytes.isEmpty()) {
        record_.addReply(rec);
        return;
    }

    // One amplifier sends one byte at a time: a reply waits for its own previous one.
    const double byteTime = options_.byteTimeMs;
    std::erase_if(spans_, [frameEndMs](const Span &s) { return s.endMs < frameEndMs; });
    for (const Span &s : spans_)
        if (s.amp == &amp)
            rec.startMs = std::max(rec.startMs, s.endMs + byteTime);
    rec.endMs = rec.startMs + (rec.bytes.size() - 1) * byteTime;

    std::vector<std::size_t> collidedWith;
    for (const Span &s : spans_)
        if (s.amp != &amp && s.startMs <= rec.endMs + byteTime && rec.startMs <= s.endMs + byteTime)
            collidedWith.push_back(s.replyIndex);
    rec.collided = !collidedWith.empty();

    for (qsizetype i = 0; i < rec.bytes.size(); ++i)
        tx_.emplace(rec.startMs + i * byteTime, static_cast<std::uint8_t>(rec.bytes[i]));
    spans_.push_back({static_cast<std::size_t>(rec.index), &amp, rec.startMs, rec.endMs});
    record_.addReply(rec);
    for (std::size_t other : collidedWith)
        if (!record_.replies[other].collided)
            record_.markCollided(other);
}

QByteArray Bus::takeDue(double nowMs)
{
    QByteArray out;
    auto it = tx_.begin();
    for (; it != tx_.end() && it->first <= nowMs; ++it)
        out.append(static_cast<char>(it->second));
    tx_.erase(tx_.begin(), it);
    return out;
}

QByteArray Bus::takeAll()
{
    QByteArray out;
    for (const auto &[t, b] : tx_)
        out.append(static_cast<char>(b));
    tx_.clear();
    return out;
}

std::optional<double> Bus::nextDueMs() const
{
    if (tx_.empty())
        return std::nullopt;
    return tx_.begin()->first;
}

}  // namespace talvo::sim
