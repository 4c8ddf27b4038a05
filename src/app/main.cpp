// The program entry: the data holder, the selection window (whose creation reads the registry
// and the settings file), and the event loop until that window closes.
#include <QApplication>
#include <QPointer>

#include "app/message_box_notifier.h"
#include "app/wait_cursor.h"
#include "db/data_module.h"
#include "settings/registry.h"
#include "ui/selection_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zavelo::MessageBoxNotifier notifier;
  zavelo::WaitCursor waitCursor;
  // The data holder lives for the whole program; its connection stays closed until the
  // selection window connects.
  zavelo::db::Tfdm dm(notifier);
  // The main window; it is released when it closes, and its closing ends the event loop.
  const QPointer<zavelo::Tfdorvanefamilia> window =
      new zavelo::Tfdorvanefamilia(dm, notifier, zavelo::settings::defaultRegistryLocation());
  window->show();
  // Active from the start, also where no window manager hands it the focus: its first
  // activation is what connects (and, unattended, runs the reports).
  window->activateWindow();
  const int result = QApplication::exec();
  // Gone before the data holder it reads from, in case the loop ended before its deletion ran.
  delete window.data();
  return result;
}
