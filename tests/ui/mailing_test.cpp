// The report mailing as the generation window runs it: real windows offscreen, a real company
// database on the Firebird server, a real SMTP server (aiosmtpd on loopback) whose mails are
// read back with Python's own MIME parser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <optional>

#include "common/clock.h"
#include "common/cp1252.h"
#include "db/data_module.h"
#include "export/export_kind.h"
#include "fixtures/company_db.h"
#include "mail/mail_texts.h"
#include "mail/received_mail.h"
#include "settings/registry.h"
#include "support/qt_print.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "ui/generation_window.h"
#include "ui/selection_window.h"

namespace zavelo {
namespace {

using exporting::Kind;
using test::readFile;
using test::RealSmtpServer;
using test::ReceivedMail;
using test::Shown;

const QDate kDay(2025, 8, 11);
constexpr char kSender[] = "reportes@distribuidora.example";
constexpr char kMailUser[] = "reportes";
constexpr char kMailPass[] = "secreto";
constexpr char kCompanyName[] = "Distribuidora Caf\xE9 S.A.";
const QStringList kTo{"ana@cliente.example", "luis@cliente.example"};

// The generation window with a hook after each mail, for the tests that change the mail
// server between two mails of one run.
class HookedWindow : public Tfcierre {
 public:
  using Tfcierre::Tfcierre;
  std::function<void(int mailNumber)> afterMail;

 protected:
  MailOutcome enviarcorreo(Kind kind, QDate day, const QString& path) override {
    const MailOutcome outcome = Tfcierre::enviarcorreo(kind, day, path);
    ++mails_;
    if (afterMail) afterMail(mails_);
    return outcome;
  }

 private:
  int mails_ = 0;
};

// The configuration and settings of one test; nullopt leaves a configuration row out.
struct Company {
  std::optional<QByteArray> port;  // the test server's port when not set
  std::optional<QByteArray> tls = QByteArray("NO");
  std::optional<QByteArray> companyName = QByteArray(kCompanyName);
  QByteArray mailServer = "127.0.0.1";
  bool mailAccount = true;
  QByteArray destinatarios = "ana@cliente.example;luis@cliente.example";
  QByteArray automatico = "";
};

class MailingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The deployment's short date form, year first with "/".
    Clock::setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    Clock::setToday(kDay);
    dm = std::make_unique<db::Tfdm>(notifier);
    // Folders of their own for every round, as a test may set up several in turn.
    ++round;
    erp = temp.filePath(QStringLiteral("erp%1").arg(round));
    out = temp.filePath(QStringLiteral("salida%1").arg(round));
    QDir().mkpath(out);
    notifier.shown.clear();
  }
  void TearDown() override {
    window.reset();
    delete selection.data();
    dm.reset();
    Clock::setLocale(std::nullopt);
    Clock::setToday(std::nullopt);
  }

  void startServer(QStringList options = {}) {
    options += {"--auth", QString::fromLatin1(kMailUser) + ':' + kMailPass};
    server = std::make_unique<RealSmtpServer>(options);
    ASSERT_NE(server->port(), 0);
  }

  // The company database, the selection window made from a settings file as at start-up (not
  // shown), and the generation window it would create; connected unless asked not to.
  void make(const Company& s, bool connectNow = true) {
    test::CompanyDb company(erp);
    company.generalConfig(mail::kPortProperty,
                          s.port ? *s.port : QByteArray::number(server ? server->port() : 25));
    if (s.tls) company.generalConfig(mail::kTlsProperty, *s.tls);
    if (s.companyName) company.generalConfig(mail::kCompanyNameProperty, *s.companyName);
    const test::FbLogin login = test::fbTestLogin();
    // The user who runs the tool is the user of the settings' origin (edit Tusua).
    if (s.mailAccount) company.user(login.user, kSender, s.mailServer, kMailUser, kMailPass);
    company.user("OTRO", "otro@distribuidora.example", "127.0.0.1", "otro", "otro");
    const QString error = company.build();
    ASSERT_EQ(error, "") << error.toStdString();
    servidor = company.servidor(test::FbMode::Server);

    temp.write(QStringLiteral("erp%1/settingsenvio.conf").arg(round),
               "linea1\r\n" + servidor + "\r\n" + QFile::encodeName(out) + "\r\n" + login.user +
                   "\r\n" + login.password + "\r\n01\r\n07\r\n" + s.destinatarios + "\r\n" +
                   s.automatico + "\r\n");
    settings::RegistryLocation where = settings::defaultRegistryLocation();
    const QString xdg = temp.filePath(QStringLiteral("xdg%1").arg(round));
    where.configDirs = {xdg};
    {
      QSettings ini(xdg + '/' + where.relativeFile, QSettings::IniFormat);
      ini.setValue(where.valueName, erp);
    }
    selection = new Tfdorvanefamilia(*dm, notifier, where);
    ASSERT_EQ(notifier.shown, std::vector<Shown>{});
    setDates(kDay, kDay);
    window = std::make_unique<HookedWindow>(*selection, *dm, notifier);
    if (connectNow) dm->conectarbase(servidor, "01", login.user, login.password);
  }

