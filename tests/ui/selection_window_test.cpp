// The selection window as a user meets it: a real window (offscreen) on a company database
// built for each test, driven with keys through the window system, the generation window
// observed as it opens and closed again at once.
#include "ui/selection_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "common/clock.h"
#include "common/error_report.h"
#include "db/data_module.h"
#include "db/query.h"
#include "fixtures/company_db.h"
#include "settings/registry.h"
#include "support/qt_print.h"
#include "support/recording_notifier.h"
#include "support/startup_files.h"
#include "support/temp_dir.h"
#include "support/window_test_base.h"
#include "ui/generation_window.h"

namespace zavelo {
namespace {

using test::CompanyDb;
using test::FbMode;
using test::Shown;

const QDate kToday(2026, 2, 3);  // the form's own dates are 2025/08/11

// Watches for the generation window: records how it was opened and closes it again as soon as
// its modal loop runs, so that no test waits on it.
class GenerationWatcher : public QObject {
 public:
  struct Seen {
    QWidget* parent = nullptr;
    bool modal = false;
    bool ownerVisible = false;
    bool connected = false;
    QString status;
    bool statusShown = false;
    int branchCount = -1;
    bool branchesEnabled = false;
    QDate firstDay;
  };

  GenerationWatcher(db::Tfdm& dm, QPointer<Tfdorvanefamilia>& owner) : dm_(dm), owner_(owner) {
    qApp->installEventFilter(this);
  }
  ~GenerationWatcher() override { qApp->removeEventFilter(this); }

  std::vector<Seen> seen;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    auto* dialog = qobject_cast<Tfcierre*>(watched);
    if (!dialog) return false;
    Seen s;
    s.parent = dialog->parentWidget();
    s.modal = dialog->isModal() || dialog->windowModality() != Qt::NonModal;
    s.connected = dm_.Halvori.isOpen();
    if (owner_) {
      s.ownerVisible = owner_->isVisible();
      const auto* panel = owner_->findChild<QLabel*>("Panel5");
      s.status = panel->text();
      s.statusShown = panel->isVisible();
      const auto* list = owner_->findChild<QComboBox*>("CboAgencia");
      s.branchCount = list->count();
      s.branchesEnabled = list->isEnabled();
      s.firstDay = owner_->runContext().firstDay;
    }
    seen.push_back(s);
    QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
    return false;
  }

 private:
  db::Tfdm& dm_;
  QPointer<Tfdorvanefamilia>& owner_;
};

// Records the keys a widget receives after the window's own look at them.
class KeySpy : public QObject {
 public:
  explicit KeySpy(QWidget* w) { w->installEventFilter(this); }
  QList<int> keys;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) keys.append(static_cast<QKeyEvent*>(event)->key());
    return false;
  }
};

struct Settings {
  QByteArray servidor;
  QByteArray codusuario;
  QByteArray clave;
  QByteArray compania = "01";
  QByteArray marca = "MARCA1";
  QByteArray automatico;
};

class SelectionWindowTest : public ::testing::Test, public test::WindowTestBase {
 protected:
  SelectionWindowTest() : WindowTestBase(kToday, false) {}
  void TearDown() override { delete window.data(); }

  // The standard company 01: three branches, one of them with a Windows-1252 name.
  CompanyDb& company(const QByteArray& code = "01") {
    companies.push_back(std::make_unique<CompanyDb>(temp.path(), code));
    return *companies.back();
  }
  void buildStandard() {
    ASSERT_EQ(company().branch(1, "Central").branch(2, "Norte").branch(3, "Caf\xE9 Sur").build(),
              "");
  }

  // Settings that reach the company through the server with the test login.
  Settings complete() const {
    Settings s;
    s.servidor = CompanyDb(temp.path()).servidor(FbMode::Server);
    s.codusuario = test::fbTestLogin().user;
    s.clave = test::fbTestLogin().password;
    return s;
  }

  void writeLines(const QList<QByteArray>& lines) { where = writeStartup(lines); }
  void writeSettings(const Settings& s) {
    writeLines({"linea uno", s.servidor, out.toUtf8(), s.codusuario, s.clave, s.compania, s.marca,
                "a@example.com", s.automatico});
  }

  // Creates the window as the program does; it is not shown yet.
  void create() {
    window = new Tfdorvanefamilia(*dm, notifier, where);
    window->setGenerationOpener([this](exporting::RunContext& context, QWidget& owner) {
      runGenerationWindow(context, *dm, notifier, owner);
    });
    watcher = std::make_unique<GenerationWatcher>(*dm, window);
  }
  // Shows it and waits until its first activation has run (the dates are today then).
  void open() {
    if (!window) create();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTRY_COMPARE_WITH_TIMEOUT(window->runContext().firstDay, kToday, 20000);
  }

