#include "app/console.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace zavelo {
namespace {

#ifdef Q_OS_WIN
// A Windows console takes UTF-16 through WriteConsoleW, whatever code page it is set to (chcp
// 850 or 1252 could show neither Greek nor Chinese); bytes written to it would be read in that
// code page. Returns false when the stream is not a console.
bool writeToConsole(std::FILE* to, const QString& text) {
  const intptr_t os = _get_osfhandle(_fileno(to));
  const HANDLE handle = reinterpret_cast<HANDLE>(os);
  DWORD mode = 0;
  if (os == -1 || handle == nullptr || !GetConsoleMode(handle, &mode)) return false;
  std::fflush(to);
  const std::wstring wide = text.toStdWString();
  DWORD written = 0;
  WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  return true;
}
#endif

}  // namespace

void printLine(std::FILE* to, const QString& text) {
  const QString line = text.endsWith(u'\n') ? text : text + u'\n';
#ifdef Q_OS_WIN
  if (writeToConsole(to, line)) return;
#endif
  const QByteArray bytes = line.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
  std::fflush(to);
}

QString oneLine(QString text) {
  text = text.trimmed();
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
  text.replace(u'\r', QStringLiteral(" / "));
  text.replace(u'\n', QStringLiteral(" / "));
  return text;
}

}  // namespace zavelo
