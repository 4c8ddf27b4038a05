// "Today" and the machine's short date form come from here, so tests can fix both.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <optional>

namespace zavelo {

class Clock {
 public:
  // Today's local calendar day, or the day a test has set.
  static QDate today();
  // The day in the short date form in force (the system locale's), or a test's locale.
  static QByteArray shortDate(QDate day);

  // Whether the short date text of a day gives its year, month and day in that order: four,
  // two and two digits with one separator, the same twice (2025/08/11, 2025-08-11).
  static bool isYearFirst(const QByteArray& text, QDate day);

  static void setToday(std::optional<QDate> day);
  static void setLocale(std::optional<QLocale> locale);
};

}  // namespace zavelo