  template <typename T>
  T* child(const char* name) const {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
  QLabel* panel5() const { return child<QLabel>("Panel5"); }
  QComboBox* branches() const { return child<QComboBox>("CboAgencia"); }
  QStringList branchItems() const {
    QStringList items;
    for (int i = 0; i < branches()->count(); ++i) items << branches()->itemText(i);
    return items;
  }

  void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window->windowHandle(), Qt::Key(k), modifiers);
  }
  // Puts the focus in an edit, as a click would.
  void focus(const char* name) {
    edit(name)->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), edit(name));
  }
  // Replaces an edit's text by typing.
  void type(const char* name, const QString& text) {
    focus(name);
    edit(name)->selectAll();
    QTest::keyClicks(edit(name), text);
  }

  // The attachment the connection holds now, as the server numbers it.
  QByteArray attachmentId() {
    db::Query q(dm->Halvori, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
    return q.openFetchAllAndClose().rows.at(0).at(0).value_or("");
  }
  QByteArray attachedFile() {
    db::Query q(dm->Halvori, "SELECT MON$DATABASE_NAME FROM MON$DATABASE");
    return q.openFetchAllAndClose().rows.at(0).at(0).value_or("").trimmed();
  }

  // Runs the program's event loop as main() does, for at most the given time; true when the
  // loop ended by itself (the main window closed), false when the time ran out.
  static bool runEventLoop(int ms) {
    bool timedOut = false;
    QTimer failSafe;
    failSafe.setSingleShot(true);
    QObject::connect(&failSafe, &QTimer::timeout, [&] {
      timedOut = true;
      QCoreApplication::exit(1);  // quit() would close the windows first
    });
    failSafe.start(ms);
    QApplication::exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !timedOut;
  }

  bool generationOpened() const { return watcher && !watcher->seen.empty(); }

  settings::RegistryLocation where;
  std::vector<std::unique_ptr<CompanyDb>> companies;
  QPointer<Tfdorvanefamilia> window;
  std::unique_ptr<GenerationWatcher> watcher;
};

// --- The form --------------------------------------------------------------------------------

struct Place {
  const char* name;
  const char* parent;
  QRect rect;
  bool enabled;
};

