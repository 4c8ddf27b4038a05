// SIGTERM and SIGINT, as a scheduler or a user at a terminal sends them, end the program
// cleanly: the signals are blocked in every thread (so the handlers a library such as the
// embedded Firebird engine installs never see them) and taken by a thread of their own, which
// records the stop request and asks the event loop to end. The run's long steps see the
// request and end promptly. Nothing on Windows, where a console's Ctrl+C ends the program as
// before.
#pragma once

#include <functional>

namespace zavelo {

// Called first thing in main(), before any other thread exists, so that all of them inherit
// the blocked signals. onStop runs on the signal thread after the request is recorded.
void watchStopSignals(std::function<void()> onStop);

}  // namespace zavelo
