#include "support/test_registry_key.h"

#ifdef Q_OS_WIN

#include <gtest/gtest.h>

#include <QUuid>

#include <windows.h>

namespace zavelo::test {
namespace {

LPCWSTR wide(const QString& text) {
  return reinterpret_cast<LPCWSTR>(text.utf16());
}

}  // namespace

QByteArray utf16Bytes(const QString& text) {
  return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

TestRegistryKey::TestRegistryKey()
    : path_(QStringLiteral("Software\\ZaveloTests\\") +
            QUuid::createUuid().toString(QUuid::WithoutBraces)) {
  HKEY key = nullptr;
  const LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(path_), 0, nullptr, 0,
                                  KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  exists_ = rc == ERROR_SUCCESS;
  if (!exists_) {
    ADD_FAILURE() << "cannot create HKLM\\" << path_.toStdString() << ": error " << rc;
    return;
  }
  RegCloseKey(key);
}

TestRegistryKey::~TestRegistryKey() {
  remove();
}

void TestRegistryKey::remove() {
  if (!exists_) return;
  // Through the parent opened in the 32-bit view: a key handle keeps its view for what is
  // below it, while a path from HKEY_LOCAL_MACHINE would name the 64-bit one.
  const qsizetype slash = path_.lastIndexOf(u'\\');
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path_.left(slash)), 0,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, &parent) == ERROR_SUCCESS) {
    RegDeleteTreeW(parent, wide(path_.mid(slash + 1)));
    RegCloseKey(parent);
  }
  exists_ = false;
}

bool TestRegistryKey::setRaw(const QString& name, unsigned long type, const QByteArray& bytes) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path_), 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG rc =
      RegSetValueExW(key, wide(name), 0, type, reinterpret_cast<const BYTE*>(bytes.constData()),
                     DWORD(bytes.size()));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool TestRegistryKey::setString(const QString& name, const QString& text) {
  return setRaw(name, REG_SZ, utf16Bytes(text) + kWideNul);
}

bool TestRegistryKey::setMultiString(const QString& name, const QStringList& texts) {
  QByteArray bytes;
  for (const QString& text : texts) bytes += utf16Bytes(text) + kWideNul;
  return setRaw(name, REG_MULTI_SZ, bytes + kWideNul);
}

bool TestRegistryKey::existsIn64BitView() const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path_), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace zavelo::test

#endif