TEST_F(SelectionWindowTest, FormHoldsEveryControlInItsPlace) {
  writeLines({});
  create();
  EXPECT_EQ(window->objectName(), "fdorvanefamilia");
  EXPECT_EQ(window->windowTitle(), "ZadiRod ZAVELO");
  EXPECT_EQ(window->size(), QSize(363, 354));
  EXPECT_EQ(window->font().family(), "MS Sans Serif");
  EXPECT_EQ(window->font().pointSize(), 8);
  // The program's icon, at the sizes of a title bar, the task bar and the task switcher.
  for (const int side : {16, 32, 48, 256})
    EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(side, side))) << side;

  const Place places[] = {
      {"Panel2", "fdorvanefamilia", {0, 0, 363, 89}, true},
      {"Label2", "Panel2", {8, 2, 361, 79}, true},
      {"GroupBox1", "fdorvanefamilia", {0, 89, 363, 213}, true},
      {"Servidor", "GroupBox1", {76, 8, 253, 21}, true},
      {"Tusua", "GroupBox1", {76, 32, 97, 21}, true},
      {"TClave", "GroupBox1", {76, 56, 97, 21}, true},
      {"Cia", "GroupBox1", {76, 80, 45, 21}, true},
      {"GroupBox2", "fdorvanefamilia", {0, 208, 381, 94}, true},
      {"EFecIni", "GroupBox2", {59, 24, 86, 21}, false},
      {"EFecfin", "GroupBox2", {147, 24, 86, 21}, false},
      {"Fami", "GroupBox2", {296, 24, 45, 21}, true},
      {"CboAgencia", "GroupBox2", {59, 50, 280, 21}, false},
      {"Panel1", "fdorvanefamilia", {0, 302, 363, 52}, true},
      {"SpeedButton3", "Panel1", {65, 1, 65, 50}, false},
      {"SpeedButton2", "Panel1", {259, 1, 65, 50}, true},
      {"Panel5", "fdorvanefamilia", {8, 140, 337, 41}, true},
  };
  for (const Place& p : places) {
    SCOPED_TRACE(p.name);
    auto* w = window->findChild<QWidget*>(p.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), p.parent);
    EXPECT_EQ(w->geometry(), p.rect);
    EXPECT_EQ(w->isEnabled(), p.enabled);
  }

  struct Caption {
    const char* name;
    const char* parent;
    QPoint at;
    QString text;
  };
  const Caption labels[] = {
      {"Label5", "GroupBox1", {16, 16}, "Servidor : "},
      {"Label8", "GroupBox1", {16, 40}, "Usuario : "},
      {"Label9", "GroupBox1", {17, 64}, "Clave : "},
      {"Label6", "GroupBox1", {17, 88}, "Compañía:"},
      {"Label4", "GroupBox2", {24, 32}, "Fecha:"},
      {"Label11", "GroupBox2", {240, 32}, "Cod Marca:"},
      {"Label10", "GroupBox2", {16, 56}, "Agencia:"},
      {"Label3", "GroupBox2", {256, 74}, "Rev: 2025/08/11"},
  };
  for (const Caption& c : labels) {
    SCOPED_TRACE(c.name);
    auto* label = child<QLabel>(c.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget()->objectName(), c.parent);
    EXPECT_EQ(label->pos(), c.at);
    EXPECT_EQ(label->text(), c.text);
  }
  auto* intro = child<QLabel>("Label2");
  EXPECT_TRUE(intro->wordWrap());
  EXPECT_TRUE(intro->text().startsWith(
      "Este programa genera los archivos de datos con las ventas e inventariopara ser enviados"));
  EXPECT_TRUE(intro->text().endsWith("enviarlos al servidor configurado."));
  // The label reaches past its panel's right edge: the text wraps inside what shows of it, and
  // all of it fits.
  const QRect textArea = intro->contentsRect();
  EXPECT_LE(intro->x() + textArea.right(), child<QWidget>("Panel2")->width() - 1);
  const QRect needed = intro->fontMetrics().boundingRect(
      textArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, intro->text());
  EXPECT_TRUE(textArea.contains(needed)) << needed.width() << "x" << needed.height();
  EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), "Origen:");
  EXPECT_EQ(child<QGroupBox>("GroupBox2")->title(), "Parámetros ");

  EXPECT_EQ(edit("TClave")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(branches()->maxVisibleItems(), 4);
  EXPECT_FALSE(branches()->isEditable());
  EXPECT_EQ(branches()->count(), 0);
  for (const char* name : {"EFecIni", "EFecfin"}) {
    auto* picker = child<QDateEdit>(name);
    EXPECT_TRUE(picker->calendarPopup());
    EXPECT_EQ(picker->displayedSections() & QDateTimeEdit::TimeSections_Mask, 0) << name;
  }

  const std::pair<const char*, const char*> buttons[] = {{"SpeedButton3", "F2: Generar"},
                                                         {"SpeedButton2", "Esc: Cancelar"}};
  for (const auto& [name, text] : buttons) {
    SCOPED_TRACE(name);
    auto* b = child<QToolButton>(name);
    EXPECT_EQ(b->text(), text);
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(b->autoRaise());
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(b->iconSize(), QSize(46, 32));
    EXPECT_FALSE(b->icon().pixmap(46, 32).isNull());
    EXPECT_EQ(b->font().family(), "Arial Narrow");
    EXPECT_EQ(b->font().pointSize(), 8);
  }

  QLabel* status = panel5();
  EXPECT_TRUE(status->isHidden());
  EXPECT_EQ(status->text(), "Preparando informe. espere un momento...");
  EXPECT_EQ(status->alignment(), Qt::AlignCenter);
  EXPECT_EQ(status->font().pointSize(), 10);
  EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  // Drawn over the group boxes: the last of the window's children in stacking order.
  EXPECT_EQ(window->children().last(), status);

  // Centred on the desktop.
  const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window->geometry().center() - desktop.center()).manhattanLength(), 2);
  // Sizeable: the top and bottom bands keep to the edges, the origin group fills between.
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  window->resize(500, 400);
  EXPECT_EQ(child<QWidget>("Panel2")->geometry(), QRect(0, 0, 500, 89));
  EXPECT_EQ(child<QWidget>("Panel1")->geometry(), QRect(0, 348, 500, 52));
  EXPECT_EQ(child<QWidget>("GroupBox1")->geometry(), QRect(0, 89, 500, 259));
  EXPECT_EQ(child<QWidget>("GroupBox2")->geometry(), QRect(0, 208, 381, 94));
}

