// The date text of the export comes from the short date form in force; the deployment's
// year-first forms must come out as the export expects them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include "common/clock.h"
#include "export/export_file.h"
#include "support/qt_print.h"

namespace zavelo {
namespace {

const QDate kDay(2025, 8, 11);

TEST(DateText, ShortFormOfTheLocale) {
  struct Case {
    const char* locale;
    QByteArray text;
    QByteArray inventoryName;
  } cases[] = {
      {"ja_JP", "2025/08/11", "inventarios11082025.txt"},
      {"sv_SE", "2025-08-11", "inventarios11082025.txt"},
      // A day-first form gives a name with separators, which the writer refuses.
      {"en_GB", "11/08/2025", "inventarios25/211/0.txt"},
  };
  for (const auto& c : cases) {
    Clock::setLocale(QLocale(QString::fromLatin1(c.locale)));
    const QByteArray text = Clock::shortDate(kDay);
    EXPECT_EQ(text, c.text) << c.locale;
    EXPECT_EQ(exporting::exportFileName("inventarios", text), c.inventoryName) << c.locale;
  }
  Clock::setLocale(std::nullopt);
}

// Only a form of year, month and day in that order (four, two and two digits, one separator
// used twice) is year first: what an unattended start asks of the machine.
TEST(DateText, YearFirstForms) {
  const struct {
    QByteArray text;
    bool yearFirst;
  } cases[] = {
      {"2025/08/11", true},  {"2025-08-11", true},  {"2025.08.11", true},   {"11/08/2025", false},
      {"2025/11/08", false}, {"08/11/2025", false}, {"2025/8/11", false},   {"25/08/11", false},
      {"2025/08-11", false}, {"2025108111", false}, {"11 Aug 2025", false}, {"2025/08/11 ", false},
      {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Clock::isYearFirst(c.text, kDay), c.yearFirst) << c.text.toStdString();
  for (const char* locale : {"ja_JP", "sv_SE", "en_GB", "en_US", "C"})
    EXPECT_EQ(
        Clock::isYearFirst(
            QLocale(QString::fromLatin1(locale)).toString(kDay, QLocale::ShortFormat).toLatin1(),
            kDay),
        QByteArray(locale) == "ja_JP" || QByteArray(locale) == "sv_SE")
        << locale;
}

// Run in a child process with LC_ALL set: the locale in force on the machine, not one the
// program chose.
TEST(DateTextChild, ShortDateOfTheLocaleInForce) {
  const QByteArray expected = qgetenv("ZAVELO_EXPECT_DATE");
  if (expected.isEmpty()) GTEST_SKIP() << "run by DateText.LocaleInForce only";
  EXPECT_EQ(Clock::shortDate(kDay), expected);
}

TEST(DateText, LocaleInForce) {
#ifdef Q_OS_WIN
  GTEST_SKIP() << "on Windows the form in force is the user's regional setting, not LC_ALL";
#endif
  struct Case {
    const char* lcAll;
    const char* text;
  } cases[] = {{"ja_JP.UTF-8", "2025/08/11"}, {"sv_SE.UTF-8", "2025-08-11"}};
  for (const auto& c : cases) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", c.lcAll);
    env.insert("ZAVELO_EXPECT_DATE", c.text);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=DateTextChild.ShortDateOfTheLocaleInForce"});
    ASSERT_TRUE(child.waitForFinished(30000)) << c.lcAll;
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << c.lcAll << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
  }
}

}  // namespace
}  // namespace zavelo
