#include "sim/BusRecord.h"

#include <cmath>

#include <QJsonArray>

namespace talvo::sim {
namespace {

// Microsecond resolution is plenty and keeps the lines readable.
double ms(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

}  // namespace

QString HexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QJsonObject ToJson(const FrameRecord &f)
{
    QJsonArray gaps;
    for (double g : f.gapsMs)
        gaps.append(ms(g));
    QJsonArray data;
    for (int i = 0; i < std::min<int>(f.frame.length, kMaxFrameData); ++i)
        data.append(f.frame.data[i]);
    QJsonArray deliveries;
    for (const Delivery &d : f.deliveries)
        deliveries.append(QJsonObject{{"id", d.id},
                                      {"sub_address", d.subAddress},
                                      {"accepted", d.accepted},
                                      {"note", d.note}});
    QJsonObject o{{"type", "frame"},
                  {"index", f.index},
                  {"first_ms", ms(f.firstByteMs)},
                  {"last_ms", ms(f.lastByteMs)},
                  {"gaps_ms", gaps},
                  {"bytes", HexBytes(f.wire)},
                  {"address", f.frame.address},
                  {"sub_address", f.frame.subAddressHigh * 256 + f.frame.subAddressLow},
                  {"command", f.frame.command},
                  {"length", f.frame.length},
                  {"data", data},
                  {"checksum_ok", f.checksumOk},
                  {"bytes_too_close", f.bytesTooClose},
                  {"pacing_too_short", f.pacingTooShort},
                  {"deliveries", deliveries}};
    if (f.sincePreviousMs >= 0) {
        o.insert("since_previous_ms", ms(f.sincePreviousMs));
        o.insert("previous_pacing_ms", f.previousPacingMs);
    }
    return o;
}

QJsonObject ToJson(const ReplyRecord &r)
{
    return QJsonObject{{"type", "reply"},
                       {"index", r.index},
                       {"frame", r.frameIndex},
                       {"id", r.id},
                       {"sub_address", r.subAddress},
                       {"command", r.command},
                       {"bytes", HexBytes(r.bytes)},
                       {"start_ms", ms(r.startMs)},
                       {"end_ms", ms(r.endMs)},
                       {"dropped", r.dropped},
                       {"silent", r.silent},
                       {"garbage_bytes", r.garbageBytes},
                       {"cut_short", r.cutShort},
                       {"collided", r.collided}};
}

QJsonObject ToJson(const GarbageRecord &g)
{
    return QJsonObject{{"type", "garbage"},
                       {"first_ms", ms(g.firstByteMs)},
                       {"last_ms", ms(g.lastByteMs)},
                       {"bytes", HexBytes(g.bytes)}};
}

void BusRecord::addFrame(const FrameRecord &f)
{
    frames.push_back(f);
    if (sink)
        sink(ToJson(f));
}

void BusRecord::addReply(const ReplyRecord &r)
{
    replies.push_back(r);
    if (sink)
        sink(ToJson(r));
}

void BusRecord::markCollided(std::size_t replyIndex)
{
    ReplyRecord &r = replies.at(replyIndex);
    r.collided = true;
    if (sink)
        sink(QJsonObject{{"type", "collision"}, {"reply", r.index}, {"frame", r.frameIndex}});
}

void BusRecord::addGarbage(const GarbageRecord &g)
{
    garbage.push_back(g);
    if (sink)
        sink(ToJson(g));
}

std::vector<const FrameRecord *> BusRecord::timingViolations() const
{
    std::vector<const FrameRecord *> out;
    for (const FrameRecord &f : frames)
        if (f.bytesTooClose || f.pacingTooShort)
            out.push_back(&f);
    return out;
}

}  // namespace talvo::sim
