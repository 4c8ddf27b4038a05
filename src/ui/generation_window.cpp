#include "ui/generation_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScreen>
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
#include "ui/pictures.h"
#include "ui/selection_window.h"
#include "ui_generation_window.h"

namespace zavelo {
namespace {

using exporting::Kind;

// The window's outer size, title bar and borders included.
constexpr QSize kOuterSize(380, 280);
// The borders and title bar of a standard Windows frame, used until the real frame is known.
constexpr QSize kStandardFrame(16, 39);

// The run's result flag after one file: yes when its mail went out, no when the mail failed or
// the file could not be written (so it was not mailed), unchanged when no mail was attempted.
void follow(bool& resultFlag, std::optional<MailOutcome> outcome) {
  if (!outcome || *outcome == MailOutcome::Failed) {
    resultFlag = false;
  } else if (*outcome == MailOutcome::Sent) {
    resultFlag = true;
  }
}

}  // namespace

Tfcierre::Tfcierre(Tfdorvanefamilia& owner, db::Tfdm& dm, Notifier& notifier)
    : QDialog(&owner),
      owner_(owner),
      dm_(dm),
      notifier_(notifier),
      ui_(std::make_unique<Ui::Tfcierre>()),
      PSku(dm.QSku, true),
      CSku(PSku),
      CSkuCADENA(CSku, "CADENA"),
      PVentas(dm.QVentas, true),
      CVentas(PVentas),
      CVentasCADENA(CVentas, "CADENA"),
      mailer_(dm) {
  ui_->setupUi(this);
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
  qApp->installEventFilter(this);

  guarded(&Tfcierre::FormCreate);
}

Tfcierre::~Tfcierre() {
  qApp->removeEventFilter(this);
}

void Tfcierre::guarded(void (Tfcierre::*handler)()) {
  runGuarded(notifier_, [this, handler] { (this->*handler)(); });
}

void Tfcierre::FormCreate() {
  setOuterSize();
  if (owner_.agencia().isEmpty()) owner_.setAgencia("0");
}

void Tfcierre::setOuterSize() {
  // Until the first showing the frame is not known: a standard one is assumed.
  const QSize frame = shownOnce_ ? frameGeometry().size() - geometry().size() : kStandardFrame;
  resize(kOuterSize - frame);
}

void Tfcierre::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) activationPending_ = true;
  if (!shownOnce_) {
    shownOnce_ = true;
    // Now the real frame is known (none on some platforms): the outer size is kOuterSize.
    setOuterSize();
  }
  // Centred on the desktop, not on the owner.
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - frameGeometry().center() + pos());
}

bool Tfcierre::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && activationPending_) {
    // Only the activation that follows the showing counts: when the window gets the focus back
    // later (after a message box, from another program) no run starts, so an automatic run is
    // not repeated after an error. Queued, so that the run starts once Qt has finished
    // activating the window; nothing else is handled in between.
    activationPending_ = false;
    QMetaObject::invokeMethod(
        this, [this] { guarded(&Tfcierre::FormActivate); }, Qt::QueuedConnection);
  }
  return QDialog::event(event);
}

void Tfcierre::FormActivate() {
  if (owner_.automaticMode()) SpeedButton1Click();
}

bool Tfcierre::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this) return false;
  // A key reaches the focused control first and then its parents while unhandled; the window
  // previews it once, at the first of them. The key then goes on to the control.
  QWidget* first = focusWidget() ? focusWidget() : this;
  if (widget == first) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    runGuarded(notifier_, [&] { FormKeyDown(key); });
  }
  return false;
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

  bool resultFlag = false;
  QDate day = owner_.firstDay();
  // The end date is read again before every pass; days compare as whole calendar days.
  while (day.isValid() && owner_.lastDay().isValid() && !(owner_.lastDay() < day)) {
    const std::optional<QString> inventory = generararchivo(Kind::Inventory, day);
    prepararcorreo();
    follow(resultFlag, inventory ? std::optional(enviarcorreo(Kind::Inventory, day, *inventory))
                                 : std::nullopt);
    const std::optional<QString> sales = generararchivo(Kind::Sales, day);
    follow(resultFlag,
           sales ? std::optional(enviarcorreo(Kind::Sales, day, *sales)) : std::nullopt);
    ui_->Panel5->hide();
    day = day.addDays(1);
    repaint();
  }

  if (resultFlag) {
    // The last mail of the run went out: the program ends. The modal display ends here, the
    // selection window then closes itself, and the quit request ends the event loop.
    done(QDialog::Accepted);
    QCoreApplication::quit();
  }
}

std::optional<QString> Tfcierre::generararchivo(Kind kind, QDate day) {
  const QByteArray dateText = Clock::shortDate(day);
  ui_->Panel5->hide();
  ui_->Panel5->setText(fromCp1252(exporting::exportStatusCaption(kind, dateText)));
  ui_->Panel5->show();
  repaint();

  // All rows are in memory before the file is touched; a database error leaves from here
  // with the file as it was.
  db::ResultSet& set = kind == Kind::Inventory ? CSku : CVentas;
  const db::Field& field = kind == Kind::Inventory ? CSkuCADENA : CVentasCADENA;
  const exporting::DayExport written = exporting::exportDay(
      set, field, kind, dateText, owner_.brandCode(), fromCp1252(owner_.directorio()));
  if (written.error) {
    addErrorLine(*written.error);
    return std::nullopt;
  }
  return written.path;
}

void Tfcierre::prepararcorreo() {
  mailer_.prepararcorreo(owner_.userCode());
}

MailOutcome Tfcierre::enviarcorreo(Kind kind, QDate day, const QString& path) {
  const mail::ReportKind mailKind =
      kind == Kind::Inventory ? mail::ReportKind::Inventory : mail::ReportKind::Sales;
  return mailer_.enviarcorreo(mailKind, Clock::shortDate(day), path, owner_.destinatarios(),
                              [this](const QString& text) { addErrorLine(text); });
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
  close();
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

}  // namespace zavelo
