// The program entry: the command line, the data holder, the selection window (whose creation
// reads the registry and the settings file), and the event loop until that window closes. The
// exit status says how the program's runs went; an unattended start also keeps a journal.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <optional>

#include "app/command_line.h"
#include "app/config_check.h"
#include "app/console.h"
#include "app/journal.h"
#include "app/message_box_notifier.h"
#include "app/observed_notifier.h"
#include "app/program_event.h"
#include "app/run_lock.h"
#include "app/run_status.h"
#include "app/stop_signals.h"
#include "app/tls_options.h"
#include "app/wait_cursor.h"
#include "common/clock.h"
#include "common/cp1252.h"
#include "common/stop_request.h"
#include "db/data_module.h"
#include "settings/registry.h"
#include "ui/generation_window.h"
#include "ui/pictures.h"
#include "ui/selection_window.h"

namespace {

using zavelo::ProgramEvent;
using zavelo::exporting::RunEvent;

// Reads the command line before any window system is needed, so that --help, --version and a
// refused line work without a display. Gives the options of a start, or sets the exit status
// of everything else.
std::optional<zavelo::StartOptions> readCommandLine(int argc, char** argv, int& exitStatus) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(ZAVELO_VERSION));
  zavelo::CommandLine line =
      zavelo::parseCommandLine(QCoreApplication::arguments(), QDate::currentDate());
  // A certificates file that cannot be used is refused like any other bad option.
  if (QString why;
      line.action == zavelo::CommandLine::Action::Run && !zavelo::tlsPolicyOf(line.options, why))
    line = {zavelo::CommandLine::Action::Refuse, {}, why};
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
      exitStatus = zavelo::RunStatus::kStopped;
      return std::nullopt;
  }
  return line.options;
}

QString defaultJournalPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  QDir().mkpath(folder);
  return QDir(folder).filePath(QStringLiteral("zadirod.log"));
}

// The settings file as the journal tells it: read, not there, or there but not read.
QString settingsText(const zavelo::settings::SettingsFileRead& read) {
  using State = zavelo::settings::SettingsFileState;
  const QString path = QDir::toNativeSeparators(read.path);
  switch (read.state) {
    case State::Read:
      return path;
    case State::Missing:
      return QStringLiteral("sin archivo de configuraci\u00f3n (%1 no existe)").arg(path);
    case State::Unreadable:
      return QStringLiteral("%1 no se pudo leer").arg(path);
    case State::NotLooked:
      break;
  }
  return QStringLiteral("sin archivo de configuraci\u00f3n");
}

QString startText(const zavelo::StartOptions& options) {
  QString text = QStringLiteral("ZadiRod %1").arg(QCoreApplication::applicationVersion());
  if (options.unattended)
    text += QStringLiteral(", arranque desatendido del %1 al %2")
                .arg(options.firstDay.toString(Qt::ISODate), options.lastDay.toString(Qt::ISODate));
  return text;
}

// SIGTERM and SIGINT end the event loop; set up before any other thread.
void endLoopOnStopSignals() {
  zavelo::watchStopSignals([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app, [] { QCoreApplication::exit(); }, Qt::QueuedConnection);
  });
}