TEST_F(SelectionWindowTest, TabFollowsTheFormOrderSkippingDisabledControls) {
  writeLines({});
  open();
  EXPECT_EQ(QApplication::focusWidget(), edit("Servidor"));
  // Before a connection the pickers and the list are disabled: Cia leads to Fami.
  QStringList visited;
  for (int i = 0; i < 5; ++i) {
    visited << QApplication::focusWidget()->objectName();
    key(Qt::Key_Tab);
  }
  EXPECT_EQ(visited, QStringList({"Servidor", "Tusua", "TClave", "Cia", "Fami"}));
  // All enabled: the whole order.
  for (const char* name : {"EFecIni", "EFecfin", "CboAgencia"})
    window->findChild<QWidget*>(name)->setEnabled(true);
  focus("Servidor");
  visited.clear();
  for (int i = 0; i < 9; ++i) {
    visited << QApplication::focusWidget()->objectName();
    key(Qt::Key_Tab);
  }
  EXPECT_EQ(visited, QStringList({"Servidor", "Tusua", "TClave", "Cia", "EFecIni", "CboAgencia",
                                  "Fami", "EFecfin", "Servidor"}));
}

// --- Creation: the settings ------------------------------------------------------------------

TEST_F(SelectionWindowTest, SettingsFillTheEditsAndTheHeldValues) {
  writeLines(
      {"uno", "srv:C:/HALVORI", "C:/salida", "ADMIN", "secreto", "07", "Caf\xE9", "x@y.z", "0"});
  create();
  EXPECT_EQ(edit("Servidor")->text(), "srv:C:/HALVORI");
  EXPECT_EQ(edit("Tusua")->text(), "ADMIN");
  EXPECT_EQ(edit("TClave")->text(), "secreto");
  EXPECT_EQ(edit("Cia")->text(), "07");
  EXPECT_EQ(edit("Fami")->text(), QString::fromUtf8("Café"));
  EXPECT_EQ(window->runContext().brandCode, QByteArray("Caf\xE9"));
  EXPECT_EQ(window->runContext().userCode, "ADMIN");
  EXPECT_EQ(window->runContext().directorio, "C:/salida");
  EXPECT_EQ(window->runContext().destinatarios, "x@y.z");
  EXPECT_FALSE(window->runContext().automaticMode);
  EXPECT_EQ(window->runContext().agencia, "");
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_EQ(dm->Halvori.state(), db::ConnectionState::Closed);
}

TEST_F(SelectionWindowTest, SettingsErrorGoesToTheReportAndCreationGoesOn) {
  // Line 7 is one character too long: the lines before it stay as read.
  writeLines({"uno", "srv", "dir", "ADMIN", "secreto", "07", QByteArray(1025, 'M'), "x@y.z", "1"});
  create();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0], (Shown{Shown::ErrorReport, programTitle(), "Range check error."}));
  EXPECT_EQ(edit("Servidor")->text(), "srv");
  EXPECT_EQ(edit("Cia")->text(), "07");
  EXPECT_EQ(edit("Fami")->text(), "");
  EXPECT_EQ(window->runContext().destinatarios, "");
  EXPECT_FALSE(window->runContext().automaticMode);
}

// --- Connecting at first activation ----------------------------------------------------------

TEST_F(SelectionWindowTest, AutomaticModeConnectsOpensTheGenerationWindowAndEnds) {
  buildStandard();
  Settings s = complete();
  s.automatico = "1";
  writeSettings(s);
  create();
  const QWidget* const owner = window;
  window->show();
  EXPECT_TRUE(runEventLoop(60000)) << "the program did not end";

  ASSERT_EQ(watcher->seen.size(), 1u);
  const auto& seen = watcher->seen[0];
  EXPECT_TRUE(seen.connected);
  EXPECT_TRUE(seen.modal);
  EXPECT_TRUE(seen.ownerVisible);
  EXPECT_EQ(seen.parent, owner);
  EXPECT_EQ(seen.firstDay, kToday);
  EXPECT_EQ(seen.branchCount, 0);  // the list is not filled in automatic mode
  EXPECT_FALSE(seen.branchesEnabled);
  EXPECT_EQ(seen.status, "Generando reporte. Espere un momento...");
  EXPECT_TRUE(seen.statusShown);
  EXPECT_EQ(dm->Halvori.params().value("Database"), companies[0]->databaseString(FbMode::Server));
  // Closed and released: the program's last window is gone.
  EXPECT_TRUE(window.isNull());
  for (const Shown& box : notifier.shown) EXPECT_FALSE(box.text.contains("Conectando"));
}

