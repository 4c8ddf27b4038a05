#include "ui/selection_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <algorithm>
#include <optional>

#include "common/clock.h"
#include "common/cp1252.h"
#include "common/error.h"
#include "common/error_report.h"
#include "common/notifier.h"
#include "db/data_module.h"
#include "settings/startup_settings.h"
#include "ui/pictures.h"
#include "ui/window_helper.h"
#include "ui_selection_window.h"

namespace zavelo {
namespace {

// The form names the Windows fonts; where they are missing (Linux), fontconfig's nearest match
// is often much wider, so point it at the metric-compatible Liberation faces first.
void substituteWindowsFonts() {
  QFont::insertSubstitutions(
      QStringLiteral("MS Sans Serif"),
      {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(
      QStringLiteral("Arial Narrow"),
      {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")});
}

constexpr int kTopBand = 89;     // Panel2
constexpr int kBottomBand = 52;  // Panel1

}  // namespace

Tfdorvanefamilia::Tfdorvanefamilia(db::Tfdm& dm, Notifier& notifier,
                                   settings::RegistryLocation where, QWidget* parent)
    : QWidget(parent),
      dm_(dm),
      notifier_(notifier),
      ui_(std::make_unique<Ui::Tfdorvanefamilia>()),
      helper_(new WindowHelper(*this, notifier)),
      PAgencias(dm.TAgencia, false),
      CAgencias(PAgencias),
      CAgenciasSUCU_ID(CAgencias, "SUCU_ID"),
      CAgenciasSUCU_NOMBRE(CAgencias, "SUCU_NOMBRE") {
  substituteWindowsFonts();
  ui_->setupUi(this);
  useWindowsFaces(*this);
  // Label2 reaches past the right edge of its panel: its text wraps inside what shows of it.
  ui_->Label2->setContentsMargins(
      0, 0, std::max(0, ui_->Label2->geometry().right() + 1 - ui_->Panel2->width()), 0);
  setAttribute(Qt::WA_DeleteOnClose);  // released when it closes

  // Labels that size themselves to their text, as they stand in the form at their left/top.
  for (QLabel* label : {ui_->Label3, ui_->Label4, ui_->Label5, ui_->Label6, ui_->Label8,
                        ui_->Label9, ui_->Label10, ui_->Label11})
    label->adjustSize();
  ui_->SpeedButton3->setIcon(picture(QStringLiteral(":/pictures/generar.svg"), {46, 32}));
  ui_->SpeedButton2->setIcon(picture(QStringLiteral(":/pictures/cancelar.svg"), {46, 32}));
  ui_->Panel5->raise();  // drawn over the group boxes beneath it

  connect(ui_->SpeedButton3, &QToolButton::clicked, this,
          [this] { guarded(&Tfdorvanefamilia::SpeedButton3Click); });
  connect(ui_->SpeedButton2, &QToolButton::clicked, this,
          [this] { guarded(&Tfdorvanefamilia::SpeedButton2Click); });
  // activated: the user's choice only; a selection made from code fires nothing.
  connect(ui_->CboAgencia, &QComboBox::activated, this,
          [this] { guarded(&Tfdorvanefamilia::CboAgenciaChange); });
  connect(qApp, &QApplication::focusChanged, this, &Tfdorvanefamilia::onFocusChanged);
  // Key preview: the window sees every key meant for one of its controls (or for the open
  // branch list) first.
  helper_->setKeyPreview([this](const QKeyEvent& key) { FormKeyDown(key); });
  // A window that is shown but never activated (a program started by a scheduler may not get
  // the focus) still makes its first-activation steps, so that an unattended run starts.
  helper_->setFirstActivation([this] { FormActivate(); });
  // The date pickers and the branch list are watched for their own keys as well.
  for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);

  // Centred on the desktop; again once shown, when the frame is known.
  helper_->centreOnScreen();

  ui_->Servidor->setFocus();
  runGuarded(notifier_, [&] { FormCreate(where); });
}

Tfdorvanefamilia::~Tfdorvanefamilia() = default;

void Tfdorvanefamilia::FormCreate(const settings::RegistryLocation& where) {
  // The values read before an error stay as read; the error goes to the report afterwards.
  std::optional<Error> error;
  try {
    settings::loadStartupSettings(notifier_, where, settings_, &settingsRead_);
  } catch (const Error& e) {
    error = e;
  }
  // Setting the texts starts no handler: focus and key events are all this window acts on.
  ui_->Servidor->setText(fromCp1252(settings_.servidor));
  ui_->Tusua->setText(fromCp1252(settings_.codusuario));
  ui_->TClave->setText(fromCp1252(settings_.clave));
  ui_->Cia->setText(fromCp1252(settings_.compania));
  ui_->Fami->setText(fromCp1252(settings_.marca));
  if (error) throw *error;
}

void Tfdorvanefamilia::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && !shownOnce_) {
    shownOnce_ = true;
    helper_->centreOnScreen();
  }
}

void Tfdorvanefamilia::setUnattended(QDate firstDay, QDate lastDay) {
  unattended_ = true;
  unattendedFirst_ = firstDay;
  unattendedLast_ = lastDay;
}

void Tfdorvanefamilia::FormActivate() {
  const QDate today = Clock::today();
  // Only an unattended start sets days of its own.
  ui_->EFecIni->setDate(unattendedFirst_.isValid() ? unattendedFirst_ : today);
  ui_->EFecfin->setDate(unattendedLast_.isValid() ? unattendedLast_ : today);
  if (!ui_->Servidor->text().isEmpty() && !ui_->Tusua->text().isEmpty() &&
      !ui_->TClave->text().isEmpty() && !ui_->Cia->text().isEmpty()) {
    CiaExit();
  } else if (unattended_) {
    // Nobody is there to complete the origin: waiting would never end.
    throw Error(
        Error::Kind::Settings,
        QStringLiteral(
            "Faltan datos de origen en %1: servidor, usuario, clave y compa\u00F1\u00EDa son "
            "necesarios para conectar")
            .arg(settingsRead_.path.isEmpty() ? QStringLiteral("settingsenvio.conf")
                                              : settingsRead_.path));
  }
}

void Tfdorvanefamilia::onFocusChanged(QWidget* old, QWidget* now) {
  // Only a move to another control of this window counts as leaving the edit: switching to
  // another window (the generation window, a message box, another program) runs nothing.
  if (connecting_ || !now || now->window() != this) return;
  if (old != ui_->Cia && old != ui_->Fami) return;
  guarded(&Tfdorvanefamilia::CiaExit);
}

void Tfdorvanefamilia::CiaExit() {
  if (ui_->Cia->text().isEmpty() || ui_->Tusua->text().isEmpty() || ui_->TClave->text().isEmpty())
    return;
  // The focus moves below (and a modal window may open) must not start this again.
  const QScopedValueRollback<bool> busy(connecting_, true);

  showStatus(QStringLiteral("Conectando a la base de datos ") + ui_->Cia->text() +
             QStringLiteral(" ..."));
  // Heard whether the connection opens or not: the database string and the user, never the
  // password.
  const auto announce = [this] {
    if (listener_)
      listener_({.type = exporting::RunEvent::Type::Connecting,
                 .text = fromCp1252(dm_.Halvori.params().value("Database")),
                 .detail = ui_->Tusua->text()});
  };
  try {
    dm_.conectarbase(toCp1252(ui_->Servidor->text()), toCp1252(ui_->Cia->text()),
                     toCp1252(ui_->Tusua->text()), toCp1252(ui_->TClave->text()));
  } catch (...) {
    announce();
    throw;
  }
  announce();

  ui_->EFecIni->setEnabled(true);
  ui_->EFecfin->setEnabled(true);
  ui_->Panel5->hide();
  ui_->EFecIni->setFocus();
  ui_->SpeedButton3->setEnabled(true);

  if (automaticMode()) {
    // The list stays empty and agencia empty: the run starts at once.
    SpeedButton3Click();
    return;
  }
  fillBranchList();
}

void Tfdorvanefamilia::fillBranchList() {
  // Fetched once per run: an open set keeps the rows of the first connection.
  CAgencias.open();
  bool hasAll = false;
  for (CAgencias.first(); !CAgencias.eof(); CAgencias.next()) {
    if (CAgenciasSUCU_ID.asInteger() == 0) {
      hasAll = true;
      break;
    }
  }
  // "All branches" exists in memory only; nothing is written back.
  if (!hasAll)
    CAgencias.insertRow(0, {{QByteArray("SUCU_ID"), QByteArray("0")},
                            {QByteArray("SUCU_NOMBRE"), QByteArray("Todas...")}});

  QComboBox& list = *ui_->CboAgencia;
  list.clear();
  for (CAgencias.first(); !CAgencias.eof(); CAgencias.next())
    list.addItem(fromCp1252(CAgenciasSUCU_NOMBRE.asText()));
  list.setCurrentIndex(0);
  CboAgenciaChange();  // a selection from code fires no change event
  list.setEnabled(true);
}

void Tfdorvanefamilia::CboAgenciaChange() {
  if (automaticMode()) return;
  // The first row of that exact name wins, so of two branches of one name the first is meant.
  if (CAgencias.locate("SUCU_NOMBRE", toCp1252(ui_->CboAgencia->currentText())))
    agencia_ = CAgenciasSUCU_ID.asText();
  else
    agencia_ = "0";
}

bool Tfdorvanefamilia::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  const auto& key = static_cast<const QKeyEvent&>(*event);

