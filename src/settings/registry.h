// Where the Halvori ERP is installed: the registry value Directorio (diraplicacion).
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "common/notifier.h"

namespace zavelo::settings {

// Where diraplicacion looks. The program passes defaultRegistryLocation(); tests point it at
// folders of their own, so that they never read the machine's real configuration.
struct RegistryLocation {
#ifdef Q_OS_WIN
  // A key under HKEY_LOCAL_MACHINE, read in the 32-bit view that a 32-bit ERP writes to.
  QString keyPath;
#else
  // Without a registry the key is an INI file, relativeFile, looked for in the system
  // configuration folders of the XDG convention, in order; the first that holds it is used.
  QStringList configDirs;
  QString relativeFile;
#endif
  QString valueName;
};

// HKEY_LOCAL_MACHINE\Software\QVT\Halvori2025, value Directorio. Elsewhere
// QVT/Halvori2025.conf in $XDG_CONFIG_DIRS (absolute entries only, as the convention asks),
// or in /etc/xdg when it names none.
RegistryLocation defaultRegistryLocation();

// The ERP directory, read only; the key is never created or written.
//
// - Key absent or unreadable: a notice under the program title, then the empty text. Its text:
//     No se encontró la Clave HKEY_LOCAL_MACHINE\Software\QVT\Halvori2025\Directorio
// - Value absent or empty: the empty text, no message.
// - A string (plain or expandable, which is not expanded): its text up to its first NUL.
// - Any other kind of value: throws zavelo::Error("Invalid data type for 'Directorio'").
//
// Without a registry, the INI file stands for the key and its top-level entry Directorio (in
// no section or in [General]) for the value:
// - no such file in any folder, a file that can't be opened, or one QSettings reports as
//   malformed: the key is absent;
// - no entry Directorio (names are case-sensitive) or an empty one: the value is absent;
// - an entry that QSettings reads back as anything but one string is the other kind of value:
//   a list ("a, b" unquoted), "@ByteArray(...)", "@Variant(...)", "@Rect(...)" and the like,
//   or a group of that name ("[Directorio]" or "Directorio/x=").
//   Quoted text and QSettings' escapes give a string ("\"a, b\"", "@@x" is "@x").
QString diraplicacion(Notifier& notifier, const RegistryLocation& where);

}  // namespace zavelo::settings
