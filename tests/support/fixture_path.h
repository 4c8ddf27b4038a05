// Where the test fixtures are (tests/fixtures): ZAVELO_FIXTURES when set, else the folder the
// build was configured with. Header-only, so that the benchmarks that build the company
// fixture find it too.
#pragma once

#include <QDir>
#include <QString>

namespace zavelo::test {

inline QString fixturePath(const QString& name) {
  QString dir = qEnvironmentVariable("ZAVELO_FIXTURES");
  if (dir.isEmpty()) dir = QStringLiteral(ZAVELO_FIXTURES_DIR);
  return QDir(dir).filePath(name);
}

}  // namespace zavelo::test
