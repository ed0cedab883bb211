#pragma once
// Paths that are not regular files, for the tests of writers that must refuse them: a named
// pipe made in a test's own folder, and a way to tell what a path is now without opening it
// (opening a named pipe would block).

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace talvo::testsupport {

inline bool MakeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A symbolic link at `link` holding `target` as written (a relative target is relative to the
// link's folder).
inline bool MakeSymbolicLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

enum class PathKind { Missing, RegularFile, Folder, NamedPipe, SymbolicLink, Other };

// What the path itself is; a symbolic link is not followed.
inline PathKind KindOfPath(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    if (S_ISFIFO(st.st_mode)) return PathKind::NamedPipe;
    if (S_ISLNK(st.st_mode)) return PathKind::SymbolicLink;
    return PathKind::Other;
}

}  // namespace talvo::testsupport
