#include "memory/MemoryFile.h"

#include <algorithm>

namespace talvo {

MemoryImage BlankMemoryImage()
{
    MemoryImage image;
    image.fill(BlankSlotRecord());
    return image;
}

QByteArray MemoryImageBytes(const MemoryImage &image)
{
    QByteArray bytes;
    bytes.reserve(kMemoryFileSize);
    for (const RecordImage &record : image)
        bytes.append(reinterpret_cast<const char *>(record.data()), kRecordSize);
    return bytes;
}

bool MemoryImageFromBytes(QByteArrayView bytes, MemoryImage &image)
{
    if (bytes.size() != kMemoryFileSize) return false;
    for (int i = 0; i < kMemorySlotCount; ++i)
        std::copy_n(bytes.data() + i * kRecordSize, kRecordSize, image[i].begin());
    return true;
}

FileResult ReadMemoryFile(const QString &path, MemoryImage &image)
{
    QByteArray bytes;
    FileResult result = ReadExactFile(path, kMemoryFileSize, bytes);
    if (result) MemoryImageFromBytes(bytes, image);
    return result;
}

std::optional<SlotFault> CheckMemoryValues(const MemoryImage &image)
{
    for (int i = 0; i < kMemorySlotCount; ++i) {
        if (!RecordInUse(image[i]))
            continue;
        if (const std::optional<RecordFault> fault = CheckRecordValues(image[i]))
            return SlotFault{i + 1, *fault};
    }
    return std::nullopt;
}

FileResult ReadCheckedMemoryFile(const QString &path, MemoryImage &image)
{
    MemoryImage read;
    FileResult result = ReadMemoryFile(path, read);
    if (!result)
        return result;
    if (const std::optional<SlotFault> bad = CheckMemoryValues(read))
        return ValueOutOfRangeResult(path, QStringLiteral("slot %1, %2").arg(bad->slot).arg(bad->fault.text()));
    image = read;
    return result;
}

FileResult WriteMemoryFile(const QString &path, const MemoryImage &image)
{
    return WriteFileAtomically(path, MemoryImageBytes(image));
}

}  // namespace talvo
