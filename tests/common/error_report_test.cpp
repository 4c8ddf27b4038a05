#include "common/error_report.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/handler_abandoned.h"

#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include "support/recording_notifier.h"

namespace zavelo {
namespace {

TEST(ProgramTitle, CutAtFirstPeriodRestLowerCase) {
  struct Case {
    const char* path;
    const char* title;
  } cases[] = {
      {"C:\\Program Files\\QVT\\ZadiRod.exe", "Zadirod"},
      {"/opt/zavelo/bin/ZadiRod", "Zadirod"},
      {"ZADIROD.EXE", "Zadirod"},
      {"zadi.rod.exe", "zadi"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(programTitle(QString::fromUtf8(c.path)), c.title) << c.path;
}

TEST(ErrorReportText, PeriodOnlyAfterACharacterSortingAfterThePeriod) {
  struct Case {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Range check error", "Range check error."},
      {"Invalid data type for 'Directorio'", "Invalid data type for 'Directorio'"},
      {"Already ended.", "Already ended."},
      {"ends in a blank ", "ends in a blank "},
      {"code 42", "code 42."},  // digits sort after "."
      {"slash/", "slash/."},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(errorReportText(c.message), c.shown) << c.message;
}

TEST(RunGuarded, AnErrorBecomesTheReportAndStopsTheHandler) {
  test::RecordingNotifier notifier;
  bool after = false;
  EXPECT_FALSE(runGuarded(notifier, [&] {
    throw Error("Range check error");
    after = true;
  }));
  EXPECT_FALSE(after);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, test::Shown::ErrorReport);
  EXPECT_EQ(notifier.shown[0].text, "Range check error.");
  EXPECT_EQ(notifier.shown[0].title, programTitle());

  EXPECT_TRUE(runGuarded(notifier, [] {}));
  EXPECT_EQ(notifier.shown.size(), 1u);
}

// Errors that are not the system's own are reported like any other instead of ending the
// process; a handler abandoned where no box could be answered ends quietly.
TEST(RunGuarded, OtherExceptionsAreReportedAbandonedHandlersAreNot) {
  const struct {
    std::function<void()> handler;
    std::optional<QString> report;
  } cases[] = {
      {[] { throw std::bad_alloc(); }, QStringLiteral("Out of memory.")},
      {[] { throw std::runtime_error("vector too long"); }, QStringLiteral("vector too long.")},
      {[] { throw HandlerAbandoned(QStringLiteral("sin clave")); }, std::nullopt},
  };
  for (const auto& c : cases) {
    test::RecordingNotifier notifier;
    EXPECT_FALSE(runGuarded(notifier, c.handler));
    if (c.report) {
      ASSERT_EQ(notifier.shown.size(), 1u);
      EXPECT_EQ(notifier.shown[0].kind, test::Shown::ErrorReport);
      EXPECT_EQ(notifier.shown[0].text, *c.report);
    } else {
      EXPECT_TRUE(notifier.shown.empty());
    }
  }
}

}  // namespace
}  // namespace zavelo
