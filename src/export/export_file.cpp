#include "export/export_file.h"

#include <QSaveFile>
#include <cerrno>

#include "common/stop_request.h"
#include "db/sql_literal.h"

namespace zavelo::exporting {
namespace {

// Lines are gathered into blocks of this size before they reach the file, so that a million
// short rows cost a few hundred writes rather than a million.
constexpr qsizetype kBlockSize = 256 * 1024;

QString failure(const QString& path, const QString& reason) {
  return QStringLiteral("No se pudo escribir el archivo %1: %2").arg(path, reason);
}

}  // namespace

QByteArray exportStatement(Kind kind, QByteArrayView dateText, QByteArrayView brand) {
  return QByteArrayLiteral("select CADENA from ") + reportKind(kind).procedure + '(' +
         db::sqlStringLiteral(dateText) + ',' + db::sqlStringLiteral(brand) + ')';
}

QByteArray exportStatusCaption(Kind kind, QByteArrayView dateText) {
  return reportKind(kind).statusPrefix + dateText.toByteArray() +
         QByteArrayLiteral(". espere un momento...");
}

QByteArray exportFileName(QByteArrayView prefix, QByteArrayView dateText) {
  // mid() with a start or length past the end gives what exists, possibly nothing.
  const QByteArray text = dateText.toByteArray();
  return prefix.toByteArray() + text.mid(8, 2) + text.mid(5, 2) + text.mid(0, 4) + ".txt";
}

QString exportFilePath(const QString& directory, const QString& fileName) {
  return directory + u'/' + fileName;
}

std::optional<QString> writeExportFile(const QString& directory, const QString& fileName,
                                       const LineSource& next) {
  const QString path = exportFilePath(directory, fileName);
  // A day-first date form puts separators into the name (inventarios25/211/0.txt); such a name
  // would land in another folder or nowhere, so it is refused whatever folders exist. Both
  // separators count, so that the program behaves alike on every platform.
  if (fileName.contains(u'/') || fileName.contains(u'\\'))
    return failure(path, QStringLiteral("el nombre contiene un separador de carpetas"));
  if (path.size() > kMaxPathLength)
    return failure(path, QStringLiteral("la ruta pasa de %1 caracteres").arg(kMaxPathLength));

  QSaveFile file(path);
  // Never write straight into the target: a failure must leave an earlier file as it was.
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    return failure(path, file.errorString());

  // The system's own error of the last failed call, where the file keeps none: a write the
  // disk takes only part of returns a short count without an error (the next one says why), and
  // a failed commit may leave the file's error cleared.
  int systemError = 0;
  const auto reason = [&] {
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty())
      return file.errorString();
    if (systemError != 0) return qt_error_string(systemError);
    return QStringLiteral("error de escritura sin causa conocida");
  };

  QByteArray block;
  block.reserve(kBlockSize + 1024);
  const auto flushBlock = [&]() -> bool {
    qsizetype done = 0;
    while (done < block.size()) {
      errno = 0;
      const qint64 written = file.write(block.constData() + done, block.size() - done);
      systemError = errno;
      if (written <= 0) return false;  // a short write goes on; the next one tells why it stops
      done += written;
    }
    block.resize(0);  // keeps the capacity
    return true;
  };

  bool ok = true;
  LineView line;
  while (ok && next(line)) {
    if (stopRequested()) {
      // Stopped from outside: nothing half written stays behind.
      file.cancelWriting();
      return failure(path, stopText());
    }
    if (line) block.append(*line);
    block.append("\r\n", 2);
    if (block.size() >= kBlockSize) ok = flushBlock();
    line.reset();
  }
  // commit() writes out, syncs and renames over the target; on failure it drops the temporary.
  if (ok) ok = flushBlock();
  if (ok) {
    errno = 0;
    ok = file.commit();
    systemError = errno;
  }
  if (!ok) {
    const QString why = reason();
    file.cancelWriting();
    return failure(path, why);
  }
  return std::nullopt;
}

}  // namespace zavelo::exporting
