// A temporary folder per test, removed at the end unless ZAVELO_KEEP_TEMP is set.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "support/qt_print.h"

namespace zavelo::test {

class TempDir {
 public:
  TempDir();
  QString path() const { return dir_.path(); }
  QString filePath(const QString& name) const { return dir_.filePath(name); }
  // Writes bytes to a file below the folder, creating its folders; returns its path.
  QString write(const QString& name, const QByteArray& bytes) const;

 private:
  QTemporaryDir dir_;
};

// Reads a whole file; fails the current test when it cannot.
QByteArray readFile(const QString& path);

}  // namespace zavelo::test
