#include "app/stop_signals.h"

#include "common/stop_request.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>

#include <thread>
#endif

namespace zavelo {

#ifdef _WIN32

void watchStopSignals(std::function<void()>) {}

#else

void watchStopSignals(std::function<void()> onStop) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread([set, onStop = std::move(onStop)] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      requestStop(signal == SIGTERM ? "SIGTERM" : "SIGINT");
      if (onStop) onStop();
    }
  }).detach();
}

#endif

}  // namespace zavelo
