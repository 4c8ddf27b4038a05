#include "app/console.h"

#include <QByteArray>

namespace zavelo {

void printLine(std::FILE* to, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fputs(bytes.constData(), to);
  if (!text.endsWith(u'\n')) std::fputc('\n', to);
  std::fflush(to);
}

}  // namespace zavelo
