// The generation window on real company databases (through the Firebird server and embedded),
// driven offscreen with QTest. Each test builds the run context the selection window would
// fill; one follows the whole path from the real selection window, made from a settings file of
// the test's own. The mail server's answers are stood in for by a subclass.
#include "ui/generation_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <memory>

#include "common/clock.h"
#include "common/cp1252.h"
#include "common/error.h"
#include "common/error_report.h"
#include "db/data_module.h"
#include "export/report_kind.h"
#include "fixtures/company_db.h"
#include "settings/registry.h"
#include "support/recording_notifier.h"
#include "support/startup_files.h"
#include "support/temp_dir.h"
#include "support/window_test_base.h"
#include "ui/selection_window.h"

namespace zavelo {
namespace {

using exporting::Kind;
using test::CompanyDb;
using test::FbMode;
using test::readFile;
using test::Shown;

const QDate kDay(2025, 8, 11);
const QByteArray kInitialCaption = "Generando archivos. Espere un momento...";

QByteArray caption(Kind kind, const QByteArray& dateText) {
  return (kind == Kind::Inventory ? "Generando archivo Inventario " : "Generando archivo Ventas") +
         dateText + ". espere un momento...";
}

// The fixture procedures' sample rows for a date text and brand, as the file must hold them.
QByteArray sampleInventory(const QByteArray& d, const QByteArray& brand) {
  return "INV|" + d + "|" + brand + "\r\nSKU001|" + d + "|12\r\n\r\nCaf\xE9 molido|" + d +
         "\r\nO'Brien|" + d + "\r\n" + ("LARGA|" + d + "|").leftJustified(255, '#') + "\r\n";
}
QByteArray sampleSales(const QByteArray& d, const QByteArray& brand) {
  return "VEN|" + d + "|" + brand + "\r\nFAC0001|" + d + "|3\r\n\r\nCaf\xE9 en grano|" + d +
         "\r\nO'Higgins|" + d + "\r\n" + ("LARGA|" + d + "|").leftJustified(255, '$') + "\r\n";
}

QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name);
}

// The generation window with the mailing stood in for: every call is recorded, and each
// enviarcorreo answers with the next scripted outcome (not attempted once the script is done).
class ScriptedWindow : public Tfcierre {
 public:
  using Tfcierre::Tfcierre;

  struct Mail {
    Kind kind;
    QDate day;
    QString path;
    QString panelCaption;  // Panel5 while the mail is made
    bool panelVisible;
    QByteArray fileBytes;  // the file as the mailing finds it
  };
  std::vector<QString> calls;  // "prepararcorreo", "enviarcorreo inventarios", ...
  std::vector<Mail> mails;
  std::deque<MailOutcome> outcomes;
  std::function<void()> onPrepare;

