// The generation window "Generar archivos": the day-by-day export run. For every day of the
// selection window's date range it writes the inventory file and the sales file and hands each
// to the mailing right after writing it; a run whose last mail went out ends the program.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

#include "db/field.h"
#include "db/link.h"
#include "db/result_set.h"
#include "export/export_kind.h"
#include "mail/report_mailer.h"

class QKeyEvent;

namespace Ui {
class Tfcierre;
}

namespace zavelo {
class Notifier;
class Tfdorvanefamilia;
namespace db {
class Tfdm;
}

// What became of one file's mail; the run's result flag follows it.
using MailOutcome = mail::MailOutcome;

class Tfcierre : public QDialog {
  Q_OBJECT
 public:
  // owner: the selection window, whose dates, brand code and settings the run reads at the
  // moment it needs them. The owner deletes this window once its modal display has ended.
  Tfcierre(Tfdorvanefamilia& owner, db::Tfdm& dm, Notifier& notifier);
  ~Tfcierre() override;

  // Puts "ERROR: " + text above every line of StatusMemo; a text with line breaks takes
  // several lines, and one that ends in a line break leaves an empty line below it.
  void addErrorLine(const QString& text);

  // The mail components (SMTP, MailMessage, SSLHandler, CBorrar): their values stay from mail
  // to mail for the life of this window.
  mail::ReportMailer& mailer() { return mailer_; }

 protected:
  // The mailing of the day's files. prepararcorreo: the day's mail setup, once per day, after
  // the inventory file. enviarcorreo: mails one written file. Virtual so that a test can stand
  // in for the mail server's answers.
  virtual void prepararcorreo();
  virtual MailOutcome enviarcorreo(exporting::Kind kind, QDate day, const QString& path);

  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
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

  // Writes one day's file of one kind and gives its path; nullopt when the file could not be
  // written (the reason is then at the top of StatusMemo). Database errors go to the caller.
  std::optional<QString> generararchivo(exporting::Kind kind, QDate day);
  void guarded(void (Tfcierre::*handler)());
  void setOuterSize();

  Tfdorvanefamilia& owner_;
  db::Tfdm& dm_;
  Notifier& notifier_;
  std::unique_ptr<Ui::Tfcierre> ui_;

  db::Link PSku;
  db::ResultSet CSku;
  db::Field CSkuCADENA;
  db::Link PVentas;
  db::ResultSet CVentas;
  db::Field CVentasCADENA;
  mail::ReportMailer mailer_;

  bool shownOnce_ = false;          // the first showing has set the outer size
  bool activationPending_ = false;  // shown, its activation not yet seen
};

}  // namespace zavelo
