#include "common/clock.h"

#include "common/cp1252.h"

namespace zavelo {
namespace {
std::optional<QDate> g_today;
std::optional<QLocale> g_locale;
}  // namespace

QDate Clock::today() {
  return g_today.value_or(QDate::currentDate());
}

QByteArray Clock::shortDate(QDate day) {
  const QLocale locale = g_locale.value_or(QLocale::system());
  return toCp1252(locale.toString(day, QLocale::ShortFormat));
}

bool Clock::isYearFirst(const QByteArray& text, QDate day) {
  if (text.size() != 10 || !day.isValid()) return false;
  const char separator = text[4];
  if (text[7] != separator || (separator >= '0' && separator <= '9')) return false;
  const QByteArray expected = QByteArray::number(day.year()).rightJustified(4, '0') + separator +
                              QByteArray::number(day.month()).rightJustified(2, '0') + separator +
                              QByteArray::number(day.day()).rightJustified(2, '0');
  return text == expected;
}

void Clock::setToday(std::optional<QDate> day) {
  g_today = day;
}
void Clock::setLocale(std::optional<QLocale> locale) {
  g_locale = locale;
}

}  // namespace zavelo
