#include "ui/generation_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QShowEvent>
#include <QTextCursor>
#include <algorithm>

#include "common/clock.h"
#include "common/cp1252.h"
#include "common/error_report.h"
#include "common/notifier.h"
#include "db/data_module.h"
#include "export/daily_export.h"
#include "export/export_file.h"
#include "export/report_kind.h"
#include "ui/pictures.h"
#include "ui/window_helper.h"
#include "ui_generation_window.h"

namespace zavelo {
namespace {

using exporting::Kind;
using exporting::RunEvent;

// The window's outer size, title bar and borders included.
constexpr QSize kOuterSize(380, 280);
// The borders and title bar of a standard Windows frame, used until the real frame is known.
constexpr QSize kStandardFrame(16, 39);

}  // namespace

class Tfcierre::RunHooks : public exporting::RunDates,
                           public exporting::RunExport,
                           public exporting::RunMail {
 public:
  explicit RunHooks(Tfcierre& window) : w_(window) {}

  QDate firstDay() const override { return w_.context_.firstDay; }
  QDate lastDay() const override { return w_.context_.lastDay; }
  exporting::DayExport generararchivo(Kind kind, QDate day) override {
    return w_.generararchivo(kind, day);
  }
  void prepararcorreo() override { w_.prepararcorreo(); }
  MailResult enviarcorreo(Kind kind, QDate day, const QString& path) override {
    MailResult result = w_.enviarcorreo(kind, day, path);
    // What the server said goes on to the run's listeners (the journal): the mail account's
    // password, should a reply or an error echo it, is masked here, where it is known. The
    // status list shows the error as it came.
    result.text = withoutMailPassword(result.text);
    return result;
  }

 private:
  QString withoutMailPassword(QString text) const {
    const QByteArray& password = w_.mailer_.client().password();
    if (password.isEmpty()) return text;
    for (const QString& secret : {fromCp1252(password), QString::fromLatin1(password.toBase64())})
      text.replace(secret, QStringLiteral("********"));
    return text;
  }

  Tfcierre& w_;
};

Tfcierre::Tfcierre(exporting::RunContext& context, db::Tfdm& dm, Notifier& notifier,
                   QWidget* parent)
    : QDialog(parent),
      context_(context),
      dm_(dm),
      notifier_(notifier),
      ui_(std::make_unique<Ui::Tfcierre>()),
      helper_(new WindowHelper(*this, notifier)),
      PSku(dm.QSku, true),
      CSku(PSku),
      CSkuCADENA(CSku, "CADENA"),
      PVentas(dm.QVentas, true),
      CVentas(PVentas),
      CVentasCADENA(CVentas, "CADENA"),
      exportSets_{{{CSku, CSkuCADENA}, {CVentas, CVentasCADENA}}},
      mailer_(dm) {
  ui_->setupUi(this);
  useWindowsFaces(*this);
  // An ordinary sizeable window with the standard title-bar buttons, not a bare dialog frame.
  setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
  ui_->SpeedButton1->setIcon(picture(QStringLiteral(":/pictures/generar.svg"), {46, 32}));
  ui_->SBSalir->setIcon(picture(QStringLiteral(":/pictures/salir.svg"), {46, 32}));
  // Label1 stands where the form puts it; where the form's font is missing (Linux) the
  // substitute is wider, so the label grows to show its whole text.
  const QSize wanted = ui_->Label1->sizeHint();
  ui_->Label1->resize(std::max(ui_->Label1->width(), wanted.width()),
                      std::max(ui_->Label1->height(), wanted.height()));
  ui_->Panel5->raise();  // drawn over the buttons beneath it
  // StatusMemo is the only control that takes the keyboard focus.
  ui_->StatusMemo->setFocus();

  connect(ui_->SpeedButton1, &QToolButton::clicked, this,
          [this] { guarded(&Tfcierre::SpeedButton1Click); });
  connect(ui_->SBSalir, &QToolButton::clicked, this, [this] { guarded(&Tfcierre::SBSalirClick); });
  // Key preview: the window sees every key meant for one of its controls first.
  helper_->setKeyPreview(
      [this](const QKeyEvent& key) { helper_->guarded([&] { FormKeyDown(key); }); });
  // Only the activation that follows the showing counts: when the window gets the focus back
  // later (after a message box, from another program) no run starts, so an automatic run is
  // not repeated after an error. Shown but never activated, it acts all the same after a
  // short while, so that a start without the focus still runs.
  helper_->setFirstActivation([this] { FormActivate(); });

  guarded(&Tfcierre::FormCreate);
}

Tfcierre::~Tfcierre() = default;

void Tfcierre::guarded(void (Tfcierre::*handler)()) {
  helper_->guarded([this, handler] { (this->*handler)(); });
}

void Tfcierre::FormCreate() {
  setOuterSize();
  if (context_.agencia.isEmpty()) context_.agencia = "0";
}

void Tfcierre::setOuterSize() {
  // Until the first showing the frame is not known: a standard one is assumed.
  const QSize frame = shownOnce_ ? frameGeometry().size() - geometry().size() : kStandardFrame;
  resize(kOuterSize - frame);
}

void Tfcierre::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    // Now the real frame is known (none on some platforms): the outer size is kOuterSize.
    setOuterSize();
  }
  // Centred on the desktop, not on the owner.
  helper_->centreOnScreen();
}

