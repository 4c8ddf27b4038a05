// The report mailing against a real Firebird server (the company's configuration and users
// table) and a real SMTP server (aiosmtpd on loopback), whose received mails are read back
// with Python's own MIME parser.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <memory>
#include <optional>
#include <stdexcept>

#include "common/error.h"
#include "db/data_module.h"
#include "export/report_kind.h"
#include "fixtures/company_db.h"
#include "mail/mail_texts.h"
#include "mail/received_mail.h"
#include "mail/report_mailer.h"
#include "mail/smtp/smtp_timeouts.h"
#include "support/error_of.h"
#include "support/qt_print.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"

namespace zavelo::mail {
namespace {

using exporting::Kind;
using test::RealSmtpServer;
using test::ReceivedMail;

constexpr char kUserCode[] = "JPEREZ";
constexpr char kSender[] = "jperez@acme.example";
constexpr char kMailUser[] = "jperez";
constexpr char kMailPass[] = "secreto";
constexpr char kCompany[] = "Distribuidora Caf\xE9 S.A.";
constexpr char kDate[] = "2025/08/11";

// A report file as the export writes them: Windows-1252 text with CR LF, an empty line for a
// NULL row, a long line; then every byte value, so that any change on the way shows.
QByteArray reportBytes() {
  QByteArray bytes = "INV|2025/08/11|07\r\nSKU001|2025/08/11|12\r\n\r\nCaf\xE9 molido\r\n";
  bytes += QByteArray(255, '#') + "\r\n";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

// The configuration and users of the company a test mails for; nullopt leaves a row out.
struct Company {
  std::optional<QByteArray> port;  // the SMTP server's own port when not set
  std::optional<QByteArray> tls = QByteArray("NO");
  std::optional<QByteArray> name = QByteArray(kCompany);
  QByteArray mailServer = "127.0.0.1";

  Company& withPort(const QByteArray& text) { return port = text, *this; }
  Company& withTls(std::optional<QByteArray> value) { return tls = std::move(value), *this; }
  Company& withoutName() { return name.reset(), *this; }
  Company& withMailServer(const QByteArray& host) { return mailServer = host, *this; }
};

class ReportMailerTest : public ::testing::Test {
 protected:
  // Starts a server that requires AUTH LOGIN of the test account.
  void startServer(QStringList options = {}) {
    options += {"--auth", QString::fromLatin1(kMailUser) + ':' + kMailPass};
    server = std::make_unique<RealSmtpServer>(options);
    ASSERT_NE(server->port(), 0);
  }

  // Builds the company database with these values, connects the data holder and, unless one
  // exists, makes the mailer, with time-outs short enough for a test.
  void openCompany(const Company& c) {
    // A folder of its own for each company, so that a test may open several in turn.
    test::CompanyDb db(temp.filePath(QStringLiteral("company%1").arg(++companies)));
    const QByteArray port = c.port ? *c.port : QByteArray::number(server ? server->port() : 25);
    db.generalConfig(kPortProperty, port);
    if (c.tls) db.generalConfig(kTlsProperty, *c.tls);
    if (c.name) db.generalConfig(kCompanyNameProperty, *c.name);
    db.user(kUserCode, kSender, c.mailServer, kMailUser, kMailPass)
        .user("O'HARA", "ohara@acme.example", "mail.acme.example", "ohara ", " clave")
        .user("SINCORREO", "", "mail.acme.example", "nadie", "nada");
    if (const QString error = db.build(); !error.isEmpty()) {
      ADD_FAILURE() << error.toStdString();
      throw std::runtime_error("no company database");
    }
    const test::FbLogin login = test::fbTestLogin();
    dm.conectarbase(db.servidor(test::FbMode::Server), db.company(), login.user, login.password);
    if (mailer) return;  // a mailer keeps its values from one company to the next
    mailer = std::make_unique<ReportMailer>(dm);
    mailer->setTimeouts(test::everyTimeout(std::chrono::seconds(20)));
  }

  QString writeReport(const QString& name) { return files.write(name, reportBytes()); }

  // Mails the file as the report of the kind, and keeps the text of a failure.
  MailOutcome send(Kind kind, const QString& path,
                   const QByteArray& destinatarios = "ana@cliente.example, luis@cliente.example",
                   const QByteArray& dateText = kDate) {
    const exporting::ReportKind& report = exporting::reportKind(kind);
    const MailResult result = mailer->enviarcorreo({.subject = report.subject, .body = report.body},
                                                   dateText, path, destinatarios);
    if (result.outcome == MailOutcome::Failed) failures.append(result.text);
    return result.outcome;
  }

  int errorBoxes() const {
    int n = 0;
    for (const test::Shown& s : notifier.shown) n += s.kind == test::Shown::ErrorBox;
    return n;
  }

  test::TempDir temp;
  test::TempDir files;
  test::RecordingNotifier notifier;
  db::Tfdm dm{notifier};
  std::unique_ptr<RealSmtpServer> server;
  std::unique_ptr<ReportMailer> mailer;
  QStringList failures;
  int companies = 0;
};

TEST_F(ReportMailerTest, StartsWithThePresetsAndNoHost) {
  openCompany(Company());
  EXPECT_EQ(mailer->client().port(), 25);
  EXPECT_TRUE(mailer->client().host().isEmpty());
  EXPECT_EQ(mailer->client().accountName(), kPresetAccountName);
  EXPECT_FALSE(mailer->client().accountName().isEmpty());
  EXPECT_EQ(mailer->client().password().size(), 6);
  EXPECT_EQ(mailer->client().tlsMode(), smtp::TlsMode::Off);
  EXPECT_EQ(mailer->client().transport(), nullptr);
  EXPECT_TRUE(mailer->sender().isEmpty());

  // Without a mail account nothing is attempted, whatever the presets hold.
  const QString path = writeReport("inventarios11082025.txt");
  EXPECT_EQ(send(Kind::Inventory, path), MailOutcome::NotAttempted);
  EXPECT_TRUE(failures.isEmpty());
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(ReportMailerTest, SetupTakesPortAndTheUsersAccountExactly) {
  openCompany(Company().withPort(" $24B").withTls({}).withoutName());
  mailer->prepararcorreo("O'HARA");  // the quote is doubled inside the literal
  EXPECT_EQ(mailer->client().port(), 587);
  EXPECT_EQ(mailer->sender(), "ohara@acme.example");
  EXPECT_EQ(mailer->client().host(), "mail.acme.example");
  EXPECT_EQ(mailer->client().accountName(), "ohara ");  // blanks kept
  EXPECT_EQ(mailer->client().password(), " clave");
  // The missing TLS row shows the lookup's box and changes nothing.
  EXPECT_EQ(errorBoxes(), 1);
  EXPECT_EQ(mailer->client().tlsMode(), smtp::TlsMode::Off);

  // A user without an e-mail address, and an unknown user, leave the account as it was.
  for (const QByteArray user : {"SINCORREO", "NOEXISTE"}) {
    mailer->prepararcorreo(user);
    EXPECT_EQ(mailer->sender(), "ohara@acme.example") << user.toStdString();
    EXPECT_EQ(mailer->client().host(), "mail.acme.example");
    EXPECT_EQ(mailer->client().accountName(), "ohara ");
    EXPECT_EQ(mailer->client().password(), " clave");
  }
}

TEST_F(ReportMailerTest, PortTextThatIsNoPortEndsTheSetupBeforeTheAccount) {
  for (const QByteArray& text : {QByteArray("25 "), QByteArray("SMTP"), QByteArray("")}) {
    SCOPED_TRACE(text.toStdString());
    mailer.reset();
    openCompany(Company().withPort(text));
    EXPECT_EQ(test::errorOf([&] { mailer->prepararcorreo(kUserCode); }),
              "'" + QString::fromLatin1(text) + "' is not a valid integer value");
    EXPECT_TRUE(mailer->client().host().isEmpty());
    EXPECT_EQ(mailer->client().port(), 25);
  }
  openCompany(Company().withPort("70000"));
  EXPECT_EQ(test::errorOf([&] { mailer->prepararcorreo(kUserCode); }), "Range check error");
}

TEST_F(ReportMailerTest, TlsSwitchOnlyOnExactlySiAndNeverBack) {
  struct Case {
    QByteArray value;
    bool on;
  };
  // "SI" last: its mailer goes on below.
  for (const Case& c : {Case{"si", false}, Case{"SI ", false}, Case{" SI", false},
                        Case{"Si", false}, Case{"", false}, Case{"SI", true}}) {
    SCOPED_TRACE(c.value.toStdString());
    mailer.reset();
    openCompany(Company().withPort("25").withTls(c.value));
    mailer->prepararcorreo(kUserCode);
    EXPECT_EQ(mailer->client().tlsMode() == smtp::TlsMode::Explicit, c.on);
    EXPECT_EQ(mailer->client().transport(), c.on ? &mailer->tlsLayer() : nullptr);
    EXPECT_EQ(mailer->client().port(), c.on ? 587 : 25);
    if (c.on) {
      EXPECT_EQ(mailer->tlsLayer().port(), 587);
      EXPECT_EQ(mailer->tlsLayer().host(), "127.0.0.1");
    }
  }

  // Once on, a later "NO" leaves TLS on, and the configured port stays as configured.
  openCompany(Company().withPort("25").withTls("NO"));
  mailer->prepararcorreo(kUserCode);
  EXPECT_EQ(mailer->client().tlsMode(), smtp::TlsMode::Explicit);
  EXPECT_EQ(mailer->client().transport(), &mailer->tlsLayer());
  EXPECT_EQ(mailer->client().port(), 25);
}

TEST_F(ReportMailerTest, MailsTheFileToRecipientsAndCopyExactly) {
  startServer();
  openCompany(Company());
  const QString inventory = writeReport("inventarios11082025.txt");
  const QString sales = writeReport("ventas11082025.txt");
  mailer->prepararcorreo(kUserCode);
  EXPECT_EQ(send(Kind::Inventory, inventory), MailOutcome::Sent);
  EXPECT_FALSE(mailer->client().connected());
  EXPECT_EQ(send(Kind::Sales, sales), MailOutcome::Sent);
  EXPECT_FALSE(mailer->client().connected());
  EXPECT_TRUE(failures.isEmpty()) << failures.join('\n').toStdString();
  // The company name is looked up for the subject and the body of each mail: no box.
  EXPECT_TRUE(notifier.shown.empty());
  server->stop();

  const QList<ReceivedMail> mails = test::receivedMails(*server);
  ASSERT_EQ(mails.size(), 2);
  const QStringList to{"ana@cliente.example", "luis@cliente.example"};
  test::expectReportMail(mails[0], true, kDate, kCompany, kSender, to, "inventarios11082025.txt",
                         reportBytes());
  test::expectReportMail(mails[1], false, kDate, kCompany, kSender, to, "ventas11082025.txt",
                         reportBytes());
  // One connection per mail, logged in, closed with QUIT.
  for (int session : {1, 2}) {
    const QStringList log = server->sessionLog(session);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().startsWith("EHLO "));
    EXPECT_TRUE(log.contains("AUTH LOGIN")) << log.join(" | ").toStdString();
    EXPECT_EQ(log.last(), "QUIT");
  }
}

TEST_F(ReportMailerTest, SemicolonsAndCommasGiveTheSameRecipientsAndEmptyGivesTheCopyAlone) {
  startServer();
  openCompany(Company());
  const QString path = writeReport("ventas11082025.txt");
  mailer->prepararcorreo(kUserCode);
  for (const QByteArray& list :
       {QByteArray("ana@cliente.example;luis@cliente.example; Eva <eva@cliente.example>"),
        QByteArray("ana@cliente.example,luis@cliente.example, Eva <eva@cliente.example>"),
        QByteArray(""), QByteArray("   ")})
    EXPECT_EQ(send(Kind::Sales, path, list), MailOutcome::Sent) << list.toStdString();
  server->stop();

  const QList<ReceivedMail> mails = test::receivedMails(*server);
  ASSERT_EQ(mails.size(), 4);
  const QStringList three{"ana@cliente.example", "luis@cliente.example", "eva@cliente.example",
                          kCopyAddress};
  EXPECT_EQ(mails[0].rcptTos, three);
  EXPECT_EQ(mails[1].rcptTos, three);
  EXPECT_EQ(mails[0].header("To"), mails[1].header("To"));
  for (int i : {2, 3}) {
    EXPECT_EQ(mails[i].rcptTos, QStringList{kCopyAddress});
    EXPECT_EQ(mails[i].header("Cc"), kCopyAddress);
    EXPECT_TRUE(mails[i].header("To").trimmed().isEmpty()) << mails[i].header("To").toStdString();
  }
}

TEST_F(ReportMailerTest, MissingFileGoesWithoutAttachment) {
  startServer();
  openCompany(Company());
  mailer->prepararcorreo(kUserCode);
  EXPECT_EQ(send(Kind::Inventory, files.filePath("inventarios11082025.txt")), MailOutcome::Sent);
  // A folder at the path is no file either.
  EXPECT_EQ(send(Kind::Inventory, files.path()), MailOutcome::Sent);
  server->stop();
  const QList<ReceivedMail> mails = test::receivedMails(*server);
  ASSERT_EQ(mails.size(), 2);
  for (const ReceivedMail& m : mails)
    test::expectReportMail(m, true, kDate, kCompany, kSender,
                           {"ana@cliente.example", "luis@cliente.example"}, {}, QByteArray());
}

TEST_F(ReportMailerTest, MissingCompanyNameShowsTwoBoxesAndLeavesTwoBlanks) {
  startServer();
  openCompany(Company().withoutName());
  const QString path = writeReport("inventarios11082025.txt");
  mailer->prepararcorreo(kUserCode);
  EXPECT_EQ(errorBoxes(), 0);
  EXPECT_EQ(send(Kind::Inventory, path), MailOutcome::Sent);
  EXPECT_EQ(errorBoxes(), 2);
  for (const test::Shown& s : notifier.shown) EXPECT_EQ(s.title, "Error");
  server->stop();
  const QList<ReceivedMail> mails = test::receivedMails(*server);
  ASSERT_EQ(mails.size(), 1);
  test::expectReportMail(mails[0], true, kDate, "", kSender,
                         {"ana@cliente.example", "luis@cliente.example"}, "inventarios11082025.txt",
                         reportBytes());
}

TEST_F(ReportMailerTest, SendingFailuresAreCaughtAndTheClientIsLeftClosed) {
  // Port 0, then a refused first recipient, then a mail that goes out after both.
  startServer({"--refuse-rcpt", "malo@cliente.example"});
  openCompany(Company().withPort("0"));
  const QString path = writeReport("inventarios11082025.txt");
  mailer->prepararcorreo(kUserCode);
  EXPECT_EQ(send(Kind::Inventory, path), MailOutcome::Failed);
  EXPECT_EQ(failures, QStringList{"A Port is required"});
  EXPECT_FALSE(mailer->client().connected());

  mailer->client().setPort(server->port());
  failures.clear();
  EXPECT_EQ(send(Kind::Inventory, path, "malo@cliente.example, ana@cliente.example"),
            MailOutcome::Failed);
  ASSERT_EQ(failures.size(), 1);
  EXPECT_EQ(failures[0], "<malo@cliente.example>: Recipient address rejected\n");
  EXPECT_FALSE(mailer->client().connected());

  EXPECT_EQ(send(Kind::Sales, path), MailOutcome::Sent);
  EXPECT_EQ(failures.size(), 1);
  server->stop();
  const QStringList refused = server->sessionLog(1);
  EXPECT_EQ(refused.filter("RCPT").size(), 1) << refused.join(" | ").toStdString();
  EXPECT_TRUE(refused.contains("RSET"));
  EXPECT_EQ(refused.last(), "QUIT");
  EXPECT_TRUE(server->messagePath(1).isEmpty());
  EXPECT_FALSE(server->messagePath(2).isEmpty());
}

TEST_F(ReportMailerTest, DatabaseErrorWhileComposingIsNotCaught) {
  startServer();
  openCompany(Company());
  mailer->prepararcorreo(kUserCode);
  // Another company without a configuration table: its lookup fails in the database.
  test::CompanyDb broken(temp.filePath("broken"), "02");
  broken.sql("DROP TABLE configuracion;");
  ASSERT_EQ(broken.build(), "");
  const test::FbLogin login = test::fbTestLogin();
  dm.conectarbase(broken.servidor(test::FbMode::Server), broken.company(), login.user,
                  login.password);
  EXPECT_THROW(send(Kind::Inventory, writeReport("inventarios11082025.txt")), Error);
  EXPECT_TRUE(failures.isEmpty());
  EXPECT_FALSE(mailer->client().connected());
  server->stop();
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}

TEST_F(ReportMailerTest, TlsOnPort25GoesTo587OnTheFirstDayOnlyThenTo25) {
  const QString address = test::freeLoopbackAddress();
  {
    QTcpServer probe;
    if (!probe.listen(QHostAddress(address), 25))
      GTEST_SKIP() << "cannot listen on port 25 here: " << probe.errorString().toStdString();
  }
  const QStringList common{"--host", address, "--make-cert"};
  RealSmtpServer port587(common + QStringList{"--port", "587", "--auth", "jperez:secreto"});
  RealSmtpServer port25(common + QStringList{"--port", "25", "--auth", "jperez:secreto"});
  ASSERT_EQ(port587.port(), 587);
  ASSERT_EQ(port25.port(), 25);
  openCompany(
      {.port = QByteArray("25"), .tls = QByteArray("SI"), .mailServer = address.toLatin1()});

  for (const char* day : {"2025/08/11", "2025/08/12", "2025/08/13"}) {
    mailer->prepararcorreo(kUserCode);
    for (Kind kind : {Kind::Inventory, Kind::Sales})
      EXPECT_EQ(send(kind, writeReport("f.txt"), "ana@cliente.example", day), MailOutcome::Sent)
          << day << failures.join('\n').toStdString();
  }
  port587.stop();
  port25.stop();
  const QList<ReceivedMail> first = test::receivedMails(port587);
  const QList<ReceivedMail> later = test::receivedMails(port25);
  ASSERT_EQ(first.size(), 2);
  ASSERT_EQ(later.size(), 4);
  EXPECT_EQ(first[0].bodyLines().first(),
            "Adjunto reporte de inventarios 2025/08/11 " + QByteArray(kCompany));
  EXPECT_EQ(first[1].bodyLines().first(),
            "Adjunto reporte de ventas 2025/08/11 " + QByteArray(kCompany));
  EXPECT_TRUE(later[0].bodyLines().first().contains("2025/08/12"));
  EXPECT_TRUE(later[3].bodyLines().first().contains("2025/08/13"));
  // Every connection was upgraded before logging in.
  for (const RealSmtpServer* s : {&port587, &port25})
    for (int session = 1; !s->sessionLog(session).isEmpty(); ++session) {
      const QStringList log = s->sessionLog(session);
      EXPECT_GT(log.indexOf("AUTH LOGIN"), log.indexOf("STARTTLS"))
          << log.join(" | ").toStdString();
      EXPECT_GE(log.indexOf("STARTTLS"), 0);
    }
}

}  // namespace
}  // namespace zavelo::mail
