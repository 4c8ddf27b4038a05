// The program's exit status, folded from its events and its runs' events: what a scheduler
// reads to know whether the night's reports went out. Worked out here and nowhere else.
#pragma once

#include "app/program_event.h"
#include "export/run_event.h"

namespace zavelo {

class RunStatus {
 public:
  static constexpr int kAllSent = 0;         // no report failed, or no run took place
  static constexpr int kReportFailed = 1;    // a report was not written or not mailed
  static constexpr int kStopped = 2;         // a run stopped on an error, or could not start
  static constexpr int kAlreadyRunning = 3;  // another unattended run was under way

  // Takes one event into account; the worst of what has happened so far is kept.
  void record(const exporting::RunEvent& event);
  void record(const ProgramEvent& event);
  int exitStatus() const { return status_; }

 private:
  void worsen(int status);

  int status_ = kAllSent;
};

}  // namespace zavelo
