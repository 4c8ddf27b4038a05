#include "settings/registry.h"

#include "common/error.h"
#include "common/error_report.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <vector>
#else
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#endif

namespace zavelo::settings {

namespace {

void noticeKeyAbsent(Notifier& notifier) {
  notifier.notice(programTitle(),
                  QStringLiteral("No se encontr\u00f3 la Clave "
                                 "HKEY_LOCAL_MACHINE\\Software\\QVT\\Halvori2025\\Directorio"));
}

[[noreturn]] void throwInvalidType(const QString& valueName) {
  throw Error(Error::Kind::Settings, QStringLiteral("Invalid data type for '%1'").arg(valueName));
}

QString upToNul(const QString& text) {
  const qsizetype nul = text.indexOf(QChar(u'\0'));
  return nul < 0 ? text : text.left(nul);
}

}  // namespace

#ifdef Q_OS_WIN

RegistryLocation defaultRegistryLocation() {
  return {QStringLiteral("Software\\QVT\\Halvori2025"), QStringLiteral("Directorio")};
}

QString diraplicacion(Notifier& notifier, const RegistryLocation& where) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(where.keyPath.utf16()), 0,
                    KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    noticeKeyAbsent(notifier);
    return {};
  }
  const auto name = reinterpret_cast<LPCWSTR>(where.valueName.utf16());
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  std::vector<wchar_t> data;
  // The value may grow between the size query and the read: ask again, a few times at most.
  for (int attempt = 0; rc == ERROR_SUCCESS && size > 0; ++attempt) {
    data.assign(size / sizeof(wchar_t) + 1, L'\0');  // room for a missing terminator
    size = DWORD(data.size() * sizeof(wchar_t));
    rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size);
    if (rc != ERROR_MORE_DATA || attempt == 3) break;
    rc = ERROR_SUCCESS;  // size now holds what the value needs
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || size == 0) return {};  // absent (or unreadable) or empty value
  if (type != REG_SZ && type != REG_EXPAND_SZ) throwInvalidType(where.valueName);
  return upToNul(QString::fromWCharArray(data.data(), qsizetype(size / sizeof(wchar_t))));
}

#else

RegistryLocation defaultRegistryLocation() {
  RegistryLocation where;
  for (const QString& dir :
       QString::fromLocal8Bit(qgetenv("XDG_CONFIG_DIRS")).split(u':', Qt::SkipEmptyParts)) {
    if (QDir::isAbsolutePath(dir)) where.configDirs.append(dir);
  }
  if (where.configDirs.isEmpty()) where.configDirs.append(QStringLiteral("/etc/xdg"));
  where.relativeFile = QStringLiteral("QVT/Halvori2025.conf");
  where.valueName = QStringLiteral("Directorio");
  return where;
}

QString diraplicacion(Notifier& notifier, const RegistryLocation& where) {
  QString path;
  for (const QString& dir : where.configDirs) {
    const QString candidate = dir + u'/' + where.relativeFile;
    if (QFileInfo(candidate).isFile()) {
      path = candidate;
      break;
    }
  }
  // QSettings reads an unreadable file as an empty one, so try the open first.
  if (path.isEmpty() || !QFile(path).open(QIODevice::ReadOnly)) {
    noticeKeyAbsent(notifier);
    return {};
  }
  // Only read: QSettings writes (and takes its lock file) only when a value was changed.
  const QSettings ini(path, QSettings::IniFormat);
  const bool isGroup = ini.childGroups().contains(where.valueName);
  const QVariant value = ini.value(where.valueName);
  // QSettings parses the entries as they are asked for: only now does its status cover them.
  if (ini.status() != QSettings::NoError) {
    noticeKeyAbsent(notifier);
    return {};
  }
  if (isGroup) throwInvalidType(where.valueName);
  if (!value.isValid()) return {};
  if (value.typeId() != QMetaType::QString) throwInvalidType(where.valueName);
  return upToNul(value.toString());
}

#endif

}  // namespace zavelo::settings
