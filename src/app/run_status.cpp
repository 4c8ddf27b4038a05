#include "app/run_status.h"

namespace zavelo {
namespace {

// How bad an exit status is: another run under way outranks everything, since this start did
// nothing at all.
int severity(int status) {
  return status == RunStatus::kAlreadyRunning ? 10 : status;
}

}  // namespace

void RunStatus::worsen(int status) {
  if (severity(status) > severity(status_)) status_ = status;
}

void RunStatus::record(const exporting::RunEvent& event) {
  using T = exporting::RunEvent::Type;
  switch (event.type) {
    case T::FileNotWritten:
    case T::MailFailed:
    case T::MailNotAttempted:
      // The report did not reach its recipients, whatever a later mail did.
      worsen(kReportFailed);
      break;
    case T::RunStopped:
      worsen(kStopped);
      break;
    default:
      break;
  }
}

void RunStatus::record(const ProgramEvent& event) {
  using T = ProgramEvent::Type;
  switch (event.type) {
    case T::StartRefused:
    case T::Stopped:
      worsen(kStopped);
      break;
    case T::MessageBox:
      // The general error report ends a handler; the notice says the settings could not be
      // found. The configuration lookup's own box lets the work go on, and what then becomes
      // of the reports is counted by their own events.
      if (event.box != ProgramEvent::Box::ErrorBox) worsen(kStopped);
      break;
    case T::AlreadyRunning:
      worsen(kAlreadyRunning);
      break;
    default:
      break;
  }
}

}  // namespace zavelo
