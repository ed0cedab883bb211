#include "shell/HelpFile.h"

#include <QDir>
#include <QFileInfo>

namespace talvo {

QString LocateHelpFile(const QString &workingDir, const QString &installPath) {
    for (const QString &dir : {workingDir, installPath}) {
        if (dir.isEmpty()) continue;
        const QFileInfo file(QDir(dir), QString::fromLatin1(kHelpFileName));
        if (file.isFile()) return file.absoluteFilePath();
    }
    return {};
}

}  // namespace talvo
