#pragma once
// The memory of many amplifiers at once: each amplifier's twenty slots backed up to a memory
// file of its own in one folder, and restored from there, through the same memory controller
// as the memory window and `talvoctl memory`. talvoctl's ID lists and the Search window's
// "Back Up All..." both run these works on the fleet runner.
//
// File names: DIR/<port>-ID012.DMP, the port as PortFileName gives it and the ID in three
// digits; an amplifier addressed with a sub-address adds it: DIR/<port>-ID005-SUB2.DMP.

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "devices/Fleet.h"
#include "memory/MemoryFile.h"

namespace talvo {

// "rack-a-4001-ID012.DMP", "COM3-ID005-SUB2.DMP".
QString FleetMemoryFileName(const QString &port, const FleetAddress &amplifier);
QString FleetMemoryFilePath(const QString &folder, const QString &port, const FleetAddress &amplifier);

// Two ports whose file names would be the same (their amplifiers' files would overwrite each
// other): one line naming both, empty when there is none.
QString FleetFileNameClash(const FleetPlan &plan);

// Backs up each amplifier into `folder`. A file is written (atomically: a temporary file
// renamed over it) only when every slot of the amplifier arrived whole; an amplifier that
// failed, or was stopped, leaves no file and an earlier file of the same name untouched.
FleetWorkFactory FleetBackupFactory(const FleetPlan &plan, const QString &folder);

// What a restore takes back, read and checked before anything is sent: per bus and amplifier
// its memory image; `problems` lists every file that is missing, of the wrong length or fails
// the record check (one line each, naming the file).
struct FleetRestoreSet {
    struct Entry {
        QString path;
        MemoryImage image;
    };
    std::map<std::pair<int, QString>, Entry> images;  // by (bus, FleetAddress::text())
    QStringList problems;
};
FleetRestoreSet LoadFleetRestore(const FleetPlan &plan, const QString &folder);
// Writes each amplifier's image back: used records into their own slots, blank records delete
// theirs; `mute` stores both gains muted as "Mute" in the program-name dialog does.
FleetWorkFactory FleetRestoreFactory(std::shared_ptr<const FleetRestoreSet> set, bool mute);

}  // namespace talvo
