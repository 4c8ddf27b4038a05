// The run with no window and no database: fakes stand in for the dates, the files and the
// mailing, and the run is judged by its result flag, the events its listener hears and the
// exit status the program folds from them.
#include "export/report_run.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <array>
#include <new>

#include "app/run_status.h"
#include "common/error.h"
#include "support/error_of.h"

namespace zavelo::exporting {
namespace {

using zavelo::RunStatus;

using Type = RunEvent::Type;

// What becomes of one file: written and then sent, failed or not attempted, or not written
// (and so not mailed).
enum class Outcome { Sent, Failed, NotAttempted, NotWritten, Unreachable };

const QDate kFirst(2025, 8, 11);

// The dates, the files and the mails of a run, scripted file by file in run order.
class ScriptedRun : public RunDates, public RunExport, public RunMail {
 public:
  QDate first = kFirst;
  QDate last = kFirst.addDays(1);
  std::vector<Outcome> script;
  QStringList calls;
  // Called before each file is written: a test may change the last day or throw here.
  std::function<void(Kind, QDate)> beforeFile;
  std::function<void()> beforeMail;

  QDate firstDay() const override { return first; }
  QDate lastDay() const override { return last; }

  DayExport generararchivo(Kind kind, QDate day) override {
    if (beforeFile) beforeFile(kind, day);
    const QString path = QStringLiteral("%1-%2").arg(name(kind)).arg(day.day());
    calls << QStringLiteral("file ") + path;
    if (current() == Outcome::NotWritten) {
      ++next_;
      return {path, QStringLiteral("disco lleno")};
    }
    return {path, std::nullopt, 3, 42};
  }
  void prepararcorreo() override { calls << QStringLiteral("prepare"); }
  MailResult enviarcorreo(Kind kind, QDate day, const QString& path) override {
    if (beforeMail) beforeMail();
    calls << QStringLiteral("mail ") + path;
    EXPECT_EQ(path, QStringLiteral("%1-%2").arg(name(kind)).arg(day.day()));
    switch (script.at(next_++)) {
      case Outcome::Sent:
        return {MailOutcome::Sent, QStringLiteral("250 2.0.0 OK queued")};
      case Outcome::Failed:
        return {MailOutcome::Failed, QStringLiteral("554 5.6.0 Message refused")};
      case Outcome::Unreachable:
        return {.outcome = MailOutcome::Failed,
                .text = QStringLiteral("Timed out waiting for the server's greeting."),
                .serverUnreachable = true};
      default:
        return {MailOutcome::NotAttempted, {}};
    }
  }

  static QString name(Kind kind) {
    return kind == Kind::Inventory ? QStringLiteral("inv") : QStringLiteral("ven");
  }