  void setDates(QDate first, QDate last) {
    selection->findChild<QDateEdit*>("EFecIni")->setDate(first);
    selection->findChild<QDateEdit*>("EFecfin")->setDate(last);
  }

  QLabel* panel() const { return window->findChild<QLabel*>("Panel5"); }
  QString memoText() const {
    return window->findChild<QPlainTextEdit*>("StatusMemo")->toPlainText();
  }
  void run() {
    window->show();
    QTest::mouseClick(window->findChild<QToolButton*>("SpeedButton1"), Qt::LeftButton);
  }
  // The run asked the program to end: the window's modal display was ended as accepted.
  bool endedTheProgram() const { return window->result() == QDialog::Accepted; }

  QStringList files() const { return QDir(out).entryList(QDir::Files, QDir::Name); }
  QString outFile(const QString& name) const { return out + "/" + name; }

  int errorBoxes() const {
    int n = 0;
    for (const Shown& s : notifier.shown) n += s.kind == Shown::ErrorBox;
    return n;
  }

  // Stops the server and gives what it received.
  QList<ReceivedMail> received() {
    server->stop();
    return test::receivedMails(*server);
  }

  // Checks the mails of a run over consecutive days against the files on disk, in day order,
  // inventory before sales.
  void expectDayMails(const QList<ReceivedMail>& mails, QDate first, int days) {
    ASSERT_EQ(mails.size(), 2 * days);
    for (int i = 0; i < 2 * days; ++i) {
      const QDate day = first.addDays(i / 2);
      const bool inventory = i % 2 == 0;
      const QString name =
          QString(inventory ? "inventarios" : "ventas") + day.toString("ddMMyyyy") + ".txt";
      test::expectReportMail(mails[i], inventory, day.toString("yyyy/MM/dd").toLatin1(),
                             kCompanyName, kSender, kTo, name, readFile(outFile(name)));
    }
  }

  test::TempDir temp;
  test::RecordingNotifier notifier;
  int round = 0;
  QString erp;
  QString out;
  QByteArray servidor;
  std::unique_ptr<RealSmtpServer> server;
  std::unique_ptr<db::Tfdm> dm;
  QPointer<Tfdorvanefamilia> selection;
  std::unique_ptr<HookedWindow> window;
};

// Whatever modal display a test leaves open is closed after this long.
void closeModalsAfter(QObject* context, int ms) {
  QTimer::singleShot(ms, context, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
}

// Dates set by hand, F2 in the selection window, F2 in the generation window: six files and
// six mails, and the program ends by itself.
TEST_F(MailingTest, ThreeDaysByHandMailsEveryFileInDayOrderThenEnds) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(make(Company(), false));
  window.reset();  // the selection window makes its own
  selection->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(selection.data(), 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dm->Halvori.isOpen(); }, 10000));
  const QDate first(2025, 12, 30);
  setDates(first, QDate(2026, 1, 1));

  bool pressed = false;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* generation = qobject_cast<Tfcierre*>(QApplication::activeModalWidget());
    if (!generation || !generation->isVisible()) return;
    poll.stop();
    pressed = true;
    QTest::keyClick(generation->focusWidget() ? generation->focusWidget() : generation, Qt::Key_F2);
  });
  poll.start();
  closeModalsAfter(selection.data(), 120000);
  QTest::keyClick(selection->focusWidget() ? selection->focusWidget() : selection.data(),
                  Qt::Key_F2);
  EXPECT_TRUE(pressed);
  // No Esc was pressed: the last mail went out, so the windows closed by themselves.
  EXPECT_TRUE(QTest::qWaitFor([&] { return selection.isNull(); }, 5000));
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(files().size(), 6);
  expectDayMails(received(), first, 3);
}

TEST_F(MailingTest, AutomaticRunMailsTodaysTwoFilesAndEnds) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  Company s;
  s.automatico = "1";
  ASSERT_NO_FATAL_FAILURE(make(s, false));
  window.reset();
  closeModalsAfter(selection.data(), 120000);
  selection->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return selection.isNull(); }, 120000));
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  expectDayMails(received(), kDay, 1);
}

