// The report mailing as the generation window's run does it: real company databases (the
// Firebird server, and embedded for the whole path), the real SMTP server on loopback, every
// received mail read back with Python's own MIME parser. The mailer's own cases (the port
// text's forms, the account's exact values, TLS switch values one by one) are tested with the
// mailer; here it is the run as a whole: which mails go out in which order, what StatusMemo
// lists, whether the program ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "common/clock.h"
#include "common/cp1252.h"
#include "common/error_report.h"
#include "db/data_module.h"
#include "export/report_kind.h"
#include "fixtures/company_db.h"
#include "mail/mail_texts.h"
#include "mail/received_mail.h"
#include "mail/smtp/smtp_timeouts.h"
#include "settings/registry.h"
#include "support/recording_notifier.h"
#include "support/startup_files.h"
#include "support/temp_dir.h"
#include "support/window_test_base.h"
#include "ui/generation_window.h"
#include "ui/selection_window.h"

namespace zavelo {
namespace {

using test::CompanyDb;
using test::FbMode;
using test::RealSmtpServer;
using test::ReceivedMail;
using test::Shown;

const QDate kDay(2025, 8, 11);
constexpr char kSender[] = "reportes@acme.example";
constexpr char kMailUser[] = "reportes";
constexpr char kMailPass[] = "clave-1";
constexpr char kCompany[] = "Distribuidora Caf\xE9 S.A.";
const QByteArray kRecipients = "ana@cliente.example; luis@cliente.example";
const QStringList kTo{"ana@cliente.example", "luis@cliente.example"};

// The quit requests that a scenario makes; there must be none. The program ends through the
// generation window's modal display and the selection window's closing alone: a quit request
// first asks the platform to close every window again, which a Windows start without a
// desktop never came back from. QCoreApplication::quit() does nothing unless the
// application's own event loop runs, so the scenario runs inside QApplication::exec(); a
// request would come to the application as a Quit event, which this filter counts and
// swallows, so that neither the test's windows nor its event loops are ended by it. Closing
// the last window would make such a request too; that is turned off while the scenario runs,
// as the program turns it off.
class QuitRequests : public QObject {
 public:
  // Runs the scenario inside the application's event loop; bounded at 120 s.
  void run(const std::function<void()>& scenario) {
    qApp->installEventFilter(this);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    bool done = false;
    QTimer::singleShot(0, qApp, [&] {
      scenario();
      // A request posted at the scenario's end is delivered before the loop ends.
      QCoreApplication::sendPostedEvents();
      done = true;
      QCoreApplication::exit(0);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(120000);
    const int code = QApplication::exec();
    qApp->removeEventFilter(this);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    EXPECT_TRUE(done && code == 0) << "the scenario did not end within 120 s";
  }
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != qApp || event->type() != QEvent::Quit) return false;
    ++count;
    return true;
  }
};

// The real generation window; a test may act between the run's mails (stop the server, turn
// the port) through beforeMail, which gets the mail's number from 0. The mailing itself is
// the window's own.
class Window : public Tfcierre {
 public:
  using Tfcierre::Tfcierre;
  std::function<void(int)> beforeMail;
  int mails = 0;

 protected:
  MailResult enviarcorreo(exporting::Kind kind, QDate day, const QString& path) override {
    if (beforeMail) beforeMail(mails);
    ++mails;
    return Tfcierre::enviarcorreo(kind, day, path);
  }
};

struct Company {
  std::optional<QByteArray> port = std::nullopt;  // the server's port when not set
  QByteArray tls = "NO";
  std::optional<QByteArray> name = QByteArray(kCompany);
  QByteArray mailServer = "127.0.0.1";
  bool account = true;  // the user has a mail account
};

struct Settings {
  QByteArray destinatarios = kRecipients;
  QByteArray automatico = "";
};

// Time-outs short enough for a test, long enough for a loaded machine.
void shortTimeouts(Tfcierre& window) {
  window.mailer().setTimeouts(test::everyTimeout(std::chrono::seconds(20)));
}

class ReportMailingWindowTest : public ::testing::Test, public test::WindowTestBase {
 protected:
  ReportMailingWindowTest() : WindowTestBase(kDay, true) {}
  void TearDown() override {
    window.reset();
    delete selection.data();
  }

