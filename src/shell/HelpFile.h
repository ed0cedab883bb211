#pragma once
// Where Help > Content finds its help file: the working directory first, then the
// installation directory.

#include <QString>

namespace talvo {

inline constexpr const char *kHelpFileName = "VELK.chm";
inline constexpr const char *kHelpMissingText = "Can not open VELK.chm.";

// The full path of the help file, or an empty string when neither directory holds it.
// An empty directory name is skipped rather than read as the current directory.
QString LocateHelpFile(const QString &workingDir, const QString &installPath);

}  // namespace talvo
