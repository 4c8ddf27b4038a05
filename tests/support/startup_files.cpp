#include "support/startup_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

namespace zavelo::test {

settings::RegistryLocation writeStartupFiles(const QString& xdgDir, const QString& erpDir,
                                             const QList<QByteArray>& lines) {
  settings::RegistryLocation where = settings::defaultRegistryLocation();
  where.configDirs = {xdgDir};
  {
    QSettings ini(xdgDir + "/" + where.relativeFile, QSettings::IniFormat);
    ini.setValue(where.valueName, erpDir);
  }
  QDir().mkpath(erpDir);
  QByteArray content;
  for (const QByteArray& line : lines) content += line + "\r\n";
  QFile conf(erpDir + "/settingsenvio.conf");
  EXPECT_TRUE(conf.open(QIODevice::WriteOnly)) << conf.fileName().toStdString();
  EXPECT_EQ(conf.write(content), content.size());
  return where;
}

}  // namespace zavelo::test
