// The program's exit status over everything it heard, from itself and from its runs: the
// worst wins, and another run under way outranks all, since this start did nothing.
#include "app/run_status.h"

#include <gtest/gtest.h>

#include <variant>
#include <vector>

namespace zavelo {
namespace {

using exporting::RunEvent;
using Event = std::variant<ProgramEvent, RunEvent>;

TEST(RunStatus, WorstOfWhatHappened) {
  using Box = ProgramEvent::Box;
  const RunEvent sent{.type = RunEvent::Type::MailSent};
  const RunEvent failed{.type = RunEvent::Type::MailFailed};
  const RunEvent notWritten{.type = RunEvent::Type::FileNotWritten};
  const RunEvent notAttempted{.type = RunEvent::Type::MailNotAttempted};
  const RunEvent stopped{.type = RunEvent::Type::RunStopped};
  const ProgramEvent busy{.type = ProgramEvent::Type::AlreadyRunning};
  const auto box = [](Box b) {
    return ProgramEvent{.type = ProgramEvent::Type::MessageBox, .box = b};
  };
  const struct {
    std::vector<Event> events;
    int status;
  } cases[] = {
      {{}, 0},
      {{sent, sent}, 0},
      // The configuration lookup's box lets the run go on; the mails tell how it went.
      {{box(Box::ErrorBox), sent}, 0},
      {{sent, failed, sent}, 1},
      {{sent, notWritten}, 1},
      {{notAttempted, sent}, 1},
      {{box(Box::ErrorReport)}, 2},
      {{box(Box::Notice)}, 2},
      {{failed, stopped, sent}, 2},
      {{sent, ProgramEvent{.type = ProgramEvent::Type::StartRefused}}, 2},
      {{sent, ProgramEvent{.type = ProgramEvent::Type::Stopped}}, 2},
      {{stopped, busy}, 3},
      {{busy, failed}, 3},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    RunStatus status;
    for (const Event& e : cases[i].events)
      std::visit([&](const auto& event) { status.record(event); }, e);
    EXPECT_EQ(status.exitStatus(), cases[i].status) << "case " << i;
  }
}

}  // namespace
}  // namespace zavelo
