// The SMTP client against a scripted server, for what real servers rarely do: refusals at
// every step, odd capability lines, replies in pieces, dropped connections, silence.
#include <gtest/gtest.h>

#include <QTcpServer>

#include "common/error.h"
#include "fake_smtp_server.h"
#include "mail/smtp/smtp_client.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

using namespace std::chrono_literals;
using test::FakeSmtpServer;

const QByteArray kEhlo = "C:EHLO " + SmtpClient::greetingName();
const QByteArray kHelo = "C:HELO " + SmtpClient::greetingName();

SmtpClient::Timeouts quickTimeouts() {
  SmtpClient::Timeouts t;
  t.connect = t.greeting = t.command = t.mail = t.rcpt = t.data = t.dataBlock = t.dataEnd = 5s;
  return t;
}

void setUp(SmtpClient& client, quint16 port) {
  client.setHost("127.0.0.1");
  client.setPort(port);
  client.setTimeouts(quickTimeouts());
  client.setAccountName("cuenta");
  client.setPassword("clave");
}

MailMessage simpleMessage() {
  MailMessage m;
  m.setSender("de@example.com");
  m.recipients().setText("para@example.com");
  m.setSubject("Asunto");
  m.setBodyText("Hola");
  return m;
}

// The text of the Error that f throws, or a note that it threw none.
template <typename F>
QString errorOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.message();
  }
  return QStringLiteral("(no error)");
}

const QList<QByteArray> kPlainTransaction = {"C:MAIL FROM:<de@example.com>",
                                             "S:250 ok",
                                             "C:RCPT TO:<para@example.com>",
                                             "S:250 ok",
                                             "C:DATA",
                                             "S:354 go ahead",
                                             "D",
                                             "S:250 queued"};
const QList<QByteArray> kQuit = {"C:QUIT", "S:221 bye", "X"};

TEST(SmtpFakeServer, EhloRefusedWith421ThenHeloRefusedClosesWithoutQuit) {
  FakeSmtpServer server({"S:220 mail.example.com ESMTP", kEhlo, "S:421 4.3.2 Service not available",
                         kHelo, "S:501 5.5.4 HELO refused", "E"});
  SmtpClient client;
  setUp(client, server.start());
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "HELO refused\n");
  EXPECT_FALSE(client.connected());
  client.disconnectFromServer();  // nothing left to close: no QUIT
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, HeloFallbackSendsWithoutCapabilitiesOrAuth) {
  QList<QByteArray> script = {"S:220 old server", kEhlo, "S:500 unknown command", kHelo,
                              "S:250 hello"};
  script += kPlainTransaction;
  script += kQuit;
  FakeSmtpServer server(script);
  SmtpClient client;
  setUp(client, server.start());
  client.switchToExplicitTls();  // nothing to upgrade with: no capabilities after HELO
  client.connectToServer();
  EXPECT_TRUE(client.capabilities().isEmpty());
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, GreetingRefusedReportsItsTextWithoutQuit) {
  FakeSmtpServer server({"S:554-5.3.2 No service here", "S:554 5.3.2 Try later", "E"});
  SmtpClient client;
  setUp(client, server.start());
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "No service here\nTry later\n");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

// Which capability lines offer AUTH LOGIN.
struct AuthCase {
  const char* capability;
  bool offersLogin;
};

void PrintTo(const AuthCase& c, std::ostream* os) {
  *os << '"' << c.capability << '"';
}

class SmtpAuthCapability : public ::testing::TestWithParam<AuthCase> {};

TEST_P(SmtpAuthCapability, AuthLoginOnlyWhenAnAuthLineNamesLogin) {
  const AuthCase c = GetParam();
  QList<QByteArray> script = {"S:220 hi", kEhlo, "S:250-mail.example.com",
                              QByteArray("S:250-") + c.capability, "S:250 8BITMIME"};
  if (c.offersLogin)
    script += {"C:AUTH LOGIN",
               "S:334 VXNlcm5hbWU6",
               "C:" + QByteArray("cuenta").toBase64(),
               "S:334 UGFzc3dvcmQ6",
               "C:" + QByteArray("clave").toBase64(),
               "S:235 2.7.0 ok"};
  script += kPlainTransaction;
  script += kQuit;
  FakeSmtpServer server(script);
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  client.send(simpleMessage());
  EXPECT_TRUE(client.authenticated());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SmtpAuthCapability,
    ::testing::Values(AuthCase{"AUTH=LOGIN", true}, AuthCase{"AUTH PLAIN LOGIN", true},
                      AuthCase{"auth plain login", true}, AuthCase{"AUTH=PLAIN LOGIN", true},
                      AuthCase{"AUTH LOGIN=PLAIN", true}, AuthCase{"AUTH PLAIN", false},
                      AuthCase{"AUTHLOGIN", false}, AuthCase{"AUTH LOGINX CRAM-MD5", false},
                      AuthCase{"X-AUTH LOGIN", false}, AuthCase{"SIZE 1000", false}));

