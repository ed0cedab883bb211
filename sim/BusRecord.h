#pragma once
// The record of everything on the simulated line: each frame the program wrote (with the
// timing of its bytes), each reply, and each run of bytes that belonged to no frame.
// Times are nominal milliseconds of talvo::Clock (or whatever time base drives the bus).

#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "link/CommandFrame.h"

namespace talvo::sim {

// What one amplifier did with a frame addressed to it.
struct Delivery {
    std::uint8_t id = 0;
    std::uint16_t subAddress = 0;
    bool accepted = false;
    QString note;
};

struct FrameRecord {
    int index = 0;               // 0, 1, 2 ... in order of arrival (bad frames included)
    double firstByteMs = 0.0;
    double lastByteMs = 0.0;
    std::vector<double> gapsMs;  // between consecutive bytes of the frame
    QByteArray wire;             // start mark .. end mark as received
    CommandFrame frame;          // decoded fields
    bool checksumOk = true;      // false: the frame was ignored
    std::uint8_t receivedChecksum = 0;
    // Bytes closer together than the 6 ms the sender leaves after each byte: some stretch of
    // k gaps took less than k x 6 ms (less the bus's timing tolerance).
    bool bytesTooClose = false;
    // Started sooner after the previous frame's last byte than that frame's pacing delay.
    bool pacingTooShort = false;
    double sincePreviousMs = -1.0;  // -1: first frame
    int previousPacingMs = 0;
    std::vector<Delivery> deliveries;  // empty: nobody has this address
};

struct ReplyRecord {
    int index = 0;               // 0, 1, 2 ... in order of recording
    int frameIndex = 0;          // the frame it answers
    std::uint8_t id = 0;
    std::uint16_t subAddress = 0;
    std::uint8_t command = 0;
    QByteArray bytes;            // what this amplifier put on the line (garbage, reply, cut short)
    double startMs = 0.0;        // first byte on the line
    double endMs = 0.0;          // last byte on the line
    bool dropped = false;        // the reply never reached the line
    bool silent = false;         // the amplifier answers nothing at all
    int garbageBytes = 0;
    bool cutShort = false;
    bool collided = false;       // overlapped another amplifier's output on the line
};

struct GarbageRecord {
    double firstByteMs = 0.0;
    double lastByteMs = 0.0;
    QByteArray bytes;            // skipped while looking for a start mark or after a broken frame
};

class BusRecord {
public:
    std::vector<FrameRecord> frames;
    std::vector<ReplyRecord> replies;
    std::vector<GarbageRecord> garbage;

    // Called with one JSON object for every event as it is recorded (frames, replies,
    // garbage); the JSON-lines writer of the tool hangs here.
    std::function<void(const QJsonObject &)> sink;

    void addFrame(const FrameRecord &f);
    void addReply(const ReplyRecord &r);
    // Marks an already recorded reply as collided (sent again to the sink as an update).
    void markCollided(std::size_t replyIndex);
    void addGarbage(const GarbageRecord &g);

    // The frames that the program should not have sent so: too fast or too soon.
    std::vector<const FrameRecord *> timingViolations() const;
};

QJsonObject ToJson(const FrameRecord &f);
QJsonObject ToJson(const ReplyRecord &r);
QJsonObject ToJson(const GarbageRecord &g);
QString HexBytes(const QByteArray &bytes);  // "33 66 77 01"

}  // namespace talvo::sim
