// The generation window "Generar archivos": the day-by-day export run. For every day of the
// run context's date range it writes the inventory file and the sales file and hands each to
// the mailing right after writing it; a run whose last mail went out ends the program.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDialog>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "db/field.h"
#include "db/link.h"
#include "db/result_set.h"
#include "export/report_kind.h"
#include "export/report_run.h"
#include "export/run_context.h"
#include "mail/report_mailer.h"

class QKeyEvent;

namespace Ui {
class Tfcierre;
}

namespace zavelo {
class Notifier;
class WindowHelper;
namespace db {
class Tfdm;
}

class Tfcierre : public QDialog {
  Q_OBJECT
 public:
  // context: what the run needs, read at the moment it is needed (the last day before every
  // pass); it must outlive the window. parent: the window this one is modal over, which deletes
  // it once its modal display has ended.
  Tfcierre(exporting::RunContext& context, db::Tfdm& dm, Notifier& notifier,
           QWidget* parent = nullptr);
  ~Tfcierre() override;

  // Puts "ERROR: " + text above every line of StatusMemo; a text with line breaks takes
  // several lines, and one that ends in a line break leaves an empty line below it.
  void addErrorLine(const QString& text);

  // The mailing: its values stay from mail to mail for the life of this window.
  mail::ReportMailer& mailer() { return mailer_; }

 protected:
  // The mailing of the day's files. prepararcorreo: the day's mail setup, once per day, after
  // the inventory file. enviarcorreo: mails one written file; a failure is also put at the top
  // of StatusMemo. Virtual so that a test can stand in for the mail server's answers.
  virtual void prepararcorreo();
  virtual MailResult enviarcorreo(exporting::Kind kind, QDate day, const QString& path);

  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Event handlers, each run inside runGuarded: an error ends it with the general error report.
  void FormCreate();
  void FormActivate();
  void FormKeyDown(const QKeyEvent& key);
  void SpeedButton1Click();  // the run
  void SBSalirClick();
  void FormClose();

  // Writes one day's file of one kind; when it could not be written, the reason is also put at
  // the top of StatusMemo. Database errors go to the caller.
  exporting::DayExport generararchivo(exporting::Kind kind, QDate day);
  // Hears the run's events: the window's own steps between days, then the context's listener.
  void onRunEvent(const exporting::RunEvent& event);
  void guarded(void (Tfcierre::*handler)());
  void setOuterSize();

  // What the run reaches the window through: the context's dates, the files, the mailing.
  class RunHooks;
  friend class RunHooks;

  exporting::RunContext& context_;
  db::Tfdm& dm_;
  Notifier& notifier_;
  std::unique_ptr<Ui::Tfcierre> ui_;
  WindowHelper* helper_;  // a child of this window

  db::Link PSku;
  db::ResultSet CSku;
  db::Field CSkuCADENA;
  db::Link PVentas;
  db::ResultSet CVentas;
  db::Field CVentasCADENA;
  // The result set each kind's lines are read through, and its column, in the order of the
  // kinds' table.
  struct ExportSet {
    db::ResultSet& set;
    const db::Field& field;
  };
  std::array<ExportSet, exporting::kReportKinds.size()> exportSets_;
  mail::ReportMailer mailer_;

  bool shownOnce_ = false;  // the first showing has set the outer size
};

// The generation window's modal display over owner for the context, with the mails' TLS policy:
// created, shown until it closes, and freed.
void runGenerationWindow(exporting::RunContext& context, db::Tfdm& dm, Notifier& notifier,
                         QWidget& owner, const smtp::TlsPolicy& tlsPolicy = {});

}  // namespace zavelo
