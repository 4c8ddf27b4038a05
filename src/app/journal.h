// The run journal: a UTF-8 text file with one line per event, each starting with the local
// time and its offset, for whoever looks the morning after at what a scheduled start did. It
// never holds a password; a journal that cannot be written never stops a run.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

#include "app/program_event.h"
#include "export/run_event.h"

namespace zavelo {

class Journal {
 public:
  // The size at which the file is moved aside to path + ".1" (the one earlier file kept).
  static constexpr qint64 kRolloverBytes = 1024 * 1024;
  // The longest text of one line, in characters; the rest is left out, and counted.
  static constexpr qsizetype kMaxLineLength = 8192;

  explicit Journal(QString path, qint64 rolloverBytes = kRolloverBytes);

  const QString& path() const { return path_; }

  // Texts that must never reach the file (passwords): where an event's own texts (its text,
  // detail and path, which come from outside) hold one, it is written as "********" instead.
  void addSecret(const QString& secret);

  // One line for the event; a run's DayEnded, the window's own bookkeeping, writes none.
  void record(const exporting::RunEvent& event);
  void record(const ProgramEvent& event);
  // One line with the time in front, as given but for control characters, which are written
  // as \xNN.
  void write(const QString& text);

  // Where the time comes from; tests fix it.
  void setClock(std::function<QDateTime()> now) { now_ = std::move(now); }

 private:
  QString scrubbed(QString text) const;
  // Writes the line unless it is empty.
  void writeLine(const QString& text);
  void complain(const QString& why);

  QString path_;
  qint64 rolloverBytes_;
  QStringList secrets_;
  std::function<QDateTime()> now_;
  bool complained_ = false;
};

// The journal's text for one event, in Spanish like the rest of the program; line breaks
// inside the texts become " / ", so that every event stays one line.
// A run's DayEnded has no text.
QString journalText(const exporting::RunEvent& event);
QString journalText(const ProgramEvent& event);

}  // namespace zavelo
