#pragma once
// The program's remembered settings and the mapping of COM port numbers to serial devices.
//
// On Windows the values live in the registry of the current user, with the local machine as
// the fallback when the user's key can be neither opened nor created:
//   Software\deziro232          RS232        remembered COM port number (low byte counts)
//   Software\ZORAZER\PATH       installpath  installation directory (the installer writes it)
//   Software\ZORAZER\LANGUAGE   LAN          language value (read, no effect)
// Elsewhere the same keys and values live in one INI file, $XDG_CONFIG_HOME/talvo/talvo.conf
// (default ~/.config/talvo/talvo.conf): the key path without "Software\" names the section, e.g.
//   [deziro232]
//   RS232=3
//   [ZORAZER/PATH]
//   installpath=/opt/talvo
//   [ZORAZER/RECENT]
//   File1=/home/sound/shows/Main Hall.VKP     (File1..File8, the most recent first)
// and the section `ports` may send any COM number to another device: COM7=/dev/ttyUSB3, or to a
// serial server on the network: COM8=tcp://10.0.0.20:4001.
// Saving a value rewrites only its line: comments (on their own line or after a value, from
// ';'), blank lines and other keys stay as the operator wrote them. The file is replaced
// atomically and only when it is a regular file (or a link to one).
//
// Everything here is read fresh on every call, so a changed file or environment (tests point
// XDG_CONFIG_HOME elsewhere) takes effect at once. No call throws or shows anything.

#include <optional>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace talvo {

inline constexpr int kComSetupFirstPort = 1;
inline constexpr int kComSetupLastPort = 120;
// How many program files File > Open Recent remembers.
inline constexpr int kRecentFileCount = 8;

class Settings {
public:
    // The INI file used where there is no registry (empty on Windows).
    static QString FilePath();

    // The remembered COM port number: the low byte of RS232; 1 when the value is missing or
    // not an integer. (0 is possible when the stored value is a multiple of 256.)
    static int LoadPortNumber();
    // Stores port modulo 256. False when nothing could be written.
    static bool SavePortNumber(int port);

    // installpath; empty when missing.
    static QString InstallPath();
    static bool SetInstallPath(const QString &path);

    // LAN; nothing when the value is missing or not an integer.
    static std::optional<int> Language();
    static bool SetLanguage(int value);

    // The program files last opened or saved, the most recent first, at most kRecentFileCount,
    // each once; whether they still exist is for the caller to see.
    static QStringList RecentProgramFiles();
    // Puts path first in that list (moving it up when it is there already; the oldest drops off).
    static bool RememberProgramFile(const QString &path);

    // The `ports` group: COM number -> device path, as written by the user (not on Windows).
    static QMap<int, QString> PortMap();
    // Device for COM n: a `ports` entry first; then "COMn" on Windows, elsewhere
    // COM1..32 = /dev/ttyS0..31, COM33..64 = /dev/ttyUSB0..31, COM65..96 = /dev/ttyACM0..31.
    // Empty when n has no device.
    static QString PortDevicePath(int port);
    // A port exists when its device can be opened, or opening it is refused because some
    // program (this one included) holds it.
    static bool DeviceExists(const QString &devicePath);
    static bool PortExists(int port) { return DeviceExists(PortDevicePath(port)); }
    // The numbers in first..last whose device exists, ascending.
    static QList<int> ExistingPorts(int first = kComSetupFirstPort, int last = kComSetupLastPort);
};

// The text of the message box shown when a port cannot be opened, and its caption.
QString OpenErrorText(int port);
inline constexpr const char *kOpenErrorCaption = "Open COM error";

}  // namespace talvo
