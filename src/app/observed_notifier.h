// The program's boxes, heard by its journal and exit status. In an unattended start no box is
// ever shown, since nobody could click it: its text goes to the listener and to standard
// error, the program is asked to end, and a box that would have let the handler go on leaves
// it instead, as the general error report does.
#pragma once

#include <functional>

#include "app/program_event.h"
#include "common/notifier.h"

namespace zavelo {

class ObservedNotifier : public Notifier {
 public:
  // shown: the notifier that shows the boxes, or nullptr where none may be shown. endProgram
  // is called after each box that could not be shown.
  ObservedNotifier(Notifier* shown, ProgramListener listener,
                   std::function<void()> endProgram = {});

  void errorReport(const QString& title, const QString& text) override;
  void notice(const QString& title, const QString& text) override;
  void errorBox(const QString& title, const QString& text) override;

 private:
  // Tells the listener; without boxes, also standard error and the end of the program.
  void heard(ProgramEvent::Box box, const QString& title, const QString& text);

  Notifier* shown_;
  ProgramListener listener_;
  std::function<void()> endProgram_;
};

}  // namespace zavelo