TEST_F(SelectionWindowTest, InteractiveModeConnectsFillsTheListAndWaits) {
  buildStandard();
  writeSettings(complete());
  open();
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_EQ(window->runContext().firstDay, kToday);
  EXPECT_EQ(window->runContext().lastDay, kToday);
  EXPECT_EQ(branchItems(),
            QStringList({"Todas...", "Central", "Norte", QString::fromUtf8("Café Sur")}));
  EXPECT_EQ(branches()->currentIndex(), 0);
  EXPECT_TRUE(branches()->isEnabled());
  EXPECT_EQ(window->runContext().agencia, "0");
  EXPECT_EQ(QApplication::focusWidget(), child<QWidget>("EFecIni"));
  EXPECT_TRUE(child<QWidget>("EFecIni")->isEnabled());
  EXPECT_TRUE(child<QWidget>("EFecfin")->isEnabled());
  EXPECT_TRUE(child<QWidget>("SpeedButton3")->isEnabled());
  EXPECT_TRUE(panel5()->isHidden());
  // Nothing else happens until the user acts.
  QTest::qWait(300);
  EXPECT_FALSE(generationOpened());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(notifier.shown.empty());
  // Activating again does not run the start-up steps again.
  const QByteArray attachment = attachmentId();
  auto* other = new QWidget;
  other->show();
  other->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(other));
  delete other;
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::qWait(50);
  EXPECT_EQ(attachmentId(), attachment);
}

// Keeps a window from ever becoming active, as on a desktop that does not hand the focus to a
// program started in the background.
TEST_F(SelectionWindowTest, AWindowNeverActivatedStillConnects) {
  buildStandard();
  writeSettings(complete());
  create();
  test::ActivationBlocker blocker;
  window->installEventFilter(&blocker);
  window->show();
  QTest::qWait(500);
  EXPECT_EQ(window->runContext().firstDay,
            QDate(2025, 8, 11));  // not yet: the activation may still come
  QTRY_COMPARE_WITH_TIMEOUT(window->runContext().firstDay, kToday, 10000);
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_EQ(branches()->count(), 4);
  const QByteArray attachment = attachmentId();
  // A later activation does not run the steps a second time.
  window->removeEventFilter(&blocker);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::qWait(50);
  EXPECT_EQ(attachmentId(), attachment);
}

TEST_F(SelectionWindowTest, EmptyServerConnectsOnlyWhenCiaIsLeft) {
  Settings s = complete();
  s.servidor = "";
  writeSettings(s);
  open();
  EXPECT_EQ(dm->Halvori.state(), db::ConnectionState::Closed);
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_TRUE(panel5()->isHidden());

  focus("Cia");
  key(Qt::Key_Tab);
  // The attempt names the bare path, which does not exist on this machine.
  EXPECT_EQ(dm->Halvori.params().value("Database"), "/datos/01/halvori.fdb");
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
#ifndef Q_OS_WIN
  // (The client for Windows has no embedded engine: its error names its local protocol.)
  EXPECT_TRUE(notifier.shown[0].text.contains("/datos/01/halvori.fdb"))
      << notifier.shown[0].text.toStdString();
#endif
}

// --- Leaving Cia or Fami -----------------------------------------------------------------------

TEST_F(SelectionWindowTest, LeavingFamiReconnectsAndTheListGoesBackToItsFirstItem) {
  buildStandard();
  writeSettings(complete());
  open();
  const QByteArray first = attachmentId();

  // The user picks "Norte".
  branches()->setFocus(Qt::MouseFocusReason);
  QTRY_COMPARE(QApplication::focusWidget(), branches());
  key(Qt::Key_Down);
  key(Qt::Key_Down);
  EXPECT_EQ(branches()->currentText(), "Norte");
  EXPECT_EQ(window->runContext().agencia, "2");

  focus("Fami");
  key(Qt::Key_Tab);
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_NE(attachmentId(), first);
  EXPECT_EQ(branches()->currentIndex(), 0);
  EXPECT_EQ(window->runContext().agencia, "0");
  EXPECT_EQ(QApplication::focusWidget(), child<QWidget>("EFecIni"));
  EXPECT_TRUE(panel5()->isHidden());
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(SelectionWindowTest, AnotherCompanyGetsTheBranchesOfTheFirstConnection) {
  buildStandard();
  ASSERT_EQ(company("02").branch(0, "Todas").branch(9, "Solo en 02").build(), "");
  writeSettings(complete());
  open();
  const QStringList before = branchItems();

  type("Cia", "02");
  key(Qt::Key_Tab);
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_TRUE(attachedFile().endsWith("/datos/02/halvori.fdb")) << attachedFile().constData();
  EXPECT_EQ(branchItems(), before);
  EXPECT_EQ(window->runContext().agencia, "0");
}

TEST_F(SelectionWindowTest, FocusMovingToAnotherWindowRunsNothing) {
  Settings s = complete();
  s.compania = "99";  // no such company: every attempt shows in the report
  s.servidor = "";    // nothing at start-up
  writeSettings(s);
  open();
  focus("Cia");
  auto* other = new QWidget;
  other->show();
  other->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(other));
  QTest::qWait(50);
  EXPECT_TRUE(notifier.shown.empty());

  delete other;
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTRY_COMPARE(QApplication::focusWidget(), edit("Cia"));
  EXPECT_TRUE(notifier.shown.empty());
  key(Qt::Key_Tab);
  EXPECT_EQ(notifier.shown.size(), 1u);
}