 protected:
  void prepararcorreo() override {
    calls.push_back("prepararcorreo");
    if (onPrepare) onPrepare();
  }
  MailResult enviarcorreo(Kind kind, QDate day, const QString& path) override {
    calls.push_back(kind == Kind::Inventory ? "enviarcorreo inventarios" : "enviarcorreo ventas");
    auto* panel = findChild<QLabel*>("Panel5");
    QFile file(path);
    mails.push_back({kind, day, path, panel->text(), panel->isVisibleTo(this),
                     file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>")});
    if (outcomes.empty()) return {};
    const MailOutcome outcome = outcomes.front();
    outcomes.pop_front();
    return {.outcome = outcome};
  }
};

struct Settings {
  QByteArray marca = "07";
  bool automatic = false;
};

class GenerationWindowTest : public ::testing::TestWithParam<FbMode>, public test::WindowTestBase {
 protected:
  GenerationWindowTest() : WindowTestBase(kDay, true) {}
  void TearDown() override {
    window.reset();
    delete selection.data();
  }

  FbMode mode() const { return GetParam(); }

  // The company database; extraSql runs after the standard contract. Its mail configuration
  // is complete, and its users table gives the test login no mail account, so the real
  // window's mailing attempts no mail.
  void makeCompany(const QByteArray& extraSql = {}) {
    company = std::make_unique<CompanyDb>(temp.filePath("erp"));
    company->generalConfig("PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO", "25")
        .generalConfig("USAR SSL PARA ENVIO DE CORREO ELECTRONICO", "NO");
    if (!extraSql.isEmpty()) company->sql(extraSql);
    const QString error = company->build();
    ASSERT_EQ(error, "") << error.toStdString();
  }

  // The run context of one day, as the selection window would fill it from the settings'
  // lines, and the generation window over it.
  void makeWindows(const Settings& s = {}) {
    context = {.firstDay = kDay,
               .lastDay = kDay,
               .brandCode = s.marca,
               .userCode = test::fbTestLogin().user,
               .directorio = toCp1252(out),
               .destinatarios = "dest@example.com",
               .automaticMode = s.automatic};
    window = std::make_unique<ScriptedWindow>(context, *dm, notifier);
  }

  // The real selection window, created from a settings file as at start-up (not shown, so it
  // has made no connection).
  void makeSelectionWindow() {
    const QByteArray servidor = company ? company->servidor(mode()) : QByteArray("noserver");
    const settings::RegistryLocation where =
        writeStartup(settingsLines(servidor, "07", "dest@example.com", ""));
    selection = new Tfdorvanefamilia(*dm, notifier, where);
    selection->setGenerationOpener([this](exporting::RunContext& context, QWidget& owner) {
      runGenerationWindow(context, *dm, notifier, owner);
    });
    ASSERT_EQ(notifier.shown, std::vector<Shown>{});
  }

  // What the selection window's connect step does.
  void connect() {
    const test::FbLogin login = test::fbTestLogin();
    dm->conectarbase(company->servidor(mode()), company->company(), login.user, login.password);
  }

  // The days of the run: in the context, and in the selection window's edits when there is one.
  void setDates(QDate first, QDate last) {
    context.firstDay = first;
    context.lastDay = last;
    if (!selection) return;
    selection->findChild<QDateEdit*>("EFecIni")->setDate(first);
    selection->findChild<QDateEdit*>("EFecfin")->setDate(last);
  }
  void setBrand(const QByteArray& brand) { context.brandCode = brand; }

  QLabel* panel() const { return window->findChild<QLabel*>("Panel5"); }
  QPlainTextEdit* memo() const { return window->findChild<QPlainTextEdit*>("StatusMemo"); }
  void clickRun() {
    QTest::mouseClick(window->findChild<QToolButton*>("SpeedButton1"), Qt::LeftButton);
  }
  QString outFile(const QString& name) const { return out + "/" + name; }

  // One day's setup in one go: company, windows, connection.
  void standard(const Settings& s = {}) {
    makeCompany();
    makeWindows(s);
    connect();
  }

  std::unique_ptr<CompanyDb> company;
  exporting::RunContext context;
  QPointer<Tfdorvanefamilia> selection;
  std::unique_ptr<ScriptedWindow> window;
};

TEST_P(GenerationWindowTest, OneDayWritesTwoFilesWithTheExactBytes) {
  ASSERT_NO_FATAL_FAILURE(standard());
  clickRun();
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(entries(out), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), sampleInventory("2025/08/11", "07"));
  EXPECT_EQ(readFile(outFile("ventas11082025.txt")), sampleSales("2025/08/11", "07"));

  // Inventory file, the day's mail setup, its mail, then the sales file and its mail; each
  // mail finds its file complete, with Panel5 showing the kind's caption.
  EXPECT_EQ(window->calls, (std::vector<QString>{"prepararcorreo", "enviarcorreo inventarios",
                                                 "enviarcorreo ventas"}));
  ASSERT_EQ(window->mails.size(), 2u);
  EXPECT_EQ(window->mails[0].path, outFile("inventarios11082025.txt"));
  EXPECT_EQ(window->mails[0].day, kDay);
  EXPECT_EQ(window->mails[0].panelCaption, caption(Kind::Inventory, "2025/08/11"));
  EXPECT_TRUE(window->mails[0].panelVisible);
  EXPECT_EQ(window->mails[0].fileBytes, sampleInventory("2025/08/11", "07"));
  EXPECT_EQ(window->mails[1].path, outFile("ventas11082025.txt"));
  EXPECT_EQ(window->mails[1].panelCaption, caption(Kind::Sales, "2025/08/11"));
  EXPECT_EQ(window->mails[1].fileBytes, sampleSales("2025/08/11", "07"));

  // After the pass Panel5 is hidden with its last caption; no mail went out, so the window
  // stays open and the status list is as it was.
  EXPECT_FALSE(panel()->isVisibleTo(window.get()));
  EXPECT_EQ(panel()->text(), caption(Kind::Sales, "2025/08/11"));
  EXPECT_EQ(memo()->toPlainText(), "Status...\n");
  EXPECT_EQ(window->result(), QDialog::Rejected);
}

TEST_P(GenerationWindowTest, ThreeDaysInDayOrderInventoryBeforeSales) {
  ASSERT_NO_FATAL_FAILURE(standard());
  setDates(QDate(2025, 12, 30), QDate(2026, 1, 1));
  clickRun();
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(entries(out), (QStringList{"inventarios01012026.txt", "inventarios30122025.txt",
                                       "inventarios31122025.txt", "ventas01012026.txt",
                                       "ventas30122025.txt", "ventas31122025.txt"}));
  std::vector<QString> expectedCalls;
  for (int i = 0; i < 3; ++i)
    expectedCalls.insert(expectedCalls.end(),
                         {"prepararcorreo", "enviarcorreo inventarios", "enviarcorreo ventas"});
  EXPECT_EQ(window->calls, expectedCalls);
  const QStringList paths{"inventarios30122025.txt", "ventas30122025.txt",
                          "inventarios31122025.txt", "ventas31122025.txt",
                          "inventarios01012026.txt", "ventas01012026.txt"};
  ASSERT_EQ(window->mails.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(window->mails[i].path, outFile(paths[i]));
    EXPECT_EQ(window->mails[i].day, QDate(2025, 12, 30).addDays(i / 2));
  }
  EXPECT_EQ(readFile(outFile("ventas01012026.txt")), sampleSales("2026/01/01", "07"));
  EXPECT_EQ(readFile(outFile("inventarios31122025.txt")), sampleInventory("2025/12/31", "07"));
}

// The whole path: dates set in the selection window, F2 there opens this window modally, F2
// here runs the export, Esc closes it, and the selection window then closes too.
TEST_P(GenerationWindowTest, ThreeDaysFromTheSelectionWindowWithF2ThereAndHere) {
  makeCompany();
  ASSERT_NO_FATAL_FAILURE(makeSelectionWindow());  // it makes its own generation window
  selection->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(selection.data(), 5000));
  // Its first activation connects with the settings' origin.
  ASSERT_TRUE(QTest::qWaitFor([&] { return dm->Halvori.isOpen(); }, 10000));
  setDates(QDate(2025, 12, 30), QDate(2026, 1, 1));

