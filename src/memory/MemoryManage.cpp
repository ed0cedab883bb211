#include "memory/MemoryManage.h"

#include <algorithm>

#include "programs/Windows1252.h"

namespace talvo {

namespace {

QString NameOf(const RecordImage &record)
{
    std::array<std::uint8_t, kNameSize> name{};
    std::copy_n(record.begin(), kNameSize, name.begin());
    return ProgramNameText(name);
}

}  // namespace

QString MemoryManage::ProgramCell(int r) const
{
    r = Limit(r);
    return InUse(r) ? QString::number(r) + QLatin1String(kManageMark) : QString::number(r);
}

QString MemoryManage::NameCell(int r) const
{
    return InUse(r) ? NameOf(slot(r)) : QStringLiteral(" ");
}

QString MemoryManage::NameField(int r) const
{
    return InUse(r) ? NameOf(slot(r)) : QString();
}

void MemoryManage::New()
{
    image_.fill(NewSlotRecord());
}

FileResult MemoryManage::Open(const QString &path)
{
    return ReadCheckedMemoryFile(path, image_);
}

FileResult MemoryManage::SaveAs(const QString &path) const
{
    return WriteMemoryFile(path, image_);
}

FileResult MemoryManage::Add(int r, const QString &path)
{
    return ReadCheckedRecordFile(path, at(r));
}

FileResult MemoryManage::SaveSlotAs(int r, const QString &path) const
{
    return WriteRecordFile(path, slot(r));
}

void MemoryManage::Delete(int r)
{
    at(r)[11] = 0;
}

void MemoryManage::DeleteAll()
{
    for (int r = 1; r <= kMemorySlotCount; ++r)
        Delete(r);
}

bool MemoryManage::Modify(int r, const QString &text)
{
    if (!InUse(r))
        return false;
    const auto name = ProgramNameBytes(text);
    std::copy(name.begin(), name.end(), at(r).begin());
    return true;
}

}  // namespace talvo