// --- The branch list --------------------------------------------------------------------------

struct BranchCase {
  const char* name;
  std::vector<std::pair<qint64, QByteArray>> rows;
  QStringList items;
  QByteArray agencia;  // after the first item is selected
};
void PrintTo(const BranchCase& c, std::ostream* os) {
  *os << c.name;
}

class BranchList : public SelectionWindowTest, public ::testing::WithParamInterface<BranchCase> {};

TEST_P(BranchList, FilledFromTheBranchesTable) {
  CompanyDb& db = company();
  for (const auto& [id, nombre] : GetParam().rows) db.branch(id, nombre);
  ASSERT_EQ(db.build(), "");
  writeSettings(complete());
  open();
  EXPECT_EQ(branchItems(), GetParam().items);
  EXPECT_EQ(branches()->currentIndex(), 0);
  EXPECT_EQ(window->runContext().agencia, GetParam().agencia);
  // "Todas..." lives in memory only.
  db::Query count(dm->Halvori, "SELECT COUNT(*) FROM SUCURSALES");
  EXPECT_EQ(count.openFetchAllAndClose().rows.at(0).at(0),
            QByteArray::number(qsizetype(GetParam().rows.size())));
}

INSTANTIATE_TEST_SUITE_P(Tables, BranchList,
                         ::testing::Values(BranchCase{"WithoutAll",
                                                      {{4, "Central"}, {2, "Norte"}},
                                                      {"Todas...", "Central", "Norte"},
                                                      "0"},
                                           BranchCase{
                                               "WithAll",
                                               {{5, "Sur"}, {0, "Todas las agencias"}, {7, "Este"}},
                                               {"Sur", "Todas las agencias", "Este"},
                                               "5"},
                                           BranchCase{"Empty", {}, {"Todas..."}, "0"},
                                           BranchCase{"SameNameTwice",
                                                      {{3, "Centro"}, {8, "Centro"}},
                                                      {"Todas...", "Centro", "Centro"},
                                                      "0"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SelectionWindowTest, ChoosingABranchSetsAgenciaToTheFirstRowOfThatName) {
  ASSERT_EQ(company().branch(3, "Centro").branch(8, "Centro").branch(6, "Caf\xE9").build(), "");
  writeSettings(complete());
  open();
  branches()->setFocus(Qt::MouseFocusReason);
  QTRY_COMPARE(QApplication::focusWidget(), branches());
  key(Qt::Key_End);
  EXPECT_EQ(window->runContext().agencia, "6");  // the Windows-1252 name finds its row
  key(Qt::Key_Up);
  EXPECT_EQ(branches()->currentIndex(), 2);
  EXPECT_EQ(window->runContext().agencia, "3");  // the second "Centro" is the first row's
  key(Qt::Key_Up);
  EXPECT_EQ(window->runContext().agencia, "3");
  key(Qt::Key_Home);
  EXPECT_EQ(window->runContext().agencia, "0");
}

TEST_F(SelectionWindowTest, TypingInTheListDropsItDown) {
  buildStandard();
  writeSettings(complete());
  open();
  branches()->setFocus(Qt::MouseFocusReason);
  QTRY_COMPARE(QApplication::focusWidget(), branches());
  QTest::keyClick(branches(), Qt::Key_N);
  QTRY_VERIFY(branches()->view()->isVisible());
  EXPECT_EQ(branches()->currentText(), "Norte");
  branches()->hidePopup();
}

// The dropped-down list and a date picker's calendar are popup windows of their own; the
// window's keys work there too, and the popup is closed before the window it opens or closes
// takes its place.
TEST_F(SelectionWindowTest, F2AndEscWorkWhileAListOrACalendarIsDroppedDown) {
  buildStandard();
  writeSettings(complete());
  const struct {
    const char* popup;
    bool list;
  } popups[] = {{"CboAgencia", true}, {"EFecIni", false}, {"EFecfin", false}};
  for (const auto& p : popups)
    for (const int k : {int(Qt::Key_F2), int(Qt::Key_Escape)}) {
      SCOPED_TRACE(std::string(p.popup) + " " + std::to_string(k));
      watcher.reset();
      open();
      if (p.list) {
        branches()->setFocus(Qt::MouseFocusReason);
        branches()->showPopup();
        QTRY_VERIFY(branches()->view()->isVisible());
      } else {
        auto* picker = child<QDateEdit>(p.popup);
        picker->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), picker);
        QTest::keyClick(picker, Qt::Key_F4);  // drops the calendar down
        QTRY_VERIFY(picker->calendarWidget()->isVisible());
      }
      QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
      key(k);
      EXPECT_EQ(generationOpened(), k == Qt::Key_F2);
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
      EXPECT_FALSE(window && window->isVisible());
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_TRUE(window.isNull());
    }
}

