// What happens while the program makes and mails its reports, as a stream of events. The
// generation window, the run journal and the program's exit status all read the same stream.
#pragma once

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

#include "common/mail_outcome.h"
#include "export/report_kind.h"

namespace zavelo::exporting {

struct RunEvent {
  enum class Type {
    ProgramStarted,    // text: version and how the program was started
    SettingsRead,      // text: the settings file; detail: the mode it runs in
    Connecting,        // text: the database string; detail: the user (never a password)
    RunStarted,        // day: the first day
    FileWritten,       // kind, day, path, rows, bytes
    FileNotWritten,    // kind, day, path; text: the reason
    MailSent,          // kind, day, path; text: the server's last reply; detail: the connection
    MailFailed,        // kind, day, path; text: the error
    MailNotAttempted,  // kind, day, path; text: why, when not for want of a mail account
    DayEnded,          // day
    RunEnded,          // resultFlag: the last mail attempted went out
    RunStopped,        // text: the error that ended the run before its last day
    MessageBox,        // box, text: what a message box says (or would have said)
    AlreadyRunning,    // text: the lock that another unattended run holds
    StartRefused,      // text: why an unattended start cannot go on (before it connects)
    Stopped,           // text: the signal (SIGTERM, SIGINT) that ended the program
    ProgramEnded,      // exitStatus
  };
  // The three boxes the program shows.
  enum class Box { ErrorReport, Notice, ErrorBox };

  Type type = Type::ProgramStarted;
  std::optional<Kind> kind{};
  QDate day{};
  QString path{};
  qint64 rows = 0;
  qint64 bytes = 0;
  QString text{};
  QString detail{};
  Box box = Box::ErrorReport;
  bool resultFlag = false;
  int exitStatus = 0;
};

using RunListener = std::function<void(const RunEvent&)>;

}  // namespace zavelo::exporting