  QStringList written;
  bool seen = false;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* generation = qobject_cast<Tfcierre*>(QApplication::activeModalWidget());
    if (!generation || !generation->isVisible()) return;
    poll.stop();
    seen = true;
    QWidget* focused = generation->focusWidget() ? generation->focusWidget() : generation;
    QTest::keyClick(focused, Qt::Key_F2);
    written = entries(out);
    QTest::keyClick(focused, Qt::Key_Escape);
  });
  poll.start();
  // Never wait for ever: whatever modal display is left open is closed after 60 s.
  QTimer::singleShot(60000, selection.data(), [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  QTest::keyClick(selection->focusWidget() ? selection->focusWidget() : selection.data(),
                  Qt::Key_F2);
  EXPECT_TRUE(seen);
  EXPECT_EQ(written, (QStringList{"inventarios01012026.txt", "inventarios30122025.txt",
                                  "inventarios31122025.txt", "ventas01012026.txt",
                                  "ventas30122025.txt", "ventas31122025.txt"}));
  EXPECT_EQ(readFile(outFile("inventarios30122025.txt")), sampleInventory("2025/12/30", "07"));
  EXPECT_EQ(readFile(outFile("ventas01012026.txt")), sampleSales("2026/01/01", "07"));
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  // Closing the generation window closed the selection window.
  EXPECT_TRUE(QTest::qWaitFor([&] { return selection.isNull(); }, 5000));
}

TEST_P(GenerationWindowTest, EndDateIsReadAgainBeforeEveryPass) {
  ASSERT_NO_FATAL_FAILURE(standard());
  setDates(kDay, kDay.addDays(5));
  // The last day moves back while the first day is being exported: one pass only.
  window->onPrepare = [&] { setDates(kDay, kDay); };
  clickRun();
  EXPECT_EQ(entries(out), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
}

TEST_P(GenerationWindowTest, StartAfterEndDoesNothingAndKeepsTheCaption) {
  ASSERT_NO_FATAL_FAILURE(standard());
  setDates(kDay.addDays(1), kDay);
  window->show();
  clickRun();
  EXPECT_EQ(entries(out), QStringList{});
  EXPECT_EQ(window->calls, std::vector<QString>{});
  EXPECT_TRUE(panel()->isVisible());
  EXPECT_EQ(panel()->text(), kInitialCaption);
  EXPECT_TRUE(window->isVisible());

  // A later run starts with the last caption of the run before.
  setDates(kDay, kDay);
  clickRun();
  EXPECT_FALSE(panel()->isVisible());
  setDates(kDay.addDays(1), kDay);
  clickRun();
  EXPECT_TRUE(panel()->isVisible());
  EXPECT_EQ(panel()->text(), caption(Kind::Sales, "2025/08/11"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
}

TEST_P(GenerationWindowTest, BrandCodesReachTheProceduresUnchanged) {
  ASSERT_NO_FATAL_FAILURE(standard());
  struct Case {
    QByteArray brand;
    QByteArray inventory;
    QByteArray sales;
  } cases[] = {
      // The quote is doubled in the statement and reaches the procedure as one quote.
      {"O'X", sampleInventory("2025/08/11", "O'X"), sampleSales("2025/08/11", "O'X")},
      {"''", sampleInventory("2025/08/11", "''"), sampleSales("2025/08/11", "''")},
      {" 7 ", sampleInventory("2025/08/11", " 7 "), sampleSales("2025/08/11", " 7 ")},
      {"\xE9", sampleInventory("2025/08/11", "\xE9"), sampleSales("2025/08/11", "\xE9")},
      // No rows: files of zero bytes, still handed to the mailing.
      {"VACIA", "", ""},
      {"N:3",
       "INV|2025/08/11|SKU0000001|BODEGA CENTRAL|37|13.50\r\n"
       "INV|2025/08/11|SKU0000002|BODEGA CENTRAL|74|26.50\r\n"
       "INV|2025/08/11|SKU0000003|BODEGA CENTRAL|111|39.50\r\n",
       "VEN|2025/08/11|FAC0000001|SKU0000001|7|29.25\r\n"
       "VEN|2025/08/11|FAC0000002|SKU0000002|14|58.25\r\n"
       "VEN|2025/08/11|FAC0000003|SKU0000003|21|87.25\r\n"},
  };
  for (const auto& c : cases) {
    setBrand(c.brand);
    window->mails.clear();
    clickRun();
    EXPECT_EQ(notifier.shown, std::vector<Shown>{}) << c.brand.data();
    EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), c.inventory) << c.brand.data();
    EXPECT_EQ(readFile(outFile("ventas11082025.txt")), c.sales) << c.brand.data();
    EXPECT_EQ(window->mails.size(), 2u) << c.brand.data();
  }
}

TEST_P(GenerationWindowTest, SameRangeTwiceReplacesTheFiles) {
  ASSERT_NO_FATAL_FAILURE(standard());
  clickRun();
  ASSERT_EQ(readFile(outFile("ventas11082025.txt")), sampleSales("2025/08/11", "07"));
  setBrand("VACIA");
  clickRun();
  EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), "");
  EXPECT_EQ(readFile(outFile("ventas11082025.txt")), "");
  setBrand("N:1");
  clickRun();
  EXPECT_EQ(readFile(outFile("ventas11082025.txt")),
            "VEN|2025/08/11|FAC0000001|SKU0000001|7|29.25\r\n");
  EXPECT_EQ(entries(out), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
}

// Files that cannot be written: an error line each, newest on top; the file is not mailed,
// an earlier file stays as it was, the run goes on with the next kind and day, and the
// program does not end even though the other mails went out before.
TEST_P(GenerationWindowTest, UnwritableOutputFolder) {
  makeCompany();
  temp.write("afile", "a regular file");
  struct Case {
    const char* what;
    QString folder;
  } cases[] = {
      {"folder missing", temp.filePath("missing")},
      // The tests run as root, who may write anywhere: a folder below a regular file stands in
      // for one without write permission (the writer's own tests also try an unprivileged
      // user).
      {"parent is a regular file", temp.filePath("afile/sub")},
  };
  for (const auto& c : cases) {
    out = c.folder;
    ASSERT_NO_FATAL_FAILURE(makeWindows());
    connect();
    setDates(kDay, kDay.addDays(1));
    window->show();
    window->outcomes = {MailOutcome::Sent, MailOutcome::Sent, MailOutcome::Sent};
    clickRun();
    EXPECT_EQ(notifier.shown, std::vector<Shown>{}) << c.what;
    EXPECT_EQ(window->calls, (std::vector<QString>{"prepararcorreo", "prepararcorreo"})) << c.what;
    const QStringList lines = memo()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 6) << c.what << memo()->toPlainText().toStdString();
    const QStringList names{"ventas12082025.txt", "inventarios12082025.txt", "ventas11082025.txt",
                            "inventarios11082025.txt"};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(lines[i].startsWith("ERROR: ")) << lines[i].toStdString();
      EXPECT_TRUE(lines[i].contains(c.folder + "/" + names[i])) << lines[i].toStdString();
    }
    EXPECT_EQ(lines.mid(4), (QStringList{"Status...", ""}));
    EXPECT_TRUE(window->isVisible()) << c.what;
    EXPECT_FALSE(QFileInfo::exists(c.folder)) << c.what;
    window.reset();
  }
  EXPECT_EQ(readFile(temp.filePath("afile")), "a regular file");
}

