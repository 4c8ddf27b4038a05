#include "app/run_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include "common/cp1252.h"

namespace zavelo {

QString runLockPath(const QByteArray& outputFolder) {
  QString folder = QDir::cleanPath(QFileInfo(fromCp1252(outputFolder)).absoluteFilePath());
#ifdef Q_OS_WIN
  folder = folder.toLower();  // one folder, however its name is written
#endif
  const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1);
  return QDir(QDir::tempPath())
      .filePath(QStringLiteral("zadirod-%1.lock").arg(QString::fromLatin1(hash.toHex().left(16))));
}

}  // namespace zavelo
