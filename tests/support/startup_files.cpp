#include "support/startup_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include "support/test_registry_key.h"
#endif

namespace zavelo::test {

settings::RegistryLocation writeStartupFiles([[maybe_unused]] const QString& xdgDir,
                                             const QString& erpDir,
                                             const QList<QByteArray>& lines) {
  settings::RegistryLocation where = settings::defaultRegistryLocation();
  // An empty folder would put the settings file at the root of the file system.
  EXPECT_TRUE(QDir::isAbsolutePath(erpDir)) << "ERP folder: " << erpDir.toStdString();
#ifdef Q_OS_WIN
  {
    // A key of the test's own in the registry; it outlives this call (the test reads it
    // later) and is removed when the test program ends.
    static std::vector<std::unique_ptr<TestRegistryKey>> keys;
    keys.push_back(std::make_unique<TestRegistryKey>());
    EXPECT_TRUE(keys.back()->setString(where.valueName, QDir::toNativeSeparators(erpDir)));
    where.keyPath = keys.back()->path();
  }
#else
  where.configDirs = {xdgDir};
  {
    QSettings ini(xdgDir + "/" + where.relativeFile, QSettings::IniFormat);
    ini.setValue(where.valueName, erpDir);
  }
#endif
  QDir().mkpath(erpDir);
  QByteArray content;
  for (const QByteArray& line : lines) content += line + "\r\n";
  QFile conf(erpDir + "/settingsenvio.conf");
  EXPECT_TRUE(conf.open(QIODevice::WriteOnly)) << conf.fileName().toStdString();
  EXPECT_EQ(conf.write(content), content.size());
  return where;
}

}  // namespace zavelo::test