TEST_P(GenerationWindowTest, FailedFileBetweenMailsDecidesTheResultFlag) {
  // The sales file of the last day cannot be written (its name is taken by a folder): its mail
  // is not attempted and the flag is no, although every attempted mail went out.
  ASSERT_NO_FATAL_FAILURE(standard());
  ASSERT_TRUE(QDir().mkpath(outFile("ventas11082025.txt")));
  window->show();
  window->outcomes = {MailOutcome::Sent};
  clickRun();
  EXPECT_EQ(window->calls, (std::vector<QString>{"prepararcorreo", "enviarcorreo inventarios"}));
  EXPECT_TRUE(memo()->toPlainText().startsWith("ERROR: "));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), sampleInventory("2025/08/11", "07"));
}

TEST_P(GenerationWindowTest, DayFirstDateFormGivesNamesWithSeparators) {
  ASSERT_NO_FATAL_FAILURE(standard());
  Clock::setLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));  // 11/08/2025
  // Even when the folders that such a name points into exist, nothing is written there.
  ASSERT_TRUE(QDir().mkpath(outFile("inventarios25/211")));
  clickRun();
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  const QStringList lines = memo()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 4) << memo()->toPlainText().toStdString();
  EXPECT_TRUE(lines[0].contains("ventas25/211/0.txt")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains("inventarios25/211/0.txt")) << lines[1].toStdString();
  EXPECT_EQ(entries(outFile("inventarios25/211")), QStringList{});
  EXPECT_EQ(window->calls, std::vector<QString>{"prepararcorreo"});
}