  virtual FbMode mode() const { return FbMode::Server; }

  void startServer(QStringList options = {}) {
    options += {"--auth", QString::fromLatin1(kMailUser) + ':' + kMailPass};
    server = std::make_unique<RealSmtpServer>(options);
    ASSERT_NE(server->port(), 0);
  }

  // A company database of its own for each call (a test may run several windows).
  void makeCompany(const Company& c) {
    company = std::make_unique<CompanyDb>(temp.filePath(QStringLiteral("erp%1").arg(++runs)));
    const QByteArray port = c.port ? *c.port : QByteArray::number(server ? server->port() : 25);
    company->generalConfig("PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO", port)
        .generalConfig("USAR SSL PARA ENVIO DE CORREO ELECTRONICO", c.tls);
    if (c.name) company->generalConfig("NOMBRE COMPANIA", *c.name);
    // The user who runs the tool is the settings' user code, the test login.
    company->user(test::fbTestLogin().user, c.account ? QByteArray(kSender) : QByteArray(),
                  c.mailServer, kMailUser, kMailPass);
    const QString error = company->build();
    ASSERT_EQ(error, "") << error.toStdString();
  }

  // The selection window from a settings file, as at start-up (not shown).
  void makeSelection(const Settings& s = {}) {
    const settings::RegistryLocation where =
        writeStartup(settingsLines(company->servidor(mode()), "07", s.destinatarios, s.automatico),
                     company->root(), QStringLiteral("xdg%1").arg(runs));
    delete selection.data();
    selection = new Tfdorvanefamilia(*dm, notifier, where);
    selection->setGenerationOpener([this](exporting::RunContext& context, QWidget& owner) {
      runGenerationWindow(context, *dm, notifier, owner);
    });
    setDates(kDay, kDay);
  }

  // The days of the run: in the context, and in the selection window's edits when there is one.
  void setDates(QDate first, QDate last) {
    context.firstDay = first;
    context.lastDay = last;
    if (!selection) return;
    selection->findChild<QDateEdit*>("EFecIni")->setDate(first);
    selection->findChild<QDateEdit*>("EFecfin")->setDate(last);
  }

  // Company, connection, the run context the settings would give and a generation window of
  // the test's own.
  void prepare(const Company& c, const Settings& s = {}) {
    window.reset();
    ASSERT_NO_FATAL_FAILURE(makeCompany(c));
    const test::FbLogin login = test::fbTestLogin();
    dm->conectarbase(company->servidor(mode()), company->company(), login.user, login.password);
    context = {.firstDay = kDay,
               .lastDay = kDay,
               .brandCode = "07",
               .userCode = login.user,
               .directorio = toCp1252(out),
               .destinatarios = s.destinatarios};
    window = std::make_unique<Window>(context, *dm, notifier);
    shortTimeouts(*window);
  }
  // A scheduler's start over the days.
  void setUnattended(QDate first, QDate last) {
    context.unattended = context.automaticMode = true;
    setDates(first, last);
  }

  // One run started with SpeedButton1 inside the window's modal display, as the selection
  // window shows it. True when the run ended the display, which is how it asks the program to
  // end (the selection window then closes).
  bool run() {
    window->setResult(QDialog::Rejected);
    bool ended = false;
    QuitRequests quits;
    quits.run([&] {
      QTimer::singleShot(0, window.get(), [&] {
        QTest::mouseClick(window->findChild<QToolButton*>("SpeedButton1"), Qt::LeftButton);
        ended = !window->isVisible();
        if (!ended) window->reject();  // ends a display that the run left open
      });
      window->exec();
    });
    EXPECT_EQ(window->result() == QDialog::Accepted, ended);
    EXPECT_EQ(quits.count, 0);
    return ended;
  }

