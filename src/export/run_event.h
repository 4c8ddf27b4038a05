// What happens while the program connects, makes and mails its reports, as a stream of events.
// The generation window, the run journal and the program's exit status all read the same
// stream; the program's own events (start, settings, boxes, end) are the app's.
#pragma once

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

#include "common/error.h"
#include "common/mail_outcome.h"
#include "export/report_kind.h"

namespace zavelo::exporting {

struct RunEvent {
  enum class Type {
    Connecting,        // text: the database string; detail: the user (never a password)
    RunStarted,        // day: the first day
    FileWritten,       // kind, day, path, rows, bytes
    FileNotWritten,    // kind, day, path; text: the reason
    MailSent,          // kind, day, path; text: the server's last reply; detail: the connection
    MailFailed,        // kind, day, path; text: the error
    MailNotAttempted,  // kind, day, path; text: why, when not for want of a mail account
    DayEnded,          // day
    RunEnded,          // resultFlag: the last mail attempted went out
    RunStopped,        // text, error, firebirdCode: the error that ended the run early
  };

  Type type = Type::Connecting;
  std::optional<Kind> kind{};
  QDate day{};
  QString path{};
  qint64 rows = 0;
  qint64 bytes = 0;
  QString text{};
  QString detail{};
  bool resultFlag = false;
  // Where the error that stopped the run arose, and the database's own code for it.
  Error::Kind error = Error::Kind::General;
  std::optional<long> firebirdCode{};
};

using RunListener = std::function<void(const RunEvent&)>;

}  // namespace zavelo::exporting