#ifdef __linux__
TEST_P(GenerationWindowTest, DiskFullLeavesNoHalfFile) {
  makeCompany();
  out = temp.filePath("small");
  QDir().mkpath(out);
  QProcess mount;
  mount.start("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", out});
  if (!mount.waitForFinished(10000) || mount.exitCode() != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs: " << mount.readAllStandardError().toStdString()
                 << mount.errorString().toStdString();
  }
  const auto unmount = qScopeGuard([&] {
    QProcess umount;
    umount.start("umount", {out});
    if (!umount.waitForFinished(10000)) umount.kill();
  });
  temp.write("small/inventarios11082025.txt", "earlier\r\n");
  ASSERT_NO_FATAL_FAILURE(makeWindows({.marca = "N:5000"}));  // some 300 KB per file
  connect();
  clickRun();
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  const QStringList lines = memo()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 4) << memo()->toPlainText().toStdString();
  EXPECT_TRUE(lines[0].startsWith("ERROR: ") && lines[0].contains("ventas11082025.txt"));
  EXPECT_TRUE(lines[1].startsWith("ERROR: ") && lines[1].contains("inventarios11082025.txt"));
  EXPECT_EQ(readFile(out + "/inventarios11082025.txt"), "earlier\r\n");
  EXPECT_EQ(entries(out), QStringList{"inventarios11082025.txt"});
  EXPECT_EQ(window->calls, std::vector<QString>{"prepararcorreo"});
}
#endif

TEST_P(GenerationWindowTest, DatabaseErrorOnTheSecondDayEndsTheRun) {
  // The inventory procedure fails for 12 August only.
  ASSERT_NO_FATAL_FAILURE(
      makeCompany("SET TERM ^ ;\n"
                  "ALTER PROCEDURE ZAVELO_INVENTARIO (fecha VARCHAR(20), marca VARCHAR(20))\n"
                  "RETURNS (CADENA VARCHAR(255)) AS\n"
                  "BEGIN\n"
                  "  IF (fecha = '2025/08/12') THEN EXCEPTION ZAVELO_FALLA;\n"
                  "  CADENA = 'INV|' || fecha || '|' || marca; SUSPEND;\n"
                  "END^\n"
                  "SET TERM ; ^\n"));
  ASSERT_NO_FATAL_FAILURE(makeWindows());
  connect();
  temp.write("salida/inventarios12082025.txt", "earlier\r\n");
  setDates(kDay, kDay.addDays(2));
  window->show();
  window->outcomes = {MailOutcome::Sent, MailOutcome::Sent};
  clickRun();

  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  EXPECT_TRUE(notifier.shown[0].text.contains("Marca con falla de prueba"))
      << notifier.shown[0].text.toStdString();
  EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), "INV|2025/08/11|07\r\n");
  EXPECT_EQ(readFile(outFile("ventas11082025.txt")), sampleSales("2025/08/11", "07"));
  EXPECT_EQ(readFile(outFile("inventarios12082025.txt")), "earlier\r\n");
  EXPECT_EQ(entries(out), (QStringList{"inventarios11082025.txt", "inventarios12082025.txt",
                                       "ventas11082025.txt"}));
  EXPECT_EQ(window->calls.size(), 3u);
  // The window stays open with the caption of the failing step; both mails went out before,
  // yet the program does not end.
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(panel()->isVisible());
  EXPECT_EQ(panel()->text(), caption(Kind::Inventory, "2025/08/12"));
  EXPECT_EQ(memo()->toPlainText(), "Status...\n");
}

