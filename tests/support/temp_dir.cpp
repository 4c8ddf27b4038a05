#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zavelo::test {

TempDir::TempDir() : dir_(QDir::tempPath() + "/zavelo-XXXXXX") {
  dir_.setAutoRemove(qEnvironmentVariableIsEmpty("ZAVELO_KEEP_TEMP"));
}

QString TempDir::write(const QString& name, const QByteArray& bytes) const {
  const QString path = dir_.filePath(name);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  EXPECT_EQ(f.write(bytes), bytes.size());
  return path;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "cannot read " << path.toStdString();
  return f.readAll();
}

}  // namespace zavelo::test
