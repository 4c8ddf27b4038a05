#include "export/run_status.h"

#include <algorithm>

namespace zavelo::exporting {
namespace {

// How bad an exit status is: another run under way outranks everything, since this start did
// nothing at all.
int severity(int status) {
  return status == RunStatus::kAlreadyRunning ? 10 : status;
}

}  // namespace

void RunStatus::record(const RunEvent& event) {
  int status = kAllSent;
  switch (event.type) {
    case RunEvent::Type::FileNotWritten:
    case RunEvent::Type::MailFailed:
    case RunEvent::Type::MailNotAttempted:
      // The report did not reach its recipients, whatever a later mail did.
      status = kReportFailed;
      break;
    case RunEvent::Type::RunStopped:
    case RunEvent::Type::StartRefused:
    case RunEvent::Type::Stopped:
      status = kStopped;
      break;
    case RunEvent::Type::MessageBox:
      // The general error report ends a handler; the notice says the settings could not be
      // found. The configuration lookup's own box lets the work go on, and what then becomes
      // of the reports is counted by their own events.
      if (event.box != RunEvent::Box::ErrorBox) status = kStopped;
      break;
    case RunEvent::Type::AlreadyRunning:
      status = kAlreadyRunning;
      break;
    default:
      break;
  }
  if (severity(status) > severity(status_)) status_ = status;
}

}  // namespace zavelo::exporting
