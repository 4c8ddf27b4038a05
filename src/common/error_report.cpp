#include "common/error_report.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <exception>
#include <new>

#include "common/error.h"
#include "common/handler_abandoned.h"

namespace zavelo {

QString programTitle(const QString& programFilePath) {
  // Both separators count: the program is named the same way on Windows and elsewhere.
  QString name = programFilePath;
  const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
  name = name.mid(slash + 1);
  const qsizetype dot = name.indexOf(u'.');
  if (dot >= 0) name.truncate(dot);
  if (name.isEmpty()) return name;
  return name.left(1) + name.mid(1).toLower();
}

QString programTitle() {
  return programTitle(QCoreApplication::applicationFilePath());
}

QString errorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + u'.';
  return message;
}

void reportError(Notifier& notifier, const QString& message) {
  notifier.errorReport(programTitle(), errorReportText(message));
}

bool runGuarded(Notifier& notifier, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const HandlerAbandoned&) {
    // Its box has been recorded where it was raised.
  } catch (const std::exception& e) {
    reportError(notifier, exceptionText(e));
  }
  return false;
}

QString exceptionText(const std::exception& e) {
  if (const auto* error = dynamic_cast<const Error*>(&e)) return error->message();
  if (const auto* abandoned = dynamic_cast<const HandlerAbandoned*>(&e))
    return abandoned->message();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return QStringLiteral("Out of memory");
  return QString::fromLocal8Bit(e.what());
}

}  // namespace zavelo
