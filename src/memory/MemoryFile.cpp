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

FileResult WriteMemoryFile(const QString &path, const MemoryImage &image)
{
    return WriteFileAtomically(path, MemoryImageBytes(image));
}

}  // namespace talvo
