// What the program itself does around its runs, as a stream of events: its start, the settings
// it read, the boxes it showed (or would have shown), a start it refused and its end. The run's
// own events come from the export layer; the journal and the exit status hear both.
#pragma once

#include <QString>
#include <functional>

namespace zavelo {

struct ProgramEvent {
  enum class Type {
    ProgramStarted,  // text: version and how the program was started
    SettingsRead,    // text: the settings file; detail: the mode it runs in
    MessageBox,      // box, text: what a message box says (or would have said)
    AlreadyRunning,  // text: the lock that another unattended run holds
    StartRefused,    // text: why an unattended start cannot go on (before it connects)
    Stopped,         // text: the signal (SIGTERM, SIGINT) that ended the program
    ProgramEnded,    // exitStatus
  };
  // The three boxes the program shows.
  enum class Box { ErrorReport, Notice, ErrorBox };

  Type type = Type::ProgramStarted;
  QString text{};
  QString detail{};
  Box box = Box::ErrorReport;
  int exitStatus = 0;
};

using ProgramListener = std::function<void(const ProgramEvent&)>;

}  // namespace zavelo
