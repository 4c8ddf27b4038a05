// The main window "ZadiRod ZAVELO": the origin of the data (server, user, password, company),
// the date range, the branch and the brand code. It connects to the company database as soon
// as the origin is complete, and F2 opens the generation window modally; when that closes, so
// does this window, and with it the program. What the run needs it hands to the generation
// window as a run context, filled from its edits and the settings.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QWidget>
#include <functional>
#include <memory>

#include "db/field.h"
#include "db/link.h"
#include "db/result_set.h"
#include "export/run_context.h"
#include "export/run_event.h"
#include "settings/registry.h"
#include "settings/settings_envio.h"
#include "settings/startup_settings.h"

class QKeyEvent;

namespace Ui {
class Tfdorvanefamilia;
}

namespace zavelo {
class Notifier;
class WindowHelper;
namespace db {
class Tfdm;
}

class Tfdorvanefamilia : public QWidget {
  Q_OBJECT
 public:
  // Creation reads the registry and the settings file (FormCreate); where says where the
  // registry stands. The window is deleted when it closes.
  Tfdorvanefamilia(db::Tfdm& dm, Notifier& notifier, settings::RegistryLocation where,
                   QWidget* parent = nullptr);
  ~Tfdorvanefamilia() override;

  // What a run started now would read: the dates, brand and user of the edits, the chosen
  // branch, the folder, recipients and mode of the settings, the start and the listener.
  exporting::RunContext runContext() const;

  // The text of the password edit, for what must never show it.
  QString passwordText() const;
  // The settings file looked at and what became of it, also when reading it failed.
  const settings::SettingsFileRead& settingsRead() const { return settingsRead_; }

  // A scheduler's start: automatic mode whatever line 9 says, over the given days instead of
  // today, and the program ends when the run ends, whatever its result flag. A start whose
  // origin is incomplete, so that nothing could connect, is an error instead of a wait.
  void setUnattended(QDate firstDay, QDate lastDay);
  bool unattended() const { return unattended_; }
  // Opens the generation window modally over owner for the context, and returns once it has
  // closed. The program gives it; this window knows the generation window by nothing else.
  using GenerationOpener = std::function<void(exporting::RunContext& context, QWidget& owner)>;
  void setGenerationOpener(GenerationOpener open) { openGeneration_ = std::move(open); }
  // Hears the connection and every event of the generation window's runs.
  void setRunListener(exporting::RunListener listener) { listener_ = std::move(listener); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Event handlers; each runs inside runGuarded, so an error ends it with the error report.
  void FormCreate(const settings::RegistryLocation& where);
  void FormActivate();
  void CiaExit();
  void CboAgenciaChange();
  void FormKeyDown(const QKeyEvent& key);
  void SpeedButton3Click();  // the F2 action
  void SpeedButton2Click();  // the Esc action
  void FormClose();

  void guarded(void (Tfdorvanefamilia::*handler)());
  void onFocusChanged(QWidget* old, QWidget* now);
  // Panel5 with a text, shown over the other controls and drawn before a blocking step.
  void showStatus(const QString& text);
  void fillBranchList();
  // Settings line 9 is exactly "1", or the start is unattended.
  bool automaticMode() const;

  db::Tfdm& dm_;
  Notifier& notifier_;
  std::unique_ptr<Ui::Tfdorvanefamilia> ui_;
  WindowHelper* helper_;  // a child of this window

  // The settings as read at creation. Lines 1, 3, 8 and 9 are read from here for the whole
  // run; lines 2, 4, 5, 6 and 7 live on as the texts of their edits, which the user may change.
  settings::TSettingsEnvio settings_;
  QByteArray agencia_;

  db::Link PAgencias;
  db::ResultSet CAgencias;
  db::Field CAgenciasSUCU_ID;
  db::Field CAgenciasSUCU_NOMBRE;

  settings::SettingsFileRead settingsRead_;
  bool connecting_ = false;  // inside CiaExit: its own focus moves start nothing
  bool shownOnce_ = false;
  bool unattended_ = false;
  QDate unattendedFirst_;
  QDate unattendedLast_;
  exporting::RunListener listener_;
  GenerationOpener openGeneration_;
  // The context of the open generation window's runs, filled when it opens.
  exporting::RunContext context_;
};

}  // namespace zavelo