TEST_F(SelectionWindowTest, FailingBranchStatementLeavesTheListEmptyAndDisabled) {
  ASSERT_EQ(company().sql("DROP TABLE SUCURSALES;").build(), "");
  writeSettings(complete());
  open();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  EXPECT_TRUE(notifier.shown[0].text.contains("SUCURSALES"))
      << notifier.shown[0].text.toStdString();
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_TRUE(child<QWidget>("SpeedButton3")->isEnabled());
  EXPECT_TRUE(child<QWidget>("EFecIni")->isEnabled());
  EXPECT_EQ(branches()->count(), 0);
  EXPECT_FALSE(branches()->isEnabled());
  EXPECT_EQ(window->runContext().agencia, "");
}

// --- Keys and buttons ---------------------------------------------------------------------------

TEST_F(SelectionWindowTest, F2BeforeAnyConnectionOpensTheGenerationWindow) {
  writeLines({});
  open();
  KeySpy spy(edit("Servidor"));
  const QWidget* const owner = window;
  key(Qt::Key_F2);
  ASSERT_EQ(watcher->seen.size(), 1u);
  EXPECT_FALSE(watcher->seen[0].connected);
  EXPECT_TRUE(watcher->seen[0].modal);
  EXPECT_EQ(watcher->seen[0].parent, owner);
  EXPECT_EQ(watcher->seen[0].status, "Generando reporte. Espere un momento...");
  // The window closes once the generation window has; the key still reached the edit.
  EXPECT_FALSE(window && window->isVisible());
  EXPECT_EQ(spy.keys, QList<int>({Qt::Key_F2}));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
}

TEST_F(SelectionWindowTest, EscClosesAtOnce) {
  writeLines({});
  open();
  KeySpy spy(edit("Servidor"));
  key(Qt::Key_Escape);
  EXPECT_FALSE(window && window->isVisible());
  EXPECT_FALSE(generationOpened());
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_EQ(spy.keys, QList<int>({Qt::Key_Escape}));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
}

TEST_F(SelectionWindowTest, KeysWithAModifierDoNothing) {
  writeLines({});
  open();
  KeySpy spy(edit("Servidor"));
  for (const int k : {int(Qt::Key_F2), int(Qt::Key_Escape)}) {
    for (const auto modifier : {Qt::ShiftModifier, Qt::AltModifier, Qt::ControlModifier}) {
      key(k, modifier);
      EXPECT_FALSE(generationOpened()) << k << " " << modifier;
      EXPECT_TRUE(window && window->isVisible()) << k << " " << modifier;
    }
  }
  // Each key still reached the edit (after the presses of the modifier keys themselves).
  EXPECT_EQ(spy.keys.count(Qt::Key_F2), 3);
  EXPECT_EQ(spy.keys.count(Qt::Key_Escape), 3);
  EXPECT_TRUE(panel5()->isHidden());
}

TEST_F(SelectionWindowTest, ButtonsActWithoutTakingTheFocus) {
  buildStandard();
  writeSettings(complete());
  open();
  const QByteArray attachment = attachmentId();
  // A changed company without leaving the edit: the click makes no new connection.
  type("Cia", "02");
  QTest::mouseClick(child<QToolButton>("SpeedButton3"), Qt::LeftButton);
  ASSERT_EQ(watcher->seen.size(), 1u);
  EXPECT_TRUE(watcher->seen[0].connected);
  EXPECT_FALSE(window && window->isVisible());
  EXPECT_EQ(attachmentId(), attachment);
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(SelectionWindowTest, CancelButtonCloses) {
  writeLines({});
  open();
  focus("Tusua");
  QTest::mouseClick(child<QToolButton>("SpeedButton2"), Qt::LeftButton);
  EXPECT_FALSE(window && window->isVisible());
  EXPECT_FALSE(generationOpened());
}

// Records each text Panel5 is painted with, and how many boxes and generation windows had
// come up by then.
class PaintSpy : public QObject {
 public:
  PaintSpy(QLabel* panel, const test::RecordingNotifier& notifier, const GenerationWatcher& w)
      : panel_(panel), notifier_(notifier), watcher_(w) {
    panel->installEventFilter(this);
  }
  struct Painted {
    QString text;
    size_t boxes;
    size_t generationWindows;
  };
  std::vector<Painted> painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      painted.push_back({panel_->text(), notifier_.shown.size(), watcher_.seen.size()});
    return false;
  }

 private:
  QLabel* panel_;
  const test::RecordingNotifier& notifier_;
  const GenerationWatcher& watcher_;
};