  QStringList memoLines() const {
    return window->findChild<QPlainTextEdit*>("StatusMemo")->toPlainText().split('\n');
  }
  QStringList files() const { return QDir(out).entryList(QDir::Files, QDir::Name); }
  QString outFile(const QString& name) const { return out + "/" + name; }
  std::vector<Shown> errorBoxes() const {
    std::vector<Shown> boxes;
    for (const Shown& s : notifier.shown)
      if (s.kind == Shown::ErrorBox) boxes.push_back(s);
    return boxes;
  }
  QList<ReceivedMail> stopAndRead() {
    server->stop();
    return test::receivedMails(*server);
  }

  std::unique_ptr<CompanyDb> company;
  exporting::RunContext context;
  QPointer<Tfdorvanefamilia> selection;
  std::unique_ptr<Window> window;
  std::unique_ptr<RealSmtpServer> server;
  int runs = 0;
};

// The whole program: the selection window shown as at start-up, in both connection modes.
class WholeProgramTest : public ReportMailingWindowTest,
                         public ::testing::WithParamInterface<FbMode> {
 protected:
  FbMode mode() const override { return GetParam(); }

  // Shows the selection window and waits for its first activation's connection; then, unless
  // the run is automatic, sets the dates and presses F2 there and F2 in the generation window.
  // Returns when the selection window is gone or after 60 s (the generation window, should it
  // still be open then, is closed). The generation window gets short time-outs as soon as it
  // is seen.
  void runProgram(QDate first, QDate last, bool automatic) {
    quits.run([&] { showAndRun(first, last, automatic); });
  }
  void showAndRun(QDate first, QDate last, bool automatic) {
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* generation = qobject_cast<Tfcierre*>(QApplication::activeModalWidget());
      if (!generation) return;
      poll.stop();
      generationSeen = true;
      shortTimeouts(*generation);
      if (automatic) return;
      ASSERT_TRUE(QTest::qWaitForWindowActive(generation, 5000));
      QTest::keyClick(generation->focusWidget() ? generation->focusWidget() : generation,
                      Qt::Key_F2);
    });
    QTimer::singleShot(60000, selection.data(), [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    poll.start();
    selection->show();
    if (!automatic) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(selection.data(), 5000));
      ASSERT_TRUE(QTest::qWaitFor([&] { return dm->Halvori.isOpen(); }, 10000));
      setDates(first, last);
      QTest::keyClick(selection->focusWidget() ? selection->focusWidget() : selection.data(),
                      Qt::Key_F2);
    }
    // The selection window deletes itself on closing, which it does once the generation
    // window's modal display has ended.
    EXPECT_TRUE(QTest::qWaitFor([&] { return selection.isNull(); }, 60000));
  }

  bool generationSeen = false;
  QuitRequests quits;
};

TEST_P(WholeProgramTest, ThreeDaysByHandMailsSixFilesInDayOrderAndEnds) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany({}));
  ASSERT_NO_FATAL_FAILURE(makeSelection());
  runProgram(QDate(2025, 12, 30), QDate(2026, 1, 1), false);
  EXPECT_TRUE(generationSeen);
  EXPECT_EQ(quits.count, 0);
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});

  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 6);
  int i = 0;
  for (const QByteArray day : {"2025/12/30", "2025/12/31", "2026/01/01"}) {
    const QString name = QString::fromLatin1(day.mid(8, 2) + day.mid(5, 2) + day.left(4));
    for (const bool inventory : {true, false}) {
      const QString file = (inventory ? "inventarios" : "ventas") + name + ".txt";
      SCOPED_TRACE(file.toStdString());
      test::expectReportMail(mails[i], inventory, day, kCompany, kSender, kTo, file,
                             test::readFile(outFile(file)));
      EXPECT_EQ(mails[i].session, i + 1);  // a connection of its own
      ++i;
    }
  }
  EXPECT_EQ(files().size(), 6);
}