TEST_F(MailingTest, UserWithoutMailAccountWritesFilesAndMailsNothing) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  Company s;
  s.mailAccount = false;
  ASSERT_NO_FATAL_FAILURE(make(s));
  run();
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(memoText(), "Status...\n");
  EXPECT_FALSE(endedTheProgram());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(notifier.shown, std::vector<Shown>{});
  server->stop();
  EXPECT_TRUE(server->sessionLog(1).isEmpty());  // no connection at all
}

TEST_F(MailingTest, PortZeroFailsEveryMailAndTheRunGoesOn) {
  Company s;
  s.port = "0";
  ASSERT_NO_FATAL_FAILURE(make(s));
  setDates(kDay, kDay.addDays(1));
  run();
  EXPECT_EQ(files().size(), 4);
  EXPECT_EQ(memoText(), QString("ERROR: A Port is required\n").repeated(4) + "Status...\n");
  EXPECT_FALSE(endedTheProgram());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MailingTest, PortTextThatIsNoNumberEndsTheRunBeforeTheFirstMail) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  for (const QByteArray& text : {QByteArray("25 "), QByteArray("SMTP"), QByteArray("")}) {
    SCOPED_TRACE(text.toStdString());
    TearDown();
    SetUp();
    Company s;
    s.port = text;
    ASSERT_NO_FATAL_FAILURE(make(s));
    run();
    EXPECT_EQ(files(), QStringList{"inventarios11082025.txt"});
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].kind, Shown::ErrorReport);
    EXPECT_EQ(notifier.shown[0].text,
              "'" + QString::fromLatin1(text) + "' is not a valid integer value.");
    EXPECT_EQ(memoText(), "Status...\n");
    EXPECT_FALSE(endedTheProgram());
  }
  server->stop();
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}

// A loopback address of the test's own, so that the fixed ports 25 and 587 are free on it.
QString freeLoopbackAddress() {
  auto* random = QRandomGenerator::global();
  return QStringLiteral("127.%1.%2.%3")
      .arg(random->bounded(1, 255))
      .arg(random->bounded(0, 256))
      .arg(random->bounded(1, 255));
}

TEST_F(MailingTest, TlsSwitchOnPort25MovesOnlyTheFirstDayTo587) {
  const QString address = freeLoopbackAddress();
  {
    QTcpServer probe;
    if (!probe.listen(QHostAddress(address), 25))
      GTEST_SKIP() << "cannot listen on port 25 here: " << probe.errorString().toStdString();
  }
  struct Case {
    QByteArray tls;
    int days;
    int mailsTo587;
  };
  for (const Case& c : {Case{"SI", 3, 2}, Case{"si", 1, 0}, Case{"SI ", 1, 0}}) {
    SCOPED_TRACE(c.tls.toStdString());
    TearDown();
    SetUp();
    // Both offer STARTTLS; only with the switch on does the client take it up (and may log in,
    // which the server allows only encrypted).
    QStringList common{"--host", address, "--make-cert"};
    if (c.tls == "SI") common += {"--auth", "reportes:secreto"};
    RealSmtpServer port587(common + QStringList{"--port", "587"});
    RealSmtpServer port25(common + QStringList{"--port", "25"});
    ASSERT_EQ(port587.port(), 587);
    ASSERT_EQ(port25.port(), 25);
    Company s;
    s.port = "25";
    s.tls = c.tls;
    s.mailServer = address.toLatin1();
    ASSERT_NO_FATAL_FAILURE(make(s));
    setDates(kDay, kDay.addDays(c.days - 1));
    run();
    EXPECT_EQ(memoText(), "Status...\n");
    EXPECT_TRUE(endedTheProgram());
    port587.stop();
    port25.stop();
    const QList<ReceivedMail> first = test::receivedMails(port587);
    const QList<ReceivedMail> later = test::receivedMails(port25);
    ASSERT_EQ(first.size(), c.mailsTo587);
    ASSERT_EQ(later.size(), 2 * c.days - c.mailsTo587);
    QList<ReceivedMail> all = first + later;
    expectDayMails(all, kDay, c.days);
    // With the switch on every connection was upgraded; otherwise none was.
    for (const RealSmtpServer* server : {&port587, &port25})
      for (int n = 1; !server->sessionLog(n).isEmpty(); ++n)
        EXPECT_EQ(server->sessionLog(n).contains("STARTTLS"), c.tls == "SI");
  }
}

