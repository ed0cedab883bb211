#pragma once
// The operator's list of named amplifiers, kept in "DSPdevi.ini": up to 255 slots, each with
// a name, an ID and a sub-address, so that an amplifier can be picked by name.
//
// The file is plain text that operators edit by hand:
//
//   [count]
//   no=0
//
//   [1]
//   vi=0
//   name=VELK
//   id=1
//   subid=1
//   ...
//
// [count] marks an initialised file (its value means nothing); sections [1]..[255] are the
// slots, vi=1 marking a slot that holds a device. Every change is saved at once, through a
// temporary file that replaces the old one, so a failed write never leaves a half-written list.

#include <QString>

#include <array>

#include "programs/IniDocument.h"

namespace talvo {

inline constexpr int kDeviceSlotCount = 255;
inline constexpr int kDeviceNameMaxLength = 20;  // what the entry dialog accepts
inline constexpr int kDeviceIdMax = 255;
inline constexpr int kDeviceSubIdMax = 65535;
inline constexpr char kDeviceListFileName[] = "DSPdevi.ini";

// One slot. The initial values are what a slot reads as when its keys are missing.
struct DeviceEntry {
    bool vi = false;  // the slot holds a device
    QString name = QStringLiteral("Device");
    int id = 1;       // 1..255
    int subid = 1;    // 1..65535

    friend bool operator==(const DeviceEntry &, const DeviceEntry &) = default;
};

// The list file inside an installation directory; with no directory, at the root of the
// current drive (the root directory here).
QString DeviceListPath(const QString &installDir);

class DeviceList {
public:
    explicit DeviceList(QString path);

    const QString &Path() const { return path_; }

    // Reads the file. A missing file (or one without [count]) is initialised with 255 empty
    // slots and saved; slots already in an uninitialised file are kept as they are. On failure
    // the error says what went wrong and the list reads as empty; an existing file that cannot
    // be read is left untouched.
    bool Open(QString *error = nullptr);

    // Reads the file again, for edits made outside the program; nothing is created.
    bool Reload(QString *error = nullptr);

    // Slot 1..255 with the defaults for missing keys; a number that cannot be read or lies
    // outside its range reads as its default. Outside 1..255: an empty slot.
    DeviceEntry Entry(int slot) const;
    std::array<DeviceEntry, kDeviceSlotCount> Entries() const;  // [0] is slot 1

    // Writes the four keys of one slot and saves the file at once. The file is read again first,
    // so hand edits of other slots made meanwhile survive. Refuses a slot outside 1..255, an ID
    // outside 1..255, a sub-address outside 1..65535 and a name with a control character (a line
    // break would corrupt the file). On any failure the file and the list stay as they were.
    bool WriteSlot(int slot, const DeviceEntry &entry, QString *error = nullptr);

    // Empties a slot: vi=0, an empty name, id=1, subid=1.
    bool ClearSlot(int slot, QString *error = nullptr);

    // Saves the list as it is held now.
    bool Flush(QString *error = nullptr);

private:
    QString path_;
    IniDocument doc_;
};

}  // namespace talvo