TEST_P(WholeProgramTest, AutomaticRunMailsTodaysTwoFilesAndEnds) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany({}));
  ASSERT_NO_FATAL_FAILURE(makeSelection({.automatico = "1"}));
  runProgram({}, {}, true);
  EXPECT_TRUE(generationSeen);
  EXPECT_EQ(quits.count, 0);
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 2);
  test::expectReportMail(mails[0], true, "2025/08/11", kCompany, kSender, kTo,
                         "inventarios11082025.txt",
                         test::readFile(outFile("inventarios11082025.txt")));
  test::expectReportMail(mails[1], false, "2025/08/11", kCompany, kSender, kTo,
                         "ventas11082025.txt", test::readFile(outFile("ventas11082025.txt")));
}

TEST_P(WholeProgramTest, AutomaticRunStartsInAGenerationWindowNeverActivated) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany({}));
  ASSERT_NO_FATAL_FAILURE(makeSelection({.automatico = "1"}));
  std::vector<exporting::RunEvent> heard;
  selection->setRunListener([&](const exporting::RunEvent& e) { heard.push_back(e); });
  // The generation window never becomes active; the selection window may.
  test::ActivationBlocker blocker(
      [](QObject* watched) { return qobject_cast<Tfcierre*>(watched); });
  qApp->installEventFilter(&blocker);
  runProgram({}, {}, true);
  qApp->removeEventFilter(&blocker);
  EXPECT_GT(blocker.swallowed, 0) << "no activation came that could have started the run";

  EXPECT_TRUE(generationSeen);
  EXPECT_EQ(quits.count, 0);
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(stopAndRead().size(), 2);
  // The selection window's listener heard the connection and the whole run, in order.
  using T = exporting::RunEvent::Type;
  std::vector<T> types;
  for (const auto& e : heard) types.push_back(e.type);
  EXPECT_EQ(types, (std::vector<T>{T::Connecting, T::RunStarted, T::FileWritten, T::MailSent,
                                   T::FileWritten, T::MailSent, T::DayEnded, T::RunEnded}));
  ASSERT_EQ(heard.size(), 8u);
  EXPECT_EQ(heard[0].text.toUtf8(), company->databaseString(mode()));
  EXPECT_EQ(heard[0].detail.toUtf8(), test::fbTestLogin().user);
  EXPECT_TRUE(heard[3].text.startsWith("250 ")) << heard[3].text;
  EXPECT_EQ(heard[2].bytes, QFileInfo(outFile("inventarios11082025.txt")).size());
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeProgramTest,
                         ::testing::Values(FbMode::Server, FbMode::Embedded), [](const auto& info) {
                           return std::string(test::fbModeName(info.param));
                         });

TEST_F(ReportMailingWindowTest, WithoutAMailAccountFilesAreWrittenAndTheWindowStays) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(prepare({.account = false}));
  EXPECT_FALSE(run());
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(memoLines(), (QStringList{"Status...", ""}));
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  server->stop();
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}

