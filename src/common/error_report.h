// The program title and the general error report, shared by every layer that shows a message.
#pragma once

#include <QString>
#include <exception>
#include <functional>

#include "common/notifier.h"

namespace zavelo {

// The program file's name without its directory, cut at its first period, every letter after
// the first in lower case: "C:\x\ZadiRod.exe" gives "Zadirod".
QString programTitle(const QString& programFilePath);

// The title of this running program (from the application's file path).
QString programTitle();

// The report's text: the message, with a period added when its last character sorts after ".".
QString errorReportText(const QString& message);

// Shows the general error report for a message through the notifier.
void reportError(Notifier& notifier, const QString& message);

// The message an exception carries: the system's own error's text, "Out of memory" for memory
// that ran out, otherwise what the exception says of itself.
QString exceptionText(const std::exception& e);

// Runs an event handler; an Error it raises, or any other standard exception (memory that ran
// out, say), goes to the general error report instead of crossing the event loop and ending
// the process. A handler abandoned where no box could be answered ends quietly: its box has
// been recorded already. Returns false when the handler ended early.
bool runGuarded(Notifier& notifier, const std::function<void()>& handler);

}  // namespace zavelo