TEST_P(GenerationWindowTest, MissingColumnIsADatabaseErrorBeforeTheFile) {
  ASSERT_NO_FATAL_FAILURE(
      makeCompany("SET TERM ^ ;\n"
                  "ALTER PROCEDURE ZAVELO_VENTAS (fecha VARCHAR(20), marca VARCHAR(20))\n"
                  "RETURNS (OTRA VARCHAR(255)) AS\n"
                  "BEGIN\n"
                  "  OTRA = 'x'; SUSPEND;\n"
                  "END^\n"
                  "SET TERM ; ^\n"));
  ASSERT_NO_FATAL_FAILURE(makeWindows());
  connect();
  temp.write("salida/ventas11082025.txt", "earlier\r\n");
  clickRun();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  EXPECT_EQ(readFile(outFile("ventas11082025.txt")), "earlier\r\n");
  EXPECT_EQ(window->calls, (std::vector<QString>{"prepararcorreo", "enviarcorreo inventarios"}));
}

TEST_P(GenerationWindowTest, BeforeAnyConnectionTheFirstResultSetConnects) {
  // With the connection's creation parameters the attachment fails: the report shows the
  // client's error and nothing is written.
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(makeWindows());
  ASSERT_FALSE(dm->Halvori.isOpen());
  clickRun();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
  // The same error as opening the connection with those parameters gives.
  db::Tfdm fresh(notifier);
  QString direct;
  try {
    fresh.Halvori.open();
  } catch (const Error& e) {
    direct = e.message();
  }
  ASSERT_FALSE(direct.isEmpty());
  EXPECT_EQ(notifier.shown[0].text, errorReportText(direct));
  EXPECT_EQ(entries(out), QStringList{});
  EXPECT_EQ(window->calls, std::vector<QString>{});
  EXPECT_FALSE(dm->Halvori.isOpen());

  // With parameters that reach the database, the first result set opens the connection.
  const test::FbLogin login = test::fbTestLogin();
  dm->Halvori.params().setValue("Database", company->databaseString(mode()));
  dm->Halvori.params().setValue("User_Name", login.user);
  dm->Halvori.params().setValue("Password", login.password);
  clickRun();
  EXPECT_EQ(notifier.shown.size(), 1u);
  EXPECT_TRUE(dm->Halvori.isOpen());
  EXPECT_EQ(readFile(outFile("inventarios11082025.txt")), sampleInventory("2025/08/11", "07"));
}

// The keys act whatever the modifiers, before the focused control, which still gets them.
TEST_P(GenerationWindowTest, KeysStartTheRunAndStillReachTheMemo) {
  ASSERT_NO_FATAL_FAILURE(standard());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
  ASSERT_EQ(QApplication::focusWidget(), memo());
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool runs;
  } cases[] = {
      {Qt::Key_F2, Qt::NoModifier, true},
      {Qt::Key_F2, Qt::ControlModifier, true},
      {Qt::Key_F2, Qt::ShiftModifier | Qt::AltModifier, true},
      {Qt::Key_Return, Qt::NoModifier, true},
      {Qt::Key_Return, Qt::ShiftModifier, true},
      {Qt::Key_Enter, Qt::KeypadModifier, true},
      {Qt::Key_F3, Qt::NoModifier, false},
      {Qt::Key_A, Qt::ControlModifier, false},
  };
  for (const auto& c : cases) {
    window->mails.clear();
    QFile::remove(outFile("inventarios11082025.txt"));
    QTest::keyClick(memo(), c.key, c.modifiers);
    EXPECT_EQ(window->mails.size(), c.runs ? 2u : 0u) << c.key << " " << int(c.modifiers);
    EXPECT_EQ(QFileInfo::exists(outFile("inventarios11082025.txt")), c.runs) << c.key;
    EXPECT_TRUE(window->isVisible());
  }
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
}