TEST(SmtpFakeServer, AccountAcceptedWithoutPasswordStep) {
  QList<QByteArray> script = {"S:220 hi",
                              kEhlo,
                              "S:250-x",
                              "S:250 AUTH LOGIN",
                              "C:AUTH LOGIN",
                              "S:334 VXNlcm5hbWU6",
                              "C:" + QByteArray("cuenta").toBase64(),
                              "S:235 ok"};
  script += kPlainTransaction;
  script += kQuit;
  FakeSmtpServer server(script);
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, StartTlsRefusedWith454) {
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250-x", "S:250 STARTTLS", "C:STARTTLS",
                         "S:454 4.7.0 TLS not available due to temporary reason", "E"});
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(simpleMessage()); }),
            "Start SSL negotiation command failed.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, StartTlsWithoutTlsImplementationFails) {
  FakeSmtpServer server(
      {"S:220 hi", kEhlo, "S:250-x", "S:250 starttls", "C:STARTTLS", "S:220 go ahead", "E"});
  SmtpClient client;
  client.setTlsAvailableOverride(false);
  client.switchToExplicitTls();
  setUp(client, server.start());
  client.connectToServer();  // connecting works without TLS
  EXPECT_EQ(errorOf([&] { client.authenticate(); }), "SSL negotiation failed.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, FailedHandshakeFails) {
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250-x", "S:250 STARTTLS", "C:STARTTLS",
                         "S:220 go ahead", "W:200", "S:this is not a TLS server hello", "X"});
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.authenticate(); }), "SSL negotiation failed.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, ConnectionClosedAfterTheGreeting) {
  FakeSmtpServer server({"S:220 hi", "X"});
  SmtpClient client;
  setUp(client, server.start());
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "Connection Closed Gracefully.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, DropInTheMiddleOfData) {
  test::TempDir files;
  QByteArray big;
  for (int i = 0; i < 200000; ++i) big += static_cast<char>(i * 7);
  MailMessage message = simpleMessage();
  message.addAttachment(files.write("big.bin", big.repeated(20)));
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250 x", "C:MAIL FROM:<de@example.com>", "S:250 ok",
                         "C:RCPT TO:<para@example.com>", "S:250 ok", "C:DATA", "S:354 go", "C*",
                         "X"});
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(message); }), "Connection Closed Gracefully.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, MultiLineGreetingAndSplitRepliesAreReadWhole) {
  QList<QByteArray> script = {
      "S:220-mail.example.com ESMTP", "S:220-second line", "S:220 third line", kEhlo,
      // One EHLO reply in three writes, cut inside lines.
      "R:25", "R:0-mail.example.com\\r\\n250-AUTH LO", "R:GIN\\r\\n250 SIZE 100\\r\\n",
      "C:AUTH LOGIN", "S:334 VXNlcm5hbWU6", "C:" + QByteArray("cuenta").toBase64(),
      "S:334 UGFzc3dvcmQ6", "C:" + QByteArray("clave").toBase64(), "R:235 2.7.0 Authentica",
      "R:tion successful\\r\\n"};
  script += kPlainTransaction;
  script += kQuit;
  FakeSmtpServer server(script);
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(client.capabilities(), QList<QByteArray>({"AUTH LOGIN", "SIZE 100"}));
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, EndlessReplyLineIsAnError) {
  FakeSmtpServer server({"S:220 " + QByteArray(100 * 1024, 'x'), "E"});
  SmtpClient client;
  setUp(client, server.start());
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }),
            "The server sent a reply line longer than 64 KiB; the connection was dropped.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, SilentServerTimesOut) {
  FakeSmtpServer server({"E"});
  SmtpClient client;
  setUp(client, server.start());
  SmtpClient::Timeouts t = quickTimeouts();
  t.greeting = 300ms;
  client.setTimeouts(t);
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }),
            "Timed out waiting for the server's greeting.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, SilenceAfterTheDataTimesOut) {
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250 x", "C:MAIL FROM:<de@example.com>", "S:250 ok",
                         "C:RCPT TO:<para@example.com>", "S:250 ok", "C:DATA", "S:354 go", "D",
                         "E"});
  SmtpClient client;
  setUp(client, server.start());
  SmtpClient::Timeouts t = quickTimeouts();
  t.dataEnd = 300ms;
  client.setTimeouts(t);
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(simpleMessage()); }),
            "Timed out waiting for the reply to the end of the message.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, RefusedDataAndRefusedEndOfDataAreFollowedByRset) {
  const QList<QByteArray> start = {"S:220 hi",        kEhlo,
                                   "S:250 x",         "C:MAIL FROM:<de@example.com>",
                                   "S:250 ok",        "C:RCPT TO:<para@example.com>",
                                   "S:251 forwarded", "C:DATA"};
  {
    FakeSmtpServer server(
        start + QList<QByteArray>{"S:554 5.5.1 No valid recipients", "C:RSET", "S:250 ok"} + kQuit);
    SmtpClient client;
    setUp(client, server.start());
    client.connectToServer();
    EXPECT_EQ(errorOf([&] { client.send(simpleMessage()); }), "No valid recipients\n");
    client.disconnectFromServer();
    EXPECT_EQ(server.finish(), "");
  }
  {
    FakeSmtpServer server(
        start + QList<QByteArray>{"S:354 go", "D", "S:552 5.3.4 Too big", "C:RSET", "S:250 ok"} +
        kQuit);
    SmtpClient client;
    setUp(client, server.start());
    client.connectToServer();
    EXPECT_EQ(errorOf([&] { client.send(simpleMessage()); }), "Too big\n");
    client.disconnectFromServer();
    EXPECT_EQ(server.finish(), "");
  }
}

