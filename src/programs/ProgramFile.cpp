#include "programs/ProgramFile.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "programs/RecordCheck.h"
#include "programs/Windows1252.h"

namespace talvo {

namespace {

bool IsSeparator(QChar c) { return c == u'\\' || c == u'/'; }

// Links followed before giving up on a loop of symbolic links.
constexpr int kMaxLinkDepth = 32;

// What an existing path that is not a regular file is, in words for a message.
QString KindOfSpecialFile(const QFileInfo &info)
{
    if (info.isDir()) return QStringLiteral("a folder");
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0) {
        if (S_ISFIFO(st.st_mode)) return QStringLiteral("a named pipe");
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return QStringLiteral("a device");
        if (S_ISSOCK(st.st_mode)) return QStringLiteral("a socket");
    }
#endif
    return QStringLiteral("a special file");
}

// The file a write to `path` lands in: the path itself, or the file its chain of symbolic
// links ends at, so that a link stays a link and its target gets the new content. Empty, with
// `why` set, when that is anything but a regular file or a file still to be created: renaming
// a temporary file over a device, a named pipe or a folder would replace it.
QString RegularWriteTarget(const QString &path, QString &why)
{
    QString current = path;
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        const QFileInfo info(current);
        if (info.isSymbolicLink()) {
            current = info.symLinkTarget();
            continue;
        }
        if (!info.exists() || info.isFile()) return current;
        why = current == path ? QStringLiteral("it is %1, not a regular file").arg(KindOfSpecialFile(info))
                              : QStringLiteral("it links to %1, which is %2, not a regular file")
                                    .arg(current, KindOfSpecialFile(info));
        return {};
    }
    why = QStringLiteral("too many levels of symbolic links");
    return {};
}

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
    QString refusal;
    const QString target = RegularWriteTarget(path, refusal);
    if (target.isEmpty()) {
        result.status = FileResult::Status::NotRegularFile;
        result.message = QStringLiteral("cannot write %1: %2").arg(path, refusal);
        return result;
    }
    QSaveFile file(target);
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

FileResult ValueOutOfRangeResult(const QString &path, const QString &where)
{
    FileResult result;
    result.status = FileResult::Status::ValueOutOfRange;
    result.message = QStringLiteral("%1 is refused: %2").arg(path, where);
    return result;
}

FileResult ReadCheckedRecordFile(const QString &path, RecordImage &record)
{
    RecordImage read{};
    FileResult result = ReadRecordFile(path, read);
    if (!result)
        return result;
    if (const std::optional<RecordFault> fault = CheckRecordValues(read))
        return ValueOutOfRangeResult(path, fault->text());
    record = read;
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