  // Tab leaves a date picker (instead of moving between its day, month and year), as it leaves
  // every other control.
  if ((widget == ui_->EFecIni || widget == ui_->EFecfin) &&
      !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
      (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)) {
    const bool forward = key.key() == Qt::Key_Tab && !(key.modifiers() & Qt::ShiftModifier);
    focusNextPrevChild(forward);
    return true;
  }

  // The branch list drops down when the user types in it.
  if (widget == ui_->CboAgencia && !key.text().isEmpty() && key.text().at(0).isPrint() &&
      !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
      !ui_->CboAgencia->view()->isVisible())
    QMetaObject::invokeMethod(ui_->CboAgencia, &QComboBox::showPopup, Qt::QueuedConnection);
  return false;
}

void Tfdorvanefamilia::FormKeyDown(const QKeyEvent& key) {
  if (key.modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)) return;
  // F2 works also while SpeedButton3 is disabled, so before any connection too. Either action
  // closes a dropped-down branch list first, as the window it opens or closes takes its place.
  if (key.key() == Qt::Key_F2) {
    helper_->closePopup();
    guarded(&Tfdorvanefamilia::SpeedButton3Click);
  } else if (key.key() == Qt::Key_Escape) {
    helper_->closePopup();
    guarded(&Tfdorvanefamilia::SpeedButton2Click);
  }
}

