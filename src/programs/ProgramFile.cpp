#include "programs/ProgramFile.h"

#include <algorithm>

#include <QFile>
#include <QSaveFile>

#include "programs/Windows1252.h"

namespace talvo {

namespace {

bool IsSeparator(QChar c) { return c == u'\\' || c == u'/'; }

}  // namespace

QString FileBaseName(const QString &fullPath)
{
    const qsizetype dot = fullPath.lastIndexOf(u'.');
    if (dot < 0) return {};
    qsizetype separator = -1;
    for (qsizetype i = fullPath.size() - 1; i >= 0; --i) {
        if (IsSeparator(fullPath.at(i))) {
            separator = i;
            break;
        }
    }
    const qsizetype start = separator + 1;
    if (dot <= start) return {};
    return fullPath.mid(start, dot - start);
}

QString ReadProgramName(const QString &fullPath)
{
    const qsizetype dot = fullPath.lastIndexOf(u'.');
    if (dot < 0 || fullPath.mid(dot) != QLatin1String(kProgramFileExtension)) return {};
    RecordImage record;
    if (!ReadRecordFile(fullPath, record)) return QStringLiteral("Default   ");
    std::array<std::uint8_t, kNameSize> name;
    std::copy_n(record.begin(), kNameSize, name.begin());
    return ProgramNameText(name);
}

FileResult ReadExactFile(const QString &path, qint64 expectedLength, QByteArray &bytes)
{
    FileResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = FileResult::Status::CannotRead;
        result.message = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return result;
    }
    // Read one byte past the expected length: enough to tell "too long" without loading a
    // huge file that is plainly not ours.
    const QByteArray data = file.read(expectedLength + 1);
    if (file.error() != QFileDevice::NoError) {
        result.status = FileResult::Status::CannotRead;
        result.message = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return result;
    }
    if (data.size() != expectedLength) {
        const qint64 found = std::max<qint64>(file.size(), data.size());
        result.status = FileResult::Status::WrongLength;
        result.lengthFound = found;
        result.lengthExpected = expectedLength;
        result.message = QStringLiteral("%1 is %2 bytes long; expected %3 bytes")
                             .arg(path)
                             .arg(found)
                             .arg(expectedLength);
        return result;
    }
    bytes = data;
    return result;
}

FileResult WriteFileAtomically(const QString &path, QByteArrayView bytes)
{
    FileResult result;
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) written = file.write(bytes.data(), bytes.size()) == bytes.size();
    // write() only fills Qt's buffer, and commit() does not notice when flushing that buffer
    // fails (disk full): it would rename the short temporary file over the target. Flushing
    // here first catches it while the target is still untouched.
    if (written) written = file.flush() && file.error() == QFileDevice::NoError;
    if (written) written = file.commit();
    if (!written) {
        const QString why = file.errorString();
        file.cancelWriting();  // the temporary file is removed, the target left alone
        result.status = FileResult::Status::CannotWrite;
        result.message = QStringLiteral("cannot write %1: %2").arg(path, why);
    }
    return result;
}

FileResult ReadRecordFile(const QString &path, RecordImage &record)
{
    QByteArray bytes;
    FileResult result = ReadExactFile(path, kRecordSize, bytes);
    if (result) std::copy_n(bytes.constData(), kRecordSize, record.begin());
    return result;
}

FileResult WriteRecordFile(const QString &path, const RecordImage &record)
{
    return WriteFileAtomically(
        path, QByteArrayView(reinterpret_cast<const char *>(record.data()), kRecordSize));
}

void StampSavedHeader(RecordImage &record, const QString &fullPath)
{
    const std::array<std::uint8_t, kNameSize> name = ProgramNameBytes(FileBaseName(fullPath));
    std::copy(name.begin(), name.end(), record.begin());
    record[11] = 1;
    record[12] = 255;
    record[13] = record[14] = record[15] = 0x20;
}

}  // namespace talvo