// A scheduler's start may come where there is no display, or where the display it names
// cannot be reached: the windows are then drawn offscreen, which is all an unattended run
// needs (Qt tries the platforms of the list in order).
void chooseWindowPlatform([[maybe_unused]] const zavelo::StartOptions& start) {
#ifndef Q_OS_WIN
  if (!start.unattended || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "wayland;xcb;offscreen");
  else if (!qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  else
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

// What the program does is heard by its exit status and, when asked for, its journal: the
// program's own events and its runs' alike.
class ProgramRecord {
 public:
  explicit ProgramRecord(const zavelo::StartOptions& start) {
    if (!start.journal.isEmpty())
      journal_.emplace(start.journal);
    else if (start.unattended)
      journal_.emplace(defaultJournalPath());
  }

  void record(const ProgramEvent& event) {
    status_.record(event);
    if (journal_) journal_->record(event);
  }
  void record(const RunEvent& event) {
    status_.record(event);
    if (journal_) journal_->record(event);
  }
  zavelo::ProgramListener programListener() {
    return [this](const ProgramEvent& event) { record(event); };
  }
  zavelo::exporting::RunListener runListener() {
    return [this](const RunEvent& event) { record(event); };
  }
  void addSecret(const QString& secret) {
    if (journal_) journal_->addSecret(secret);
  }
  int exitStatus() const { return status_.exitStatus(); }

 private:
  zavelo::RunStatus status_;
  std::optional<zavelo::Journal> journal_;
};

// The files are named and the mails dated after the short date form: a start where it is not
// year first (a scheduler's, in the C locale, gives "10 Dec 2026") would send wrongly named
// files as a success. Gives why an unattended start cannot go on, or nothing.
std::optional<QString> dateFormProblem() {
  const QDate today = zavelo::Clock::today();
  const QByteArray shown = zavelo::Clock::shortDate(today);
  if (zavelo::Clock::isYearFirst(shown, today)) return std::nullopt;
  return QStringLiteral(
             "la forma corta de la fecha de este equipo da \u00ab%1\u00bb para el %2; una "
             "corrida desatendida necesita a\u00f1o, mes y d\u00eda en ese orden (%3). En Linux "
             "se fija con LC_TIME, por ejemplo LC_TIME=ja_JP.UTF-8; en Windows, en la "
             "configuraci\u00f3n regional (formato de fecha corta)")
      .arg(zavelo::fromCp1252(shown), today.toString(Qt::ISODate),
           today.toString(QStringLiteral("yyyy/MM/dd")));
}

// An unattended start that cannot go on says why in the journal and on stderr, and ends
// before it connects.
void refuseStart(ProgramRecord& record, const QString& why) {
  record.record({.type = ProgramEvent::Type::StartRefused, .text = why});
  zavelo::printLine(stderr,
                    QStringLiteral("ZadiRod: %1; este arranque termina sin hacer nada").arg(why));
}

// Takes the lock of unattended runs on the output folder, held until the program ends (the
// kernel frees it when the process ends, however it ends). False when this start must end.
bool takeRunLock(std::optional<zavelo::RunLock>& lock, const QByteArray& folder,
                 ProgramRecord& record) {
  lock.emplace(folder);
  switch (lock->tryLock()) {
    case zavelo::RunLock::State::HeldElsewhere:
      record.record({.type = ProgramEvent::Type::AlreadyRunning,
                     .text = QDir::toNativeSeparators(lock->path())});
      zavelo::printLine(stderr, QStringLiteral("ZadiRod: otra corrida desatendida usa la carpeta "
                                               "%1; este arranque termina sin hacer nada")
                                    .arg(zavelo::fromCp1252(folder)));
      return false;
    case zavelo::RunLock::State::Failed:
      refuseStart(record, QStringLiteral("no se puede tomar el bloqueo de las corridas "
                                         "desatendidas (%1): %2")
                              .arg(QDir::toNativeSeparators(lock->path()), lock->error()));
      return false;
    case zavelo::RunLock::State::Taken:
    case zavelo::RunLock::State::Unlocked:
      break;
  }
  return true;
}

// The mode the journal names.
QString modeText(const zavelo::StartOptions& start, const zavelo::Tfdorvanefamilia& window) {
  if (start.unattended) return QStringLiteral("desatendido");
  return window.runContext().automaticMode ? QStringLiteral("autom\u00e1tico")
                                           : QStringLiteral("interactivo");
}

// The settings of every window and box of the program.
void setUpApplication() {
  QCoreApplication::setApplicationVersion(QStringLiteral(ZAVELO_VERSION));
  // The program ends when its main window is gone, by ending the event loop and nothing else.
  // Qt's own way (the last window closed, or a quit request) first closes every window once
  // more through the window system; on Windows without a desktop, as a scheduler starts the
  // program, no native window exists, that closing never succeeds, and Qt kept trying until the
  // process crashed while ending.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  // The icon of every window, also of a box shown before the main window.
  QApplication::setWindowIcon(zavelo::programIcon());
}

// Whether an unattended start may go on: the date form and the lock. A start that may not has
// said why in the journal and on stderr.
bool mayRunUnattended(const zavelo::Tfdorvanefamilia& window, ProgramRecord& record,
                      std::optional<zavelo::RunLock>& lock) {
  if (const std::optional<QString> problem = dateFormProblem()) {
    refuseStart(record, *problem);
    return false;
  }
  return takeRunLock(lock, window.runContext().directorio, record);
}

// The windows: the selection window made (which reads the registry and the settings file),
// wired to the record and to the generation window, and shown until it closes; its first
// activation connects and, in automatic mode, runs the reports.
void runWindows(const zavelo::StartOptions& start, const zavelo::smtp::TlsPolicy& tlsPolicy,
                ProgramRecord& record, std::optional<zavelo::RunLock>& lock) {
  // Unattended, no box is ever shown: the program ends after the first one instead.
  bool endRequested = false;
  zavelo::MessageBoxNotifier boxes;
  // The wait mouse pointer while the database connection opens.
  zavelo::WaitCursor waitCursor;
  zavelo::ObservedNotifier notifier(start.unattended ? nullptr : &boxes, record.programListener(),
                                    [&] {
                                      endRequested = true;
                                      QCoreApplication::exit();
                                    });
  // The data holder lives as long as the windows; its connection stays closed until the
  // selection window connects.
  zavelo::db::Tfdm dm(notifier);
  // The main window; it is released when it closes, and its release ends the event loop.
  const QPointer<zavelo::Tfdorvanefamilia> window =
      new zavelo::Tfdorvanefamilia(dm, notifier, zavelo::settings::defaultRegistryLocation());
  QObject::connect(window, &QObject::destroyed, qApp, [] { QCoreApplication::exit(0); });
  window->setRunListener(record.runListener());
  window->setGenerationOpener([&](zavelo::exporting::RunContext& context, QWidget& owner) {
    zavelo::runGenerationWindow(context, dm, notifier, owner, tlsPolicy);
  });
  record.addSecret(window->passwordText());
  record.record({.type = ProgramEvent::Type::SettingsRead,
                 .text = settingsText(window->settingsRead()),
                 .detail = modeText(start, *window)});

  if (start.unattended && !endRequested && !mayRunUnattended(*window, record, lock))
    endRequested = true;
  if (!endRequested && !zavelo::stopRequested()) {
    if (start.unattended) window->setUnattended(start.firstDay, start.lastDay);
    window->show();
    // Active from the start, also where no window manager hands it the focus: its first
    // activation is what connects (and, unattended, runs the reports).
    window->activateWindow();
    QApplication::exec();
  }
  // Gone before the data holder it reads from, in case the loop ended before its deletion ran.
  delete window.data();
}

}  // namespace

int main(int argc, char** argv) {
  // Before any other thread: SIGTERM and SIGINT end the program cleanly (status 2), also once
  // the embedded database engine has installed handlers of its own.
  endLoopOnStopSignals();

  // Without arguments the program is the interactive one and reads no command line at all.
  zavelo::StartOptions start;
  if (argc > 1) {
    int exitStatus = 0;
    const std::optional<zavelo::StartOptions> options = readCommandLine(argc, argv, exitStatus);
    if (!options) return exitStatus;
    start = *options;
  }
  QString ignored;  // the command line already refused a policy that cannot be made
  const zavelo::smtp::TlsPolicy tlsPolicy =
      zavelo::tlsPolicyOf(start, ignored).value_or(zavelo::smtp::TlsPolicy());
  if (start.check)
    return zavelo::runConfigCheck(argc, argv, tlsPolicy, start.journal,
                                  QStringLiteral(ZAVELO_VERSION));

  chooseWindowPlatform(start);
  QApplication app(argc, argv);
  setUpApplication();
  ProgramRecord record(start);
  record.record({.type = ProgramEvent::Type::ProgramStarted, .text = startText(start)});
  // The lock of an unattended run, held until the program ends, however long the run takes;
  // the kernel frees it when the process ends, however it ends.
  std::optional<zavelo::RunLock> lock;
  runWindows(start, tlsPolicy, record, lock);
  if (zavelo::stopRequested())
    record.record({.type = ProgramEvent::Type::Stopped, .text = zavelo::stopSignalName()});
  const int exitStatus = record.exitStatus();
  record.record({.type = ProgramEvent::Type::ProgramEnded, .exitStatus = exitStatus});
  return exitStatus;
}