void Tfcierre::FormActivate() {
  if (context_.automaticMode) SpeedButton1Click();
}

void Tfcierre::keyPressEvent(QKeyEvent* event) {
  // Not QDialog's: Esc and Enter have their meaning through FormKeyDown only (a key the memo
  // leaves unhandled comes here too and must not close the window a second time).
  QWidget::keyPressEvent(event);
}

void Tfcierre::FormKeyDown(const QKeyEvent& key) {
  // Three tests on the same key, one after another; the modifiers are not looked at, so
  // Ctrl+F2 and Shift+Enter act as F2 and Enter.
  if (key.key() == Qt::Key_F2) SpeedButton1Click();
  if (key.key() == Qt::Key_Escape) SBSalirClick();
  if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) SpeedButton1Click();
}

void Tfcierre::SpeedButton1Click() {
  // Panel5 keeps the caption it has: at the first run its initial one, later the last of the
  // run before.
  ui_->Panel5->show();
  repaint();

  RunHooks hooks(*this);
  exporting::ReportRun run(hooks, hooks, hooks,
                           [this](const RunEvent& event) { onRunEvent(event); });
  // Nobody waits at a scheduler's start for a server that does not answer.
  run.setGiveUpOnUnreachableServer(context_.unattended);
  const bool resultFlag = run.run();

  // The last mail of the run went out: the program ends. A scheduler's start ends with its
  // run, whatever became of the mails. The modal display ends here and the selection window
  // then closes itself, which ends the program. No quit request goes to the application: it
  // would first ask the platform to close every window, from inside this window's own modal
  // loop, and without a desktop (a scheduler's start on Windows) that never came back.
  if (resultFlag || context_.unattended) endDialog(*this, QDialog::Accepted);
}

void Tfcierre::onRunEvent(const RunEvent& event) {
  if (event.type == RunEvent::Type::DayEnded) {
    ui_->Panel5->hide();
    repaint();
  }
  if (context_.listener) context_.listener(event);
}

exporting::DayExport Tfcierre::generararchivo(Kind kind, QDate day) {
  const QByteArray dateText = Clock::shortDate(day);
  ui_->Panel5->hide();
  ui_->Panel5->setText(fromCp1252(exporting::exportStatusCaption(kind, dateText)));
  ui_->Panel5->show();
  repaint();

  // All rows are in memory before the file is touched; a database error leaves from here
  // with the file as it was.
  const ExportSet& rows = exportSets_[static_cast<std::size_t>(kind)];
  const exporting::DayExport written = exporting::exportDay(
      rows.set, rows.field, kind, dateText, context_.brandCode, fromCp1252(context_.directorio));
  if (written.error) addErrorLine(*written.error);
  return written;
}

void Tfcierre::prepararcorreo() {
  mailer_.prepararcorreo(context_.userCode);
}

MailResult Tfcierre::enviarcorreo(Kind kind, QDate day, const QString& path) {
  const exporting::ReportKind& report = exporting::reportKind(kind);
  const MailResult result =
      mailer_.enviarcorreo({.subject = report.subject, .body = report.body}, Clock::shortDate(day),
                           path, context_.destinatarios);
  if (result.outcome == MailOutcome::Failed) addErrorLine(result.text);
  return result;
}

void Tfcierre::addErrorLine(const QString& text) {
  QString lines = QStringLiteral("ERROR: ") + text;
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(u'\r', u'\n');
  QTextCursor top(ui_->StatusMemo->document());
  top.movePosition(QTextCursor::Start);
  top.insertText(lines + u'\n');
}

void Tfcierre::SBSalirClick() {
  closeWindow(*this);
}

void Tfcierre::closeEvent(QCloseEvent* event) {
  guarded(&Tfcierre::FormClose);
  QDialog::closeEvent(event);
}

void Tfcierre::FormClose() {
  CSku.close();
  CVentas.close();
  // The window itself is freed by its owner once the modal display has ended.
}

void runGenerationWindow(exporting::RunContext& context, db::Tfdm& dm, Notifier& notifier,
                         QWidget& owner, const smtp::TlsPolicy& tlsPolicy) {
  const QPointer<Tfcierre> generation = new Tfcierre(context, dm, notifier, &owner);
  generation->mailer().setTlsPolicy(tlsPolicy);
  generation->exec();
  delete generation.data();
}

}  // namespace zavelo
