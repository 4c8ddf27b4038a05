// The program entry: the command line, the data holder, the selection window (whose creation
// reads the registry and the settings file), and the event loop until that window closes. The
// exit status says how the program's runs went; an unattended start also keeps a journal.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <optional>

#include "app/command_line.h"
#include "app/console.h"
#include "app/journal.h"
#include "app/message_box_notifier.h"
#include "app/observed_notifier.h"
#include "app/run_lock.h"
#include "app/wait_cursor.h"
#include "common/cp1252.h"
#include "db/data_module.h"
#include "export/run_status.h"
#include "settings/registry.h"
#include "ui/pictures.h"
#include "ui/selection_window.h"

namespace {

using zavelo::exporting::RunEvent;

// Reads the command line before any window system is needed, so that --help, --version and a
// refused line work without a display. Gives the options of a start, or sets the exit status
// of everything else.
std::optional<zavelo::StartOptions> readCommandLine(int argc, char** argv, int& exitStatus) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(ZAVELO_VERSION));
  const zavelo::CommandLine line =
      zavelo::parseCommandLine(QCoreApplication::arguments(), QDate::currentDate());
  switch (line.action) {
    case zavelo::CommandLine::Action::Run:
      return line.options;
    case zavelo::CommandLine::Action::Help:
    case zavelo::CommandLine::Action::Version:
      zavelo::printLine(stdout, line.text);
      exitStatus = 0;
      return std::nullopt;
    case zavelo::CommandLine::Action::Refuse:
      zavelo::printLine(
          stderr,
          QStringLiteral("ZadiRod: %1\nZadiRod --help muestra las opciones.").arg(line.text));
      exitStatus = zavelo::exporting::RunStatus::kStopped;
      return std::nullopt;
  }
  return line.options;
}

QString defaultJournalPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  QDir().mkpath(folder);
  return QDir(folder).filePath(QStringLiteral("zadirod.log"));
}

QString startText(const zavelo::StartOptions& options) {
  QString text = QStringLiteral("ZadiRod %1").arg(QCoreApplication::applicationVersion());
  if (options.unattended)
    text += QStringLiteral(", arranque desatendido del %1 al %2")
                .arg(options.firstDay.toString(Qt::ISODate), options.lastDay.toString(Qt::ISODate));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  // Without arguments the program is the interactive one and reads no command line at all.
  zavelo::StartOptions start;
  if (argc > 1) {
    int exitStatus = 0;
    const std::optional<zavelo::StartOptions> options = readCommandLine(argc, argv, exitStatus);
    if (!options) return exitStatus;
    start = *options;
  }

#ifndef Q_OS_WIN
  // A scheduler's start may come where there is no display, or where the display it names
  // cannot be reached: the windows are then drawn offscreen, which is all an unattended run
  // needs (Qt tries the platforms of the list in order).
  if (start.unattended && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
      qputenv("QT_QPA_PLATFORM", "wayland;xcb;offscreen");
    else if (!qEnvironmentVariableIsEmpty("DISPLAY"))
      qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    else
      qputenv("QT_QPA_PLATFORM", "offscreen");
  }
#endif
  QApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(ZAVELO_VERSION));
  // The icon of every window, also of a box shown before the main window.
  QApplication::setWindowIcon(zavelo::programIcon());

  // What the program does is heard by its exit status and, when asked for, its journal.
  zavelo::exporting::RunStatus status;
  std::optional<zavelo::Journal> journal;
  if (!start.journal.isEmpty())
    journal.emplace(start.journal);
  else if (start.unattended)
    journal.emplace(defaultJournalPath());
  const zavelo::exporting::RunListener listener = [&](const RunEvent& event) {
    status.record(event);
    if (journal) journal->record(event);
  };
  listener({.type = RunEvent::Type::ProgramStarted, .text = startText(start)});

  // Unattended, no box is ever shown: the program ends after the first one instead.
  bool endRequested = false;
  zavelo::MessageBoxNotifier boxes;
  // The wait mouse pointer while the database connection opens.
  zavelo::WaitCursor waitCursor;
  zavelo::ObservedNotifier notifier(start.unattended ? nullptr : &boxes, listener, [&] {
    endRequested = true;
    QCoreApplication::exit();
  });

  // The data holder lives for the whole program; its connection stays closed until the
  // selection window connects.
  zavelo::db::Tfdm dm(notifier);
  // The main window; it is released when it closes, and its closing ends the event loop.
  const QPointer<zavelo::Tfdorvanefamilia> window =
      new zavelo::Tfdorvanefamilia(dm, notifier, zavelo::settings::defaultRegistryLocation());
  window->setRunListener(listener);
  if (journal) journal->addSecret(window->passwordText());
  listener({.type = RunEvent::Type::SettingsRead,
            .text = window->settingsFile().isEmpty()
                        ? QStringLiteral("sin archivo de configuraci\u00f3n")
                        : QDir::toNativeSeparators(window->settingsFile()),
            .detail = start.unattended          ? QStringLiteral("desatendido")
                      : window->automaticMode() ? QStringLiteral("autom\u00e1tico")
                                                : QStringLiteral("interactivo")});

  QLockFile lock(zavelo::runLockPath(window->directorio()));
  lock.setStaleLockTime(0);  // held as long as its process lives, however long the run takes
  if (start.unattended && !endRequested && !lock.tryLock(0)) {
    listener({.type = RunEvent::Type::AlreadyRunning,
              .text = QDir::toNativeSeparators(lock.fileName())});
    zavelo::printLine(stderr,
                      QStringLiteral("ZadiRod: otra corrida desatendida usa la carpeta %1; este "
                                     "arranque termina sin hacer nada")
                          .arg(zavelo::fromCp1252(window->directorio())));
    endRequested = true;
  }

  if (!endRequested) {
    if (start.unattended) window->setUnattended(start.firstDay, start.lastDay);
    window->show();
    // Active from the start, also where no window manager hands it the focus: its first
    // activation is what connects (and, unattended, runs the reports).
    window->activateWindow();
    QApplication::exec();
  }
  // Gone before the data holder it reads from, in case the loop ended before its deletion ran.
  delete window.data();
  const int exitStatus = status.exitStatus();
  listener({.type = RunEvent::Type::ProgramEnded, .exitStatus = exitStatus});
  return exitStatus;
}