// Failures while sending are listed, newest on top, and the run goes on to the last day.
TEST_F(ReportMailingWindowTest, SendingFailuresAreListedAndTheRunGoesOn) {
  struct Case {
    const char* what;
    QStringList serverOptions;
    std::optional<QByteArray> port;
    QByteArray destinatarios;
    QString error;  // the text after "ERROR: ", line breaks and all
  } cases[] = {
      {"port 0", {}, "0", kRecipients, "A Port is required"},
      {"first recipient refused",
       {"--refuse-rcpt", "malo@cliente.example"},
       std::nullopt,
       "malo@cliente.example, ana@cliente.example",
       "<malo@cliente.example>: Recipient address rejected\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(startServer(c.serverOptions));
    ASSERT_NO_FATAL_FAILURE(prepare({.port = c.port}, {.destinatarios = c.destinatarios}));
    setDates(kDay, kDay.addDays(1));
    for (const QString& name : files()) QFile::remove(outFile(name));
    EXPECT_FALSE(run());
    EXPECT_EQ(files().size(), 4);
    // Four failed mails, each listed above the one before.
    QStringList expected;
    for (int i = 0; i < 4; ++i) expected += ("ERROR: " + c.error).split('\n');
    expected += {"Status...", ""};
    EXPECT_EQ(memoLines(), expected);
    EXPECT_EQ(notifier.shown, std::vector<Shown>{});
    EXPECT_EQ(stopAndRead().size(), 0);
  }
}

// A mail server that takes the connection and never greets, over three days: a scheduler's run
// waits for it once and attempts no later mail (each recorded as not attempted, with the
// reason), still writing every file; a run at the window tries every mail.
TEST_F(ReportMailingWindowTest, ASilentServerCostsAnUnattendedRunOneTimeOut) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  constexpr auto kGreeting = std::chrono::milliseconds(1500);
  const struct {
    bool unattended;
    int attempts;
  } cases[] = {{true, 1}, {false, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unattended ? "unattended" : "at the window");
    ASSERT_NO_FATAL_FAILURE(prepare({.port = QByteArray::number(silent.serverPort())}));
    smtp::SmtpClient::Timeouts timeouts = test::everyTimeout(std::chrono::seconds(20));
    timeouts.greeting = kGreeting;
    window->mailer().setTimeouts(timeouts);
    setDates(kDay, kDay.addDays(2));
    if (c.unattended) setUnattended(kDay, kDay.addDays(2));
    std::vector<exporting::RunEvent> events;
    context.listener = [&](const exporting::RunEvent& e) { events.push_back(e); };
    for (const QString& name : files()) QFile::remove(outFile(name));

    QElapsedTimer timer;
    timer.start();
    if (c.unattended) {
      // A scheduler's start runs by itself once the window is shown, and ends the program.
      QuitRequests quits;
      quits.run([&] {
        QTimer::singleShot(60000, window.get(), [&] { window->reject(); });
        window->exec();
      });
      EXPECT_EQ(window->result(), QDialog::Accepted);
      EXPECT_EQ(quits.count, 0);
    } else {
      EXPECT_FALSE(run());
    }
    const qint64 ms = timer.elapsed();
    EXPECT_EQ(window->mails, c.attempts);
    EXPECT_EQ(files().size(), 6);
    int failed = 0;
    QStringList notAttempted;
    for (const exporting::RunEvent& e : events) {
      if (e.type == exporting::RunEvent::Type::MailFailed) {
        ++failed;
        EXPECT_EQ(e.text, "Timed out waiting for the server's greeting.");
      }
      if (e.type == exporting::RunEvent::Type::MailNotAttempted) notAttempted += e.text;
    }
    EXPECT_EQ(failed, c.attempts);
    EXPECT_EQ(notAttempted,
              QStringList(6 - c.attempts,
                          QString::fromUtf8("el servidor de correo no respondió a un correo "
                                            "anterior de esta corrida: Timed out waiting for the "
                                            "server's greeting.")));
    // Unattended: one greeting time-out, not six.
    if (c.unattended) {
      EXPECT_LT(ms, 30'000);
    }
    while (silent.hasPendingConnections()) delete silent.nextPendingConnection();
  }
}

// An error that echoes the mail account's password (here a refused recipient whose address
// holds it) reaches the run's listeners, and so the journal, with the password masked; the
// status list shows the error as it came.
TEST_F(ReportMailingWindowTest, TheMailPasswordIsMaskedInWhatTheRunTellsItsListeners) {
  const QByteArray recipient = QByteArray(kMailPass) + "@cliente.example";
  ASSERT_NO_FATAL_FAILURE(startServer({"--refuse-rcpt", QString::fromLatin1(recipient)}));
  ASSERT_NO_FATAL_FAILURE(prepare({}, {.destinatarios = recipient}));
  std::vector<exporting::RunEvent> events;
  context.listener = [&](const exporting::RunEvent& e) { events.push_back(e); };
  EXPECT_FALSE(run());
  QStringList failed;
  for (const exporting::RunEvent& e : events)
    if (e.type == exporting::RunEvent::Type::MailFailed) failed += e.text;
  EXPECT_EQ(failed, QStringList(2, "<********@cliente.example>: Recipient address rejected\n"));
  EXPECT_EQ(memoLines().first(),
            "ERROR: <" + QString::fromLatin1(recipient) + ">: Recipient address rejected");
  stopAndRead();
}

TEST_F(ReportMailingWindowTest, PortTextThatIsNoNumberEndsTheRunBeforeTheFirstMail) {
  for (const QByteArray& text : {QByteArray("25 "), QByteArray("SMTP"), QByteArray("")}) {
    SCOPED_TRACE("'" + text.toStdString() + "'");
    ASSERT_NO_FATAL_FAILURE(startServer());
    ASSERT_NO_FATAL_FAILURE(prepare({.port = text}));
    notifier.shown.clear();
    setDates(kDay, kDay.addDays(2));
    for (const QString& name : files()) QFile::remove(outFile(name));

    EXPECT_FALSE(run());
    EXPECT_EQ(notifier.shown, (std::vector<Shown>{{Shown::ErrorReport, programTitle(),
                                                   "'" + QString::fromLatin1(text) +
                                                       "' is not a valid integer value."}}));
    EXPECT_EQ(files(), QStringList{"inventarios11082025.txt"});
    EXPECT_EQ(window->mails, 0);
    EXPECT_EQ(memoLines(), (QStringList{"Status...", ""}));
    server->stop();
    EXPECT_TRUE(server->sessionLog(1).isEmpty());
  }
}

// The TLS switch over a run of three days in one window: "SI" moves port 25 to 587 on the
// first day only, and every connection is encrypted; values that are not exactly "SI" leave
// every mail on 25 unencrypted. (The servers offer STARTTLS only to the "SI" case: the test
// server wants the login encrypted whenever it offers STARTTLS.)
TEST_F(ReportMailingWindowTest, TlsSwitchOverThreeDaysInOneWindow) {
  struct Case {
    QByteArray tls;
    int firstDayPort;
  } cases[] = {{"SI", 587}, {"si", 25}, {"SI ", 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.tls.toStdString() + "'");
    const QString address = test::freeLoopbackAddress();
    {
      QTcpServer probe;
      if (!probe.listen(QHostAddress(address), 25))
        GTEST_SKIP() << "cannot listen on port 25 here: " << probe.errorString().toStdString();
    }
    QStringList common{"--host", address, "--auth", "reportes:clave-1"};
    if (c.firstDayPort == 587) common += "--make-cert";
    RealSmtpServer on587(common + QStringList{"--port", "587"});
    RealSmtpServer on25(common + QStringList{"--port", "25"});
    ASSERT_EQ(on587.port(), 587);
    ASSERT_EQ(on25.port(), 25);
    ASSERT_NO_FATAL_FAILURE(
        prepare({.port = "25", .tls = c.tls, .mailServer = address.toLatin1()}));
    setDates(kDay, kDay.addDays(2));

    EXPECT_TRUE(run());
    on587.stop();
    on25.stop();
    const QList<ReceivedMail> first = test::receivedMails(on587);
    const QList<ReceivedMail> rest = test::receivedMails(on25);
    const QList<ReceivedMail> all = c.firstDayPort == 587 ? first + rest : rest;
    EXPECT_EQ(first.size(), c.firstDayPort == 587 ? 2 : 0);
    ASSERT_EQ(all.size(), 6);
    const QByteArray days[] = {"2025/08/11", "2025/08/12", "2025/08/13"};
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(all[i].bodyLines().value(0),
                (i % 2 ? "Adjunto reporte de ventas " : "Adjunto reporte de inventarios ") +
                    days[i / 2] + ' ' + kCompany);
    // With the switch on, every connection was encrypted before the login.
    if (c.firstDayPort == 587) {
      for (const RealSmtpServer* s : {&on587, &on25})
        for (int session = 1; !s->sessionLog(session).isEmpty(); ++session) {
          const QStringList log = s->sessionLog(session);
          EXPECT_GT(log.indexOf("AUTH LOGIN"), log.indexOf("STARTTLS"))
              << log.join(" | ").toStdString();
          EXPECT_GE(log.indexOf("STARTTLS"), 0);
          EXPECT_FALSE(s->tlsSession(session).isEmpty());
        }
    }
    window.reset();
  }
}

TEST_F(ReportMailingWindowTest, MissingCompanyNameGivesTwoBoxesPerMail) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(prepare({.name = std::nullopt}));
  QuitRequests quits;
  EXPECT_TRUE(run());
  const std::vector<Shown> boxes = errorBoxes();
  EXPECT_EQ(boxes.size(), 4u);
  for (const Shown& s : boxes) EXPECT_EQ(s.title, "Error");
  EXPECT_EQ(notifier.shown.size(), 4u);
  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 2);
  EXPECT_EQ(mails[0].header("Subject"), "Reporte inventarios  ");
  EXPECT_EQ(mails[1].header("Subject"), "Reporte ventas  ");
  test::expectReportMail(mails[1], false, "2025/08/11", "", kSender, kTo, "ventas11082025.txt",
                         test::readFile(outFile("ventas11082025.txt")));
}

