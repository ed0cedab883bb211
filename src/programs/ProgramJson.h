#pragma once
// A program record as a JSON object whose keys are the record's field names, and back.
//
// {"name": "Main Hall ", "mode": 0, "inUse": 1, "programNumber": 255, "headerTail": "20 20 20",
//  "left": {"peq": [{"freq": 30, "gain": 0, "q": 3, "flat": false}, ...],
//           "lowPass": {"slope": 0, "freq": 20200}, "highPass": {"slope": 0, "freq": 10},
//           "gain": -100, "delay": 0, "limitThreshold": 65, "attack": 10, "hold": 0,
//           "decay": 10, "phase": 0, "channelTail": "20 20 20"},
//  "right": {...}}
//
// Numbers are the decoded values (doubles re-encode exactly); the name is the Windows-1252
// text of the 10 name bytes. One key appears only for a corner case the decoded value cannot
// carry: "gainSign" (in a band or a channel) holds the raw sign byte when it is not the one the
// gain implies -- the sign byte 0x55 over a zero magnitude ("-0.00", which JSON cannot tell from
// 0) or a sign byte other than 0xAA / 0x55. With it, JSON -> record gives back the very bytes.
//
// Reading is strict: every listed key must be present with the right type, no other key is
// allowed, and each value must fit its bytes exactly (the widths of the record, not the
// narrower ranges the editors offer, so that odd records can be described too). Whether the
// values are ones an editor produces is CheckRecordValues's to say (RecordCheck.h).

#include <optional>

#include <QJsonObject>
#include <QString>

#include "programs/ProgramRecord.h"

namespace talvo {

QJsonObject RecordToJson(const RecordImage &record);

// The record, or nothing with *error set to "key.path: what is wrong". keyPrefix is put in
// front of every key path in the message (for example "slots[3].").
std::optional<RecordImage> RecordFromJson(const QJsonObject &object, QString *error,
                                          const QString &keyPrefix = {});

}  // namespace talvo