TEST_F(SelectionWindowTest, StatusIsDrawnBeforeEachBlockingStep) {
  Settings s = complete();
  s.servidor = "";  // nothing at start-up
  s.compania = "99";
  writeSettings(s);
  open();
  PaintSpy spy(panel5(), notifier, *watcher);
  // The connection fails; its report comes after the connecting text was on the screen.
  focus("Cia");
  key(Qt::Key_Tab);
  ASSERT_EQ(notifier.shown.size(), 1u);
  ASSERT_FALSE(spy.painted.empty());
  EXPECT_EQ(spy.painted[0].text, "Conectando a la base de datos 99 ...");
  EXPECT_EQ(spy.painted[0].boxes, 0u);

  // F2: the generating text is drawn before the generation window opens.
  spy.painted.clear();
  key(Qt::Key_F2);
  ASSERT_EQ(watcher->seen.size(), 1u);
  ASSERT_FALSE(spy.painted.empty());
  EXPECT_EQ(spy.painted[0].text, "Generando reporte. Espere un momento...");
  EXPECT_EQ(spy.painted[0].generationWindows, 0u);
}

// --- A failed connection ---------------------------------------------------------------------

TEST_F(SelectionWindowTest, FailedConnectionAtStartLeavesTheControlsAsTheyWere) {
  buildStandard();
  Settings s = complete();
  s.clave = "wrong-password";
  writeSettings(s);
  open();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  EXPECT_EQ(notifier.shown[0].title, programTitle());
  EXPECT_TRUE(notifier.shown[0].text.contains("password")) << notifier.shown[0].text.toStdString();
  EXPECT_TRUE(panel5()->isVisible());
  EXPECT_EQ(panel5()->text(), "Conectando a la base de datos 01 ...");
  EXPECT_FALSE(child<QWidget>("EFecIni")->isEnabled());
  EXPECT_FALSE(child<QWidget>("EFecfin")->isEnabled());
  EXPECT_FALSE(child<QWidget>("SpeedButton3")->isEnabled());
  EXPECT_FALSE(branches()->isEnabled());
  EXPECT_EQ(branches()->count(), 0);
  EXPECT_EQ(dm->Halvori.state(), db::ConnectionState::Closed);
}

TEST_F(SelectionWindowTest, FailedReconnectionKeepsTheControlsEnabled) {
  buildStandard();
  writeSettings(complete());
  open();
  type("Cia", "99");
  key(Qt::Key_Tab);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_TRUE(notifier.shown[0].text.contains("/datos/99/halvori.fdb"))
      << notifier.shown[0].text.toStdString();
  EXPECT_EQ(panel5()->text(), "Conectando a la base de datos 99 ...");
  EXPECT_TRUE(panel5()->isVisible());
  EXPECT_EQ(dm->Halvori.state(), db::ConnectionState::Closed);
  EXPECT_TRUE(child<QWidget>("EFecIni")->isEnabled());
  EXPECT_TRUE(child<QWidget>("SpeedButton3")->isEnabled());
  EXPECT_TRUE(branches()->isEnabled());
  EXPECT_EQ(branches()->count(), 4);

  // A later attempt that works hides the panel again.
  type("Cia", "01");
  key(Qt::Key_Tab);
  EXPECT_EQ(notifier.shown.size(), 1u);
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_TRUE(panel5()->isHidden());
}

TEST_F(SelectionWindowTest, FailedConnectionInAutomaticModeDoesNotEndTheProgram) {
  buildStandard();
  Settings s = complete();
  s.compania = "99";
  s.automatico = "1";
  writeSettings(s);
  create();
  window->show();
  EXPECT_FALSE(runEventLoop(1500)) << "the program ended";
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(generationOpened());
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  EXPECT_EQ(panel5()->text(), "Conectando a la base de datos 99 ...");
}

}  // namespace
}  // namespace zavelo