TEST_P(GenerationWindowTest, EnterInTheMemoRunsAndAddsALineBreak) {
  ASSERT_NO_FATAL_FAILURE(standard());
  window->show();
  memo()->setFocus();
  QTextCursor caret = memo()->textCursor();
  caret.setPosition(3);  // "Sta|tus..."
  memo()->setTextCursor(caret);
  QTest::keyClick(memo(), Qt::Key_Return);
  EXPECT_EQ(window->mails.size(), 2u);
  EXPECT_EQ(memo()->toPlainText(), "Sta\ntus...\n");
  QTest::keyClick(memo(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(window->mails.size(), 4u);
  EXPECT_EQ(memo()->toPlainText().count('\n'), 3);
}

TEST_P(GenerationWindowTest, EscapeClosesWhateverTheModifiers) {
  ASSERT_NO_FATAL_FAILURE(standard());
  for (const Qt::KeyboardModifiers modifiers :
       {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
    window->show();
    ASSERT_TRUE(window->isVisible());
    QTest::keyClick(memo(), Qt::Key_Escape, modifiers);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
  }
  // The button does the same.
  window->show();
  QTest::mouseClick(window->findChild<QToolButton*>("SBSalir"), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->mails.size(), 0u);
  EXPECT_EQ(entries(out), QStringList{});
}

// A run whose last mail went out ends the modal display and asks the program to end; a run
// whose last attempt failed, or that attempted none, leaves the window open.
TEST_P(GenerationWindowTest, ResultFlagFollowsTheLastAttemptedMail) {
  ASSERT_NO_FATAL_FAILURE(standard());
  using O = MailOutcome;
  struct Case {
    const char* what;
    std::deque<MailOutcome> outcomes;
    bool ends;
  } cases[] = {
      {"both sent", {O::Sent, O::Sent}, true},
      {"none attempted", {O::NotAttempted, O::NotAttempted}, false},
      {"last failed", {O::Sent, O::Failed}, false},
      {"sent after a failure", {O::Failed, O::Sent}, true},
      {"last not attempted after a sent one", {O::Sent, O::NotAttempted}, true},
      {"not attempted after a failure", {O::Failed, O::NotAttempted}, false},
  };
  for (const auto& c : cases) {
    window->setResult(QDialog::Rejected);
    window->outcomes = c.outcomes;
    bool ended = false;
    // The modal display, as the selection window runs it; the run started from inside it.
    QTimer::singleShot(0, window.get(), [&] {
      clickRun();
      ended = !window->isVisible();
      if (!ended) window->reject();  // ends a display that the run left open
    });
    window->exec();
    EXPECT_EQ(ended, c.ends) << c.what;
    EXPECT_EQ(window->result(), c.ends ? QDialog::Accepted : QDialog::Rejected) << c.what;
  }
}

// The automatic run starts with the activation that follows the showing, and only then.
TEST_P(GenerationWindowTest, AutomaticModeRunsAtTheActivationOnShowing) {
  struct Case {
    bool automatic;
    bool runs;
  } cases[] = {{true, true}, {false, false}};
  makeCompany();
  for (const auto& c : cases) {
    ASSERT_NO_FATAL_FAILURE(makeWindows({.automatic = c.automatic}));
    connect();
    setDates(Clock::today(), Clock::today());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
    // The run starts queued right after the activation.
    if (c.runs) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return window->mails.size() >= 2; }, 10000));
    }
    QTest::qWait(100);
    EXPECT_EQ(window->mails.size(), c.runs ? 2u : 0u) << c.automatic;
    EXPECT_EQ(QFileInfo::exists(outFile("ventas11082025.txt")), c.runs) << c.automatic;

    // The window gets the focus back later: no second run.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 5000));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
    QTest::qWait(100);
    EXPECT_EQ(window->mails.size(), c.runs ? 2u : 0u) << c.automatic;
    EXPECT_EQ(notifier.shown, std::vector<Shown>{});
    window.reset();
    QFile::remove(outFile("inventarios11082025.txt"));
    QFile::remove(outFile("ventas11082025.txt"));
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, GenerationWindowTest,
                         ::testing::Values(FbMode::Server, FbMode::Embedded), [](const auto& info) {
                           return std::string(test::fbModeName(info.param));
                         });

// The form itself, without a database, over an empty run context.
class GenerationFormTest : public ::testing::Test, public test::WindowTestBase {
 protected:
  GenerationFormTest() : WindowTestBase(kDay, true) {}
  void TearDown() override { window.reset(); }
  // The window the generation window is modal over.
  QWidget owner;
  exporting::RunContext context;
  std::unique_ptr<Tfcierre> window;
};

