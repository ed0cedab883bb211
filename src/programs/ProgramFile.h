#pragma once
// The program file (".VKP"): exactly one 112-byte record, nothing before or after it.
// Also the small file helpers the memory file shares: exact-length reads and atomic writes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "programs/ProgramRecord.h"

namespace talvo {

inline constexpr char kProgramFileExtension[] = ".VKP";

// The outcome of reading or writing a file. On failure `message` is one line naming the file
// and the cause; for a wrong length it names the length found and the length expected.
struct FileResult {
    // NotRegularFile: the target exists as something a write must not replace (a device, a
    // named pipe, a folder, a socket); nothing was written. ValueOutOfRange: the file was
    // read whole, but a record in it holds a value no editor produces (the message names the
    // first one); nothing of it may be shown or sent.
    enum class Status { Ok, CannotRead, WrongLength, CannotWrite, NotRegularFile, ValueOutOfRange };

    Status status = Status::Ok;
    QString message;
    qint64 lengthFound = -1;     // set for WrongLength
    qint64 lengthExpected = -1;  // set for WrongLength

    bool ok() const { return status == Status::Ok; }
    explicit operator bool() const { return ok(); }
};

// The characters after the last path separator and before the last dot; empty when the path
// has no dot or the dot comes before the name starts. Both "\" and "/" separate (Qt hands out
// "/" paths on every system, and neither may appear inside a Windows file name).
QString FileBaseName(const QString &fullPath);

// The name stored in a program file, as text: empty unless the path ends in exactly ".VKP"
// (case-sensitive); otherwise the file's first 10 bytes when it is exactly 112 bytes long,
// else "Default   ".
QString ReadProgramName(const QString &fullPath);

// Reads the whole file and accepts it only when it is exactly `expectedLength` bytes long;
// `bytes` is left alone on failure.
FileResult ReadExactFile(const QString &path, qint64 expectedLength, QByteArray &bytes);

// Writes through a temporary file that replaces the target only when everything was written,
// so a failure leaves an existing file as it was. Only regular files are written: an existing
// target of another kind is refused (NotRegularFile) and left alone; a symbolic link is
// followed and the file it points to is written, the link itself staying a link.
FileResult WriteFileAtomically(const QString &path, QByteArrayView bytes);

// A program file as it is, whatever its values (for showing the bytes, not for using them);
// `record` is left alone on failure.
FileResult ReadRecordFile(const QString &path, RecordImage &record);
// A program file to show in the editors or send: as ReadRecordFile, and refused
// (ValueOutOfRange) when CheckRecordValues finds a value no editor produces, whatever inUse.
FileResult ReadCheckedRecordFile(const QString &path, RecordImage &record);
// The refusal of a file for a value out of range: "PATH is refused: " + where + fault.
FileResult ValueOutOfRangeResult(const QString &path, const QString &where);
FileResult WriteRecordFile(const QString &path, const RecordImage &record);

// The header a program file written by Save carries: the name from the first 10 bytes of the
// path's base name (space filled), in use, not tied to a memory slot, tail 20 20 20.
void StampSavedHeader(RecordImage &record, const QString &fullPath);

}  // namespace talvo
