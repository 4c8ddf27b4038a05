#include "app/observed_notifier.h"

#include "app/console.h"
#include "common/handler_abandoned.h"
#include "common/stop_request.h"

namespace zavelo {

ObservedNotifier::ObservedNotifier(Notifier* shown, ProgramListener listener,
                                   std::function<void()> endProgram)
    : shown_(shown), listener_(std::move(listener)), endProgram_(std::move(endProgram)) {}

void ObservedNotifier::heard(ProgramEvent::Box box, const QString& title, const QString& text) {
  if (listener_) listener_({.type = ProgramEvent::Type::MessageBox, .text = text, .box = box});
  // Once a stop was asked for, no box waits for a click: the program ends.
  if (shown_ && !stopRequested()) return;
  printLine(stderr, title + QStringLiteral(": ") + text);
  if (endProgram_) endProgram_();
}

void ObservedNotifier::errorReport(const QString& title, const QString& text) {
  heard(ProgramEvent::Box::ErrorReport, title, text);
  // The handler has already been left: the report is shown on the way out of it.
  if (shown_ && !stopRequested()) shown_->errorReport(title, text);
}

void ObservedNotifier::notice(const QString& title, const QString& text) {
  heard(ProgramEvent::Box::Notice, title, text);
  if (!shown_ || stopRequested()) throw HandlerAbandoned(text);
  shown_->notice(title, text);
}

void ObservedNotifier::errorBox(const QString& title, const QString& text) {
  heard(ProgramEvent::Box::ErrorBox, title, text);
  if (!shown_ || stopRequested()) throw HandlerAbandoned(text);
  shown_->errorBox(title, text);
}

}  // namespace zavelo
