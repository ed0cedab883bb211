#pragma once
// The memory file (".DMP"): the twenty records of memory slots 1 to 20 back to back,
// exactly 2240 bytes, nothing else.

#include <array>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"
#include "programs/RecordCheck.h"

namespace talvo {

inline constexpr int kMemorySlotCount = 20;
inline constexpr int kMemoryFileSize = kMemorySlotCount * kRecordSize;  // 2240
inline constexpr char kMemoryFileExtension[] = ".DMP";

// Slot i (1..20) is element i - 1.
using MemoryImage = std::array<RecordImage, kMemorySlotCount>;

// Twenty blank slots ("PresetFlat", not in use): what a memory image starts as.
MemoryImage BlankMemoryImage();

QByteArray MemoryImageBytes(const MemoryImage &image);
// Nothing unless bytes is exactly 2240 long.
bool MemoryImageFromBytes(QByteArrayView bytes, MemoryImage &image);

// A slot whose record holds a value no editor produces.
struct SlotFault {
    int slot = 0;  // 1..20
    RecordFault fault;
};
// The first slot in use whose record fails CheckRecordValues. Blank slots are not looked at:
// nothing of them is shown or sent (writing one deletes the slot).
std::optional<SlotFault> CheckMemoryValues(const MemoryImage &image);

// A memory file as it is; `image` is left alone on failure (missing file, unreadable, or not
// exactly 2240 bytes).
FileResult ReadMemoryFile(const QString &path, MemoryImage &image);
// A memory file to show or send: as ReadMemoryFile, and refused (ValueOutOfRange, naming the
// slot and the field) when a slot in use fails CheckMemoryValues.
FileResult ReadCheckedMemoryFile(const QString &path, MemoryImage &image);
// Atomic: on failure an existing file stays as it was.
FileResult WriteMemoryFile(const QString &path, const MemoryImage &image);

}  // namespace talvo