TEST_F(GenerationFormTest, TitleSizeControlsAndTexts) {
  window = std::make_unique<Tfcierre>(context, *dm, notifier, &owner);
  EXPECT_EQ(window->windowTitle(), "Generar archivos");
  EXPECT_EQ(window->parentWidget(), &owner);
  EXPECT_TRUE(
      window->windowFlags().testFlags(Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint));
  EXPECT_EQ(window->font().family(), "MS Sans Serif");
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
  EXPECT_EQ(window->frameGeometry().size(), QSize(380, 280));

  auto* label = window->findChild<QLabel*>("Label1");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Prepare la unidad y presione F2 para generar los archivos");
  // At its place, at least its size, and wide enough for its text in whatever font stands in.
  EXPECT_EQ(label->pos(), QPoint(41, 20));
  EXPECT_GE(label->width(), 271);
  EXPECT_GE(label->height(), 13);
  EXPECT_GE(label->width(), label->sizeHint().width());

  struct ButtonCase {
    const char* name;
    const char* text;
    QRect geometry;
  } buttons[] = {{"SpeedButton1", "F2: Imprimir", {69, 49, 65, 50}},
                 {"SBSalir", "ESC: Salir", {213, 49, 65, 50}}};
  for (const auto& b : buttons) {
    auto* button = window->findChild<QToolButton*>(b.name);
    ASSERT_NE(button, nullptr) << b.name;
    EXPECT_EQ(button->text(), b.text);
    EXPECT_EQ(button->geometry(), b.geometry) << b.name;
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << b.name;
    EXPECT_EQ(button->font().family(), "Arial Narrow") << b.name;
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << b.name;
    // The picture is there, at 46 x 32, with a transparent ground.
    const QImage picture = button->icon().pixmap(QSize(46, 32)).toImage();
    EXPECT_EQ(picture.size(), QSize(46, 32)) << b.name;
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << b.name;
    int drawn = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) drawn += qAlpha(picture.pixel(x, y)) > 0;
    EXPECT_GT(drawn, 46 * 32 / 4) << b.name;
  }
  // The door picture has its red arrow.
  const QImage door =
      window->findChild<QToolButton*>("SBSalir")->icon().pixmap(QSize(46, 32)).toImage();
  EXPECT_EQ(door.pixelColor(40, 16).red() > 200 && door.pixelColor(40, 16).green() < 80, true);

  auto* panel = window->findChild<QLabel*>("Panel5");
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(panel->text(), kInitialCaption);
  EXPECT_EQ(panel->geometry(), QRect(19, 33, 302, 41));
  EXPECT_EQ(panel->alignment(), Qt::AlignCenter);
  EXPECT_EQ(panel->font().pointSize(), 10);
  EXPECT_EQ(panel->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  // A run's caption is longer than the panel is wide at that size: it wraps onto the panel's
  // two lines, whole, in the panel's place and size.
  EXPECT_TRUE(panel->wordWrap());
  const QString longest =
      QStringLiteral("Generando archivo Inventario 2026/12/10. espere un momento...");
  const QRect needed = panel->fontMetrics().boundingRect(
      panel->contentsRect(), Qt::AlignCenter | Qt::TextWordWrap, longest);
  EXPECT_TRUE(panel->contentsRect().contains(needed))
      << needed.width() << "x" << needed.height() << " in " << panel->contentsRect().width() << "x"
      << panel->contentsRect().height();

  auto* memo = window->findChild<QPlainTextEdit*>("StatusMemo");
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->geometry(), QRect(0, 104, 321, 130));
  EXPECT_EQ(memo->toPlainText(), "Status...\n");
  EXPECT_EQ(memo->document()->blockCount(), 2);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(memo->isReadOnly());
  EXPECT_EQ(window->focusWidget(), memo);
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
}

TEST_F(GenerationFormTest, CreationDefaultsAnEmptyBranchToZero) {
  ASSERT_EQ(context.agencia, "");
  window = std::make_unique<Tfcierre>(context, *dm, notifier, &owner);
  EXPECT_EQ(context.agencia, "0");
  window.reset();
  context.agencia = "5";
  window = std::make_unique<Tfcierre>(context, *dm, notifier, &owner);
  EXPECT_EQ(context.agencia, "5");
}

TEST_F(GenerationFormTest, ErrorLinesGoOnTopNewestFirst) {
  window = std::make_unique<Tfcierre>(context, *dm, notifier, &owner);
  auto* memo = window->findChild<QPlainTextEdit*>("StatusMemo");
  window->addErrorLine("first");
  window->addErrorLine("two\r\nlines");
  window->addErrorLine("ends in a break\n");
  window->addErrorLine("lone\rCR");
  EXPECT_EQ(memo->toPlainText(),
            "ERROR: lone\nCR\n"
            "ERROR: ends in a break\n\n"
            "ERROR: two\nlines\n"
            "ERROR: first\n"
            "Status...\n");
}

}  // namespace
}  // namespace zavelo
