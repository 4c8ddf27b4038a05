// A request from outside (SIGTERM or SIGINT) to end the program: set from any thread, read by
// the long steps of a run (the days, the file being written, the waits on the mail server), so
// that they end promptly and leave nothing half done.
#pragma once

#include <QString>

namespace zavelo {

// Records the request; the first signal's name is kept.
void requestStop(const char* signalName);
bool stopRequested();
// "SIGTERM", "SIGINT", or empty when no stop was requested.
QString stopSignalName();
// The error text of a step that ends because of the request.
QString stopText();

}  // namespace zavelo