TEST_F(MailingTest, MissingCompanyNameShowsTwoBoxesPerMail) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  Company s;
  s.companyName.reset();
  ASSERT_NO_FATAL_FAILURE(make(s));
  run();
  EXPECT_EQ(errorBoxes(), 4);
  EXPECT_EQ(notifier.shown.size(), 4u);
  for (const Shown& shown : notifier.shown) EXPECT_EQ(shown.title, "Error");
  EXPECT_TRUE(endedTheProgram());
  const QList<ReceivedMail> mails = received();
  ASSERT_EQ(mails.size(), 2);
  EXPECT_EQ(mails[0].header("Subject"), "Reporte inventarios  ");
  EXPECT_EQ(mails[1].header("Subject"), "Reporte ventas  ");
  EXPECT_EQ(mails[0].bodyLines().first(), "Adjunto reporte de inventarios 2025/08/11 ");
}

TEST_F(MailingTest, RefusedFirstRecipientPutsTheServersReplyOnTop) {
  ASSERT_NO_FATAL_FAILURE(startServer({"--refuse-rcpt", "ana@cliente.example"}));
  ASSERT_NO_FATAL_FAILURE(make(Company()));
  run();
  // The reply text ends in a line break, which leaves an empty line below it.
  const QString line = "ERROR: <ana@cliente.example>: Recipient address rejected\n\n";
  EXPECT_EQ(memoText(), line + line + "Status...\n");
  EXPECT_FALSE(endedTheProgram());
  server->stop();
  for (int n : {1, 2}) {
    const QStringList log = server->sessionLog(n);
    EXPECT_EQ(log.filter("RCPT").size(), 1) << log.join(" | ").toStdString();
    EXPECT_TRUE(log.contains("RSET"));
  }
}

// The last mail fails after the first went out: the server is gone for the second.
TEST_F(MailingTest, LastMailFailingKeepsTheWindowOpen) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(make(Company()));
  window->afterMail = [&](int n) {
    if (n == 1) server->stop();
  };
  run();
  EXPECT_TRUE(memoText().startsWith("ERROR: Socket Error # ")) << memoText().toStdString();
  EXPECT_EQ(memoText().count("ERROR: "), 1);
  EXPECT_TRUE(memoText().endsWith("Status...\n"));
  EXPECT_FALSE(endedTheProgram());
  EXPECT_TRUE(window->isVisible());
  const QList<ReceivedMail> mails = test::receivedMails(*server);
  ASSERT_EQ(mails.size(), 1);
  EXPECT_EQ(mails[0].attachments().value(0)["filename"].toString(), "inventarios11082025.txt");

  // The picture of the window for the documentation, when asked for.
  if (const QString shot = qEnvironmentVariable("ZAVELO_SCREENSHOT"); !shot.isEmpty()) {
    EXPECT_TRUE(window->grab().save(shot));
  }
}

// The first mail fails (nothing listens yet on the configured port), the last goes out: the
// program ends.
TEST_F(MailingTest, LastMailSentAfterAnEarlierFailureEndsTheProgram) {
  quint16 port = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    port = probe.serverPort();
  }
  Company s;
  s.port = QByteArray::number(port);
  ASSERT_NO_FATAL_FAILURE(make(s));
  window->afterMail = [&](int n) {
    if (n == 1) startServer({"--port", QString::number(port)});
  };
  run();
  EXPECT_TRUE(memoText().startsWith("ERROR: Socket Error # ")) << memoText().toStdString();
  EXPECT_EQ(memoText().count("ERROR: "), 1);
  EXPECT_TRUE(endedTheProgram());
  ASSERT_TRUE(server);
  const QList<ReceivedMail> mails = received();
  ASSERT_EQ(mails.size(), 1);
  test::expectReportMail(mails[0], false, "2025/08/11", kCompanyName, kSender, kTo,
                         "ventas11082025.txt", readFile(outFile("ventas11082025.txt")));
}

TEST_F(MailingTest, SemicolonsAndCommasGiveTheSameRecipientsAndEmptyGivesTheCopyAlone) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  QList<QStringList> rcpts;
  for (const QByteArray& list :
       {QByteArray("ana@cliente.example;luis@cliente.example"),
        QByteArray("ana@cliente.example, luis@cliente.example"), QByteArray("")}) {
    TearDown();
    SetUp();
    Company s;
    s.destinatarios = list;
    ASSERT_NO_FATAL_FAILURE(make(s));
    run();
    EXPECT_TRUE(endedTheProgram()) << list.toStdString();
  }
  const QList<ReceivedMail> mails = received();
  ASSERT_EQ(mails.size(), 6);
  const QStringList both = kTo + QStringList{mail::kCopyAddress};
  for (int i : {0, 1, 2, 3}) EXPECT_EQ(mails[i].rcptTos, both) << i;
  for (int i : {4, 5}) EXPECT_EQ(mails[i].rcptTos, QStringList{mail::kCopyAddress}) << i;
}

}  // namespace
}  // namespace zavelo