 private:
  Outcome current() const { return next_ < script.size() ? script[next_] : Outcome::Sent; }
  size_t next_ = 0;
};

// The events as short words: "start", "w"ritten, "x" not written, "s"ent, "f"ailed, "n"ot
// attempted, "day", "end", "stop".
QStringList words(const std::vector<RunEvent>& events) {
  QStringList out;
  for (const RunEvent& e : events) {
    switch (e.type) {
      case Type::RunStarted:
        out << "start";
        break;
      case Type::FileWritten:
        out << "w";
        break;
      case Type::FileNotWritten:
        out << "x";
        break;
      case Type::MailSent:
        out << "s";
        break;
      case Type::MailFailed:
        out << "f";
        break;
      case Type::MailNotAttempted:
        out << "n";
        break;
      case Type::DayEnded:
        out << "day";
        break;
      case Type::RunEnded:
        out << "end";
        break;
      case Type::RunStopped:
        out << "stop";
        break;
      default:
        out << "?";
    }
  }
  return out;
}

// What a listener of the run hears, and the exit status the program folds from it.
struct Heard {
  std::vector<RunEvent> events;
  RunStatus status;
  RunListener listener() {
    return [this](const RunEvent& e) {
      events.push_back(e);
      status.record(e);
    };
  }
  int exitStatus() const { return status.exitStatus(); }
};

struct Row {
  std::array<Outcome, 4> files;  // day 1 inventory, day 1 sales, day 2 inventory, day 2 sales
  bool resultFlag;
  int exitStatus;
  const char* events;
};

using O = Outcome;

// Chosen rows, each written out by hand.
const Row kRows[] = {
    {{O::Sent, O::Sent, O::Sent, O::Sent}, true, 0, "start w s w s day w s w s day end"},
    // The last mail went out after an earlier failure: the program would end, yet the report
    // that failed makes the status 1.
    {{O::Failed, O::Sent, O::Sent, O::Sent}, true, 1, "start w f w s day w s w s day end"},
    {{O::Sent, O::Sent, O::Sent, O::Failed}, false, 1, "start w s w s day w s w f day end"},
    // Not attempted leaves the flag as the mail before it left it.
    {{O::Sent, O::Sent, O::Sent, O::NotAttempted}, true, 1, "start w s w s day w s w n day end"},
    {{O::Failed, O::NotAttempted, O::NotAttempted, O::NotAttempted},
     false,
     1,
     "start w f w n day w n w n day end"},
    {{O::NotAttempted, O::NotAttempted, O::NotAttempted, O::NotAttempted},
     false,
     1,
     "start w n w n day w n w n day end"},
    // A file that could not be written is not mailed, and counts as a report that failed.
    {{O::Sent, O::Sent, O::Sent, O::NotWritten}, false, 1, "start w s w s day w s x day end"},
    {{O::NotWritten, O::Sent, O::NotWritten, O::Sent}, true, 1, "start x w s day x w s day end"},
    {{O::NotWritten, O::NotWritten, O::NotWritten, O::NotWritten},
     false,
     1,
     "start x x day x x day end"},
};

class RunTable : public ::testing::TestWithParam<Row> {};

TEST_P(RunTable, FlagStatusAndEventsInOrder) {
  const Row& row = GetParam();
  ScriptedRun host;
  host.script.assign(row.files.begin(), row.files.end());
  Heard heard;
  ReportRun run(host, host, host, heard.listener());

  EXPECT_EQ(run.run(), row.resultFlag);
  EXPECT_EQ(heard.exitStatus(), row.exitStatus);
  EXPECT_EQ(words(heard.events).join(' '), row.events);
}

INSTANTIATE_TEST_SUITE_P(TwoDays, RunTable, ::testing::ValuesIn(kRows));

// Every combination of the four outcomes over two days, against the rules said plainly: the
// flag is what the last file that reached a mail attempt (or failed to be written) left, and
// the status is 0 only when every report went out.
TEST(ReportRun, EveryCombinationOverTwoDays) {
  const std::array outcomes{O::Sent, O::Failed, O::NotAttempted, O::NotWritten};
  for (int code = 0; code < 256; ++code) {
    ScriptedRun host;
    for (int file = 0; file < 4; ++file) host.script.push_back(outcomes[(code >> (2 * file)) & 3]);
    Heard heard;
    ReportRun run(host, host, host, heard.listener());
    const bool flag = run.run();

    bool expectedFlag = false;
    for (auto it = host.script.rbegin(); it != host.script.rend(); ++it) {
      if (*it == O::NotAttempted) continue;
      expectedFlag = *it == O::Sent;
      break;
    }
    const bool allSent =
        std::all_of(host.script.begin(), host.script.end(), [](O o) { return o == O::Sent; });
    QStringList expectedWords{"start"};
    for (int file = 0; file < 4; ++file) {
      const O o = host.script[file];
      expectedWords << (o == O::NotWritten ? "x" : "w");
      if (o != O::NotWritten) expectedWords << (o == O::Sent ? "s" : o == O::Failed ? "f" : "n");
      if (file % 2 == 1) expectedWords << "day";
    }
    expectedWords << "end";

    EXPECT_EQ(flag, expectedFlag) << code;
    EXPECT_EQ(heard.exitStatus(), allSent ? 0 : 1) << code;
    EXPECT_EQ(words(heard.events), expectedWords) << code;
  }
}

TEST(ReportRun, StepsOfADayInOrderWithTheirDetails) {
  ScriptedRun host;
  host.last = kFirst;
  host.script = {O::Sent, O::Failed};
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  run.run();
  // The day's mail setup follows the inventory file, before its mail.
  EXPECT_EQ(host.calls,
            QStringList({"file inv-11", "prepare", "mail inv-11", "file ven-11", "mail ven-11"}));
  const std::vector<RunEvent>& e = heard.events;
  ASSERT_EQ(words(e).join(' '), "start w s w f day end");
  EXPECT_EQ(e[0].day, kFirst);
  EXPECT_EQ(e[1].kind, Kind::Inventory);
  EXPECT_EQ(e[1].path, "inv-11");
  EXPECT_EQ(e[1].rows, 3);
  EXPECT_EQ(e[1].bytes, 42);
  EXPECT_EQ(e[2].text, "250 2.0.0 OK queued");
  EXPECT_EQ(e[3].kind, Kind::Sales);
  EXPECT_EQ(e[4].text, "554 5.6.0 Message refused");
  EXPECT_FALSE(e[6].resultFlag);
}

TEST(ReportRun, AnUnwrittenInventoryFileStillHasTheDaysMailSetup) {
  ScriptedRun host;
  host.last = kFirst;
  host.script = {O::NotWritten, O::Sent};
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  EXPECT_TRUE(run.run());
  EXPECT_EQ(host.calls, QStringList({"file inv-11", "prepare", "file ven-11", "mail ven-11"}));
  EXPECT_EQ(heard.events[1].text, "disco lleno");
}

TEST(ReportRun, TheLastDayIsReadAgainBeforeEveryPass) {
  ScriptedRun host;
  host.last = kFirst;
  host.script.assign(6, O::Sent);
  // Moved on while the first day runs: the run takes the days added.
  host.beforeFile = [&](Kind, QDate day) {
    if (day == kFirst) host.last = kFirst.addDays(2);
  };
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  run.run();
  EXPECT_EQ(host.calls.filter("file").size(), 6);
  EXPECT_EQ(host.calls.last(), "mail ven-13");
}

TEST(ReportRun, AnEmptyRangeWritesAndMailsNothing) {
  ScriptedRun host;
  host.last = kFirst.addDays(-1);
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  EXPECT_FALSE(run.run());
  EXPECT_TRUE(host.calls.isEmpty());
  EXPECT_EQ(words(heard.events).join(' '), "start end");
  EXPECT_EQ(heard.exitStatus(), 0);
}

// An error ends the run where it happens: it is recorded with its text, the status is 2, and
// the error itself goes on to the caller (the window's error report).
TEST(ReportRun, AnErrorStopsTheRunAndIsRecorded) {
  ScriptedRun host;
  host.script.assign(4, O::Sent);
  host.beforeFile = [](Kind kind, QDate day) {
    if (kind == Kind::Sales && day == kFirst.addDays(1))
      throw Error(Error::Kind::Database, QStringLiteral("procedure ZAVELO_VENTAS failed"),
                  335544569);
  };
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  EXPECT_EQ(test::errorOf([&] { run.run(); }), "procedure ZAVELO_VENTAS failed");
  EXPECT_EQ(words(heard.events).join(' '), "start w s w s day w s stop");
  EXPECT_EQ(heard.events.back().text, "procedure ZAVELO_VENTAS failed");
  EXPECT_EQ(heard.events.back().day, kFirst.addDays(1));
  // What the error was travels with it.
  EXPECT_EQ(heard.events.back().error, Error::Kind::Database);
  EXPECT_EQ(heard.events.back().firebirdCode, 335544569);
  EXPECT_EQ(heard.exitStatus(), 2);
}

TEST(ReportRun, MemoryThatRunsOutStopsTheRunLikeAnError) {
  ScriptedRun host;
  host.script.assign(4, O::Sent);
  host.beforeMail = [] { throw std::bad_alloc(); };
  Heard heard;
  ReportRun run(host, host, host, heard.listener());
  EXPECT_THROW(run.run(), std::bad_alloc);
  EXPECT_EQ(words(heard.events).join(' '), "start w stop");
  EXPECT_EQ(heard.events.back().text, "Out of memory");
  EXPECT_EQ(heard.exitStatus(), 2);
}

// A mail that found its server unreachable: a run that gives up on it attempts no later mail
// (each recorded as not attempted, with the reason), still writes every file, and reports the
// reports as not mailed; a run that does not give up tries every mail.
TEST(ReportRun, AnUnreachableServerEndsTheMailingWhenTheRunGivesUpOnIt) {
  const struct {
    bool giveUp;
    std::vector<Outcome> script;
    const char* calls;
    const char* events;
  } cases[] = {
      {true,
       {O::Sent, O::Unreachable},
       "file inv-11 prepare mail inv-11 file ven-11 mail ven-11 file inv-12 prepare file ven-12",
       "start w s w f day w n w n day end"},
      {false,
       {O::Sent, O::Unreachable, O::Unreachable, O::Unreachable},
       "file inv-11 prepare mail inv-11 file ven-11 mail ven-11 file inv-12 prepare mail inv-12 "
       "file ven-12 mail ven-12",
       "start w s w f day w f w f day end"},
      // A refusal by a server that answers is no reason to stop.
      {true,
       {O::Failed, O::Sent, O::Sent, O::Failed},
       "file inv-11 prepare mail inv-11 file ven-11 mail ven-11 file inv-12 prepare mail inv-12 "
       "file ven-12 mail ven-12",
       "start w f w s day w s w f day end"},
  };
  for (const auto& c : cases) {
    ScriptedRun scripted;
    scripted.script = c.script;
    Heard heard;
    ReportRun run(scripted, scripted, scripted, heard.listener());
    run.setGiveUpOnUnreachableServer(c.giveUp);
    EXPECT_FALSE(run.run());
    EXPECT_EQ(scripted.calls.join(' '), c.calls);
    EXPECT_EQ(words(heard.events).join(' '), c.events);
    EXPECT_EQ(heard.exitStatus(), 1);
    for (const RunEvent& e : heard.events) {
      if (e.type != Type::MailNotAttempted) continue;
      EXPECT_EQ(e.text,
                QStringLiteral("el servidor de correo no respondi\u00f3 a un correo anterior de "
                               "esta corrida: Timed out waiting for the server's greeting."));
    }
  }
}

}  // namespace
}  // namespace zavelo::exporting