void Tfdorvanefamilia::SpeedButton3Click() {
  showStatus(QStringLiteral("Generando reporte. Espere un momento..."));
  // Created once per run: this window closes when the generation window returns.
  context_ = runContext();
  if (openGeneration_) openGeneration_(context_, *this);
  closeWindow(*this);  // Panel5 stays shown until then
}

void Tfdorvanefamilia::SpeedButton2Click() {
  closeWindow(*this);
}

void Tfdorvanefamilia::closeEvent(QCloseEvent* event) {
  FormClose();
  QWidget::closeEvent(event);
}

void Tfdorvanefamilia::FormClose() {
  // The window is released on closing (WA_DeleteOnClose); the program ends when its main
  // window is gone.
}

void Tfdorvanefamilia::resizeEvent(QResizeEvent* event) {
  // The top and bottom bands span the width; the origin group fills what lies between.
  const int w = width();
  ui_->Panel2->setGeometry(0, 0, w, kTopBand);
  ui_->Panel1->setGeometry(0, height() - kBottomBand, w, kBottomBand);
  ui_->GroupBox1->setGeometry(0, kTopBand, w, std::max(0, height() - kTopBand - kBottomBand));
  QWidget::resizeEvent(event);
}

void Tfdorvanefamilia::showStatus(const QString& text) {
  ui_->Panel5->setText(text);
  ui_->Panel5->show();
  ui_->Panel5->raise();
  // Drawn now: the next step blocks the window. The panel is drawn on its own as well, since a
  // child that has only just been shown is not yet part of its window's repaint.
  repaint();
  ui_->Panel5->repaint();
}

void Tfdorvanefamilia::guarded(void (Tfdorvanefamilia::*handler)()) {
  helper_->guarded([this, handler] { (this->*handler)(); });
}

exporting::RunContext Tfdorvanefamilia::runContext() const {
  return {.firstDay = ui_->EFecIni->date(),
          .lastDay = ui_->EFecfin->date(),
          .brandCode = toCp1252(ui_->Fami->text()),
          .userCode = toCp1252(ui_->Tusua->text()),
          .agencia = agencia_,
          .directorio = settings_.directorio,
          .destinatarios = settings_.destinatarios,
          .automaticMode = automaticMode(),
          .unattended = unattended_,
          .listener = listener_};
}

QString Tfdorvanefamilia::passwordText() const {
  return ui_->TClave->text();
}

bool Tfdorvanefamilia::automaticMode() const {
  return unattended_ || settings_.automaticMode();
}

}  // namespace zavelo
