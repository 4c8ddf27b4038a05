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

void Clock::setToday(std::optional<QDate> day) {
  g_today = day;
}
void Clock::setLocale(std::optional<QLocale> locale) {
  g_locale = locale;
}

}  // namespace zavelo