// Only the run's last attempted mail decides whether the program ends.
TEST_F(ReportMailingWindowTest, LastMailDecidesWhetherTheProgramEnds) {
  const struct {
    const char* what;
    bool ends;
  } cases[] = {{"last fails after one went out", false}, {"last goes out after one failed", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Either the server is there for the day's first mail and goes away before the second, or
    // nothing listens on the configured port for the first and the server starts there before
    // the second.
    quint16 port = 0;
    if (c.ends) {
      QTcpServer probe;
      ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
      port = probe.serverPort();
    } else {
      ASSERT_NO_FATAL_FAILURE(startServer());
      port = server->port();
    }
    ASSERT_NO_FATAL_FAILURE(prepare({.port = QByteArray::number(port)}));
    window->beforeMail = [&](int mail) {
      if (mail != 1) return;
      if (c.ends)
        startServer({"--port", QString::number(port)});
      else
        server->stop();
    };
    EXPECT_EQ(run(), c.ends);
    EXPECT_EQ(memoLines(),
              (QStringList{"ERROR: Socket Error # 10061", "Connection refused.", "Status...", ""}));
    ASSERT_EQ(server->port(), port);
    server->stop();
    const QList<ReceivedMail> mails = test::receivedMails(*server);
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(
        mails[0].header("Subject"),
        fromCp1252(QByteArray(c.ends ? "Reporte ventas  " : "Reporte inventarios  ") + kCompany));
  }
}

TEST_F(ReportMailingWindowTest, SemicolonsCommasAndAnEmptyListOfRecipients) {
  struct Case {
    QByteArray destinatarios;
    QStringList rcpt;
  } cases[] = {
      {"ana@cliente.example;luis@cliente.example", {"ana@cliente.example", "luis@cliente.example"}},
      {"ana@cliente.example,luis@cliente.example", {"ana@cliente.example", "luis@cliente.example"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destinatarios.toStdString());
    ASSERT_NO_FATAL_FAILURE(startServer());
    ASSERT_NO_FATAL_FAILURE(prepare({}, {.destinatarios = c.destinatarios}));
    EXPECT_TRUE(run());
    const QList<ReceivedMail> mails = stopAndRead();
    ASSERT_EQ(mails.size(), 2);
    for (const ReceivedMail& m : mails) {
      EXPECT_EQ(m.rcptTos, c.rcpt + QStringList{mail::kCopyAddress});
      EXPECT_EQ(m.header("To").trimmed(), c.rcpt.join(", "));
      EXPECT_EQ(m.header("Cc"), mail::kCopyAddress);
    }
  }
}

}  // namespace
}  // namespace zavelo
