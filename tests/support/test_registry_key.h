// A registry key of a test's own on Windows, under HKEY_LOCAL_MACHINE in the 32-bit view where
// a 32-bit ERP writes its key, with values written by type, as the ERP (or a broken install)
// would leave them. Removed with everything below it when the object goes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#ifdef Q_OS_WIN

namespace zavelo::test {

// A text's UTF-16 code units as the registry stores them, without a terminator.
QByteArray utf16Bytes(const QString& text);
// The terminator of a stored UTF-16 text.
inline const QByteArray kWideNul(2, '\0');

class TestRegistryKey {
 public:
  // Software\ZaveloTests\<a new unique name>; fails the current test when it cannot be made.
  TestRegistryKey();
  TestRegistryKey(const TestRegistryKey&) = delete;
  TestRegistryKey& operator=(const TestRegistryKey&) = delete;
  ~TestRegistryKey();

  // The key's path below HKEY_LOCAL_MACHINE.
  const QString& path() const { return path_; }

  // A value of the given registry type (REG_SZ, REG_DWORD, ...) with exactly these bytes.
  bool setRaw(const QString& name, unsigned long type, const QByteArray& bytes);
  // A REG_SZ with its terminating NUL, as RegSetValueEx is normally called.
  bool setString(const QString& name, const QString& text);
  bool setMultiString(const QString& name, const QStringList& texts);
  // Removes the key (as if the ERP were not installed); the destructor then has nothing to do.
  void remove();

  // Whether the 64-bit view holds the key
  // too (it must not: the ERP's view is the 32-bit one).
  bool existsIn64BitView() const;

 private:
  QString path_;
  bool exists_ = false;
};

}  // namespace zavelo::test

#endif
