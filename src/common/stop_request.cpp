#include "common/stop_request.h"

#include <atomic>

namespace zavelo {
namespace {
std::atomic<const char*> g_signal{nullptr};
}  // namespace

void requestStop(const char* signalName) {
  const char* none = nullptr;
  g_signal.compare_exchange_strong(none, signalName);
}

bool stopRequested() {
  return g_signal.load() != nullptr;
}

QString stopSignalName() {
  const char* name = g_signal.load();
  return name ? QString::fromLatin1(name) : QString();
}

QString stopText() {
  return QStringLiteral("detenido por la se\u00f1al %1").arg(stopSignalName());
}

}  // namespace zavelo
