// One run of the daily export: for every day from the first to the last, each kind of report
// of the table in turn (the inventory file, the day's mail setup, its mail, then the sales
// file and its mail). The run knows no window: it reads the dates, writes the files and mails
// them through three small interfaces, and records every step as an event.
#pragma once

#include <QDate>
#include <QString>

#include "export/daily_export.h"
#include "export/report_kind.h"
#include "export/run_event.h"

namespace zavelo::exporting {

// The run's dates as the user has chosen them. The last day is read again before every pass.
class RunDates {
 public:
  virtual ~RunDates() = default;
  virtual QDate firstDay() const = 0;
  virtual QDate lastDay() const = 0;
};

class RunExport {
 public:
  virtual ~RunExport() = default;
  // Writes the day's file of the kind. A database error is thrown: it ends the run.
  virtual DayExport generararchivo(Kind kind, QDate day) = 0;
};

class RunMail {
 public:
  virtual ~RunMail() = default;
  // The day's mail setup, once per day after the inventory file.
  virtual void prepararcorreo() = 0;
  // Mails one written file. Errors other than a failed sending are thrown: they end the run.
  virtual MailResult enviarcorreo(Kind kind, QDate day, const QString& path) = 0;
};

class ReportRun {
 public:
  // listener, when set, hears every event as it happens.
  ReportRun(RunDates& dates, RunExport& files, RunMail& mail, RunListener listener = {});

  // Goes through the days and returns the result flag: true when the last mail attempted went
  // out. An error that ends the run early is recorded (RunStopped) and passes on to the caller.
  bool run();

  // Once a mail found the server unreachable (or silent past its greeting time), the run's
  // later mails are not attempted, each recorded with the reason: a scheduler's catch-up run
  // then costs one time-out instead of one per mail. Off by default, as a user at the window
  // may be waiting for a server that comes back.
  void setGiveUpOnUnreachableServer(bool giveUp) { giveUpOnUnreachable_ = giveUp; }

 private:
  void record(const RunEvent& event);
  // One file: written, then mailed unless it could not be written.
  void oneFile(Kind kind, QDate day, bool prepareMail);

  RunDates& dates_;
  RunExport& files_;
  RunMail& mail_;
  RunListener listener_;
  bool resultFlag_ = false;
  bool giveUpOnUnreachable_ = false;
  // Why the later mails are not attempted, once the server was found unreachable.
  QString unreachable_;
};

}  // namespace zavelo::exporting
