#pragma once
// The manage window's image of twenty program slots, edited offline: filled with new slots,
// loaded from and saved to memory files, given programs from program files, renamed, blanked,
// and saved slot by slot to program files. Widget-free; the window only presents it. It never
// talks to an amplifier: a memory file prepared here reaches one through File Down.

#include <QString>

#include "memory/MemoryFile.h"
#include "programs/ProgramFile.h"

namespace talvo {

inline constexpr const char *kManageMark = "[###]";

class MemoryManage {
public:
    // All twenty slots start blank (zero bytes, not in use).
    MemoryManage() { image_.fill(RecordImage{}); }

    const MemoryImage &image() const { return image_; }
    const RecordImage &slot(int r) const { return image_.at(static_cast<std::size_t>(Limit(r) - 1)); }
    bool InUse(int r) const { return RecordInUse(slot(r)); }

    // Grid row r as shown: column 0 r or r + "[###]", column 1 the name (a single space for a
    // blank slot).
    QString ProgramCell(int r) const;
    QString NameCell(int r) const;
    // What the name field shows for row r: the name of a slot in use, else empty.
    QString NameField(int r) const;

    // Every slot := the new-slot record ("PresetFlat", in use).
    void New();
    // A memory file of exactly 2240 bytes whose slots in use hold only values the editors
    // produce replaces the image; anything else leaves it alone.
    FileResult Open(const QString &path);
    // The whole image, through a temporary file.
    FileResult SaveAs(const QString &path) const;
    // A program file of exactly 112 bytes whose values the editors produce goes unchanged into
    // slot r (whatever its inUse).
    FileResult Add(int r, const QString &path);
    // Slot r alone as a program file.
    FileResult SaveSlotAs(int r, const QString &path) const;
    // inUse := 0; the rest of the record stays.
    void Delete(int r);
    void DeleteAll();
    // The name of a slot in use := text filled with spaces to 10 characters and cut to 10.
    // A blank slot keeps its name (false).
    bool Modify(int r, const QString &text);

    // 1..20.
    static int Limit(int r) { return r < 1 ? 1 : (r > kMemorySlotCount ? kMemorySlotCount : r); }

private:
    RecordImage &at(int r) { return image_.at(static_cast<std::size_t>(Limit(r) - 1)); }

    MemoryImage image_{};
};

}  // namespace talvo
