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
  } catch (const Error& e) {
    reportError(notifier, e.message());
  } catch (const HandlerAbandoned&) {
    // Its box has been recorded where it was raised.
  } catch (const std::bad_alloc&) {
    reportError(notifier, outOfMemoryText());
  } catch (const std::exception& e) {
    reportError(notifier, QString::fromLocal8Bit(e.what()));
  }
  return false;
}

QString outOfMemoryText() {
  return QStringLiteral("Out of memory");
}

}  // namespace zavelo
