#include "export/report_run.h"

#include <QString>
#include <exception>

#include "common/error.h"
#include "common/error_report.h"
#include "common/stop_request.h"

namespace zavelo::exporting {

ReportRun::ReportRun(RunDates& dates, RunExport& files, RunMail& mail, RunListener listener)
    : dates_(dates), files_(files), mail_(mail), listener_(std::move(listener)) {}

void ReportRun::record(const RunEvent& event) {
  if (listener_) listener_(event);
}

bool ReportRun::run() {
  resultFlag_ = false;
  unreachable_.clear();
  QDate day = dates_.firstDay();
  record({.type = RunEvent::Type::RunStarted, .day = day});
  try {
    // The last day is read again before every pass; days compare as whole calendar days.
    while (day.isValid() && dates_.lastDay().isValid() && !(dates_.lastDay() < day)) {
      // The kinds in the table's order; the day's mail setup comes after the first file.
      for (const ReportKind& report : kReportKinds)
        oneFile(report.kind, day, &report == &kReportKinds.front());
      record({.type = RunEvent::Type::DayEnded, .day = day});
      day = day.addDays(1);
    }
  } catch (const std::exception& e) {
    // Recorded where it happened, with what it was; the error itself goes on to the caller's
    // report.
    RunEvent stopped{.type = RunEvent::Type::RunStopped, .day = day, .text = exceptionText(e)};
    if (const auto* error = dynamic_cast<const Error*>(&e)) {
      stopped.error = error->kind();
      stopped.firebirdCode = error->firebirdCode();
    }
    record(stopped);
    throw;
  }
  record({.type = RunEvent::Type::RunEnded, .resultFlag = resultFlag_});
  return resultFlag_;
}

void ReportRun::oneFile(Kind kind, QDate day, bool prepareMail) {
  // A stop asked from outside ends the run between its steps, like an error.
  if (stopRequested()) throw Error(stopText());
  const DayExport file = files_.generararchivo(kind, day);
  if (file.error) {
    record({.type = RunEvent::Type::FileNotWritten,
            .kind = kind,
            .day = day,
            .path = file.path,
            .text = *file.error});
  } else {
    record({.type = RunEvent::Type::FileWritten,
            .kind = kind,
            .day = day,
            .path = file.path,
            .rows = file.rows,
            .bytes = file.bytes});
  }
  // The day's mail setup comes after the inventory file, written or not.
  if (prepareMail) mail_.prepararcorreo();
  if (file.error) {
    // A file that could not be written is not mailed, and the report did not go out.
    resultFlag_ = false;
    return;
  }
  if (!unreachable_.isEmpty()) {
    // Not attempted: the report did not go out, and the result flag stays as it was.
    record({.type = RunEvent::Type::MailNotAttempted,
            .kind = kind,
            .day = day,
            .path = file.path,
            .text = unreachable_});
    return;
  }
  if (stopRequested()) throw Error(stopText());
  const MailResult mail = mail_.enviarcorreo(kind, day, file.path);
  if (giveUpOnUnreachable_ && mail.outcome == MailOutcome::Failed && mail.serverUnreachable)
    unreachable_ = QStringLiteral(
                       "el servidor de correo no respondi\u00f3 a un correo anterior "
                       "de esta corrida: ") +
                   mail.text;
  RunEvent event{
      .kind = kind, .day = day, .path = file.path, .text = mail.text, .detail = mail.connection};
  switch (mail.outcome) {
    case MailOutcome::Sent:
      event.type = RunEvent::Type::MailSent;
      resultFlag_ = true;
      break;
    case MailOutcome::Failed:
      event.type = RunEvent::Type::MailFailed;
      resultFlag_ = false;
      break;
    case MailOutcome::NotAttempted:
      // The result flag stays as it was.
      event.type = RunEvent::Type::MailNotAttempted;
      break;
  }
  record(event);
}

}  // namespace zavelo::exporting
