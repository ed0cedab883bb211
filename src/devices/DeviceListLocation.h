#pragma once
// Where "DSPdevi.ini" lives: in the installation directory (the `installpath` setting).
//
// Without an installation directory the list goes to the root of the current drive on
// Windows. Elsewhere there are no drive letters and "/" is not writable for a user, so every
// device added would be lost; the list goes to the user's data directory instead:
// $XDG_DATA_HOME/talvo/DSPdevi.ini (default ~/.local/share/talvo/DSPdevi.ini).

#include <QString>

#include "devices/DeviceList.h"

namespace talvo {

// The list file for an installation directory (empty = none).
QString DeviceListPathFor(const QString &installDir);
// The list file for the installation directory in the settings.
QString DeviceListFilePath();
// Creates the directory that holds `filePath` when it is missing. False (with the reason) when
// it cannot be created.
bool EnsureDeviceListDirectory(const QString &filePath, QString *error = nullptr);
// Opens the device list at its place: the directory created when needed, a missing file
// created with 255 empty slots. A failure leaves an empty list (writes go where the path
// points) and says why in `error`.
bool OpenDeviceList(DeviceList &list, QString *error = nullptr);

}  // namespace talvo