TEST(SmtpFakeServer, RefusedCopyRecipientStopsLaterAddresses) {
  MailMessage message = simpleMessage();
  message.ccList().setText("copia@example.com; otra@example.com");
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250 x", "C:MAIL FROM:<de@example.com>", "S:250 ok",
                         "C:RCPT TO:<para@example.com>", "S:250 ok",
                         "C:RCPT TO:<copia@example.com>", "S:450 4.2.1 Mailbox busy", "C:RSET",
                         "S:250 ok", "C:QUIT", "S:221 bye", "X"});
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(message); }), "Mailbox busy\n");
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, QuitFailureIsIgnored) {
  FakeSmtpServer server({"S:220 hi", kEhlo, "S:250 x", "C:QUIT", "X"});
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  client.disconnectFromServer();
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, DotStuffingOfTheMessage) {
  QList<QByteArray> script = {"S:220 hi", kEhlo, "S:250 x"};
  script += kPlainTransaction;
  script += kQuit;
  FakeSmtpServer server(script);
  SmtpClient client;
  setUp(client, server.start());
  MailMessage message = simpleMessage();
  message.setBodyText(".\r\n..\r\n.x");
  client.connectToServer();
  client.send(message);
  client.disconnectFromServer();
  ASSERT_EQ(server.finish(), "");
  // The server's "D" reads raw lines: every line that began with "." arrives with two.
  EXPECT_TRUE(server.data().endsWith("\r\n\r\n..\r\n...\r\n..x\r\n"))
      << server.data().right(40).toStdString();
}

TEST(SmtpConnect, ErrorsBeforeAnyDialogue) {
  SmtpClient client;
  client.setTimeouts(quickTimeouts());
  client.setHost("127.0.0.1");
  client.setPort(0);
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "A Port is required");
  client.setHost("");
  client.setPort(25);
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "A Host is required");

  // A port where nothing listens.
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const quint16 freePort = probe.serverPort();
  probe.close();
  client.setHost("127.0.0.1");
  client.setPort(freePort);
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }),
            "Socket Error # 10061\nConnection refused.");

  client.setHost("no-such-host.invalid");
  EXPECT_EQ(errorOf([&] { client.connectToServer(); }), "Socket Error # 11001\nHost not found.");
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(errorOf([&] { client.send(simpleMessage()); }), "Not Connected");
}

}  // namespace
}  // namespace zavelo::smtp
