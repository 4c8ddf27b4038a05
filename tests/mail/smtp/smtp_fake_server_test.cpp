// The SMTP client against a scripted server, for what real servers rarely do: refusals at
// every step, 421 at any step, odd capability lines, replies in pieces, dropped connections,
// silence, and a host whose first address never answers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <thread>

#include "fake_smtp_server.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_timeouts.h"
#include "real_smtp_server.h"
#include "support/error_of.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

using namespace std::chrono_literals;
using test::errorOf;
using test::FakeSmtpServer;
using Script = QList<QByteArray>;

// The fake server judges the client by its script, and says at which step and why a client
// went astray; a test that passed would prove nothing if it did not.
TEST(FakeSmtpServerScript, SaysWhereAndWhyTheClientWentAstray) {
  const struct {
    Script script;
    QByteArray client;  // what the client sends before it closes
    QString failure;
  } cases[] = {
      {{"S:220 hi", "C:EHLO a", "S:250 ok", "E"}, "EHLO a\r\n", ""},
      {{"S:220 hi", "C:EHLO a"}, "HELO a\r\n", "step 2 (C:EHLO a): the client sent HELO a"},
      {{"S:220 hi", "C:EHLO a"}, "", "step 2 (C:EHLO a): the client sent nothing"},
      {{"S:220 hi", "D"}, "line\r\n", "step 2 (D): the data did not end with \".\""},
      {{"S:220 hi", "E"}, "QUIT\r\n", "step 2 (E): the client sent QUIT\r\n"},
      {{"S:220 hi", "Q"}, "", "step 2 (Q): unknown script line"},
      {{"S:220 hi", "X", "C:never read"}, "", ""},
  };
  for (const auto& c : cases) {
    FakeSmtpServer server(c.script, 2000);
    const quint16 port = server.start();
    ASSERT_NE(port, 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(c.client);
    client.waitForBytesWritten(5000);
    client.waitForReadyRead(500);
    client.disconnectFromHost();
    EXPECT_EQ(server.finish(), c.failure) << c.script.join(" | ").toStdString();
  }
}

const QByteArray kEhlo = "C:EHLO " + SmtpClient::greetingName();
const QByteArray kHelo = "C:HELO " + SmtpClient::greetingName();

void setUp(SmtpClient& client, quint16 port) {
  client.setHost("127.0.0.1");
  client.setPort(port);
  client.setTimeouts(test::everyTimeout(5s));
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

// The greeting and an EHLO reply with these capability lines.
Script greetingAndEhlo(const QList<QByteArray>& capabilities = {}) {
  Script script = {"S:220 mail.example.com ESMTP", kEhlo};
  if (capabilities.isEmpty()) return script + Script{"S:250 mail.example.com"};
  script += "S:250-mail.example.com";
  for (qsizetype i = 0; i < capabilities.size(); ++i)
    script += (i + 1 < capabilities.size() ? "S:250-" : "S:250 ") + capabilities[i];
  return script;
}

// AUTH LOGIN of cuenta/clave; the server's last reply is given.
Script authLogin(const QByteArray& lastReply = "S:235 2.7.0 Authentication successful") {
  return {"C:AUTH LOGIN",
          "S:334 VXNlcm5hbWU6",
          "C:" + QByteArray("cuenta").toBase64(),
          "S:334 UGFzc3dvcmQ6",
          "C:" + QByteArray("clave").toBase64(),
          lastReply};
}

const Script kMail = {"C:MAIL FROM:<de@example.com>", "S:250 ok"};
const Script kRcpt = {"C:RCPT TO:<para@example.com>", "S:250 ok"};
const Script kData = {"C:DATA", "S:354 go ahead", "D"};
const Script kTransaction = kMail + kRcpt + kData + Script{"S:250 queued"};
const Script kStartTls = {"C:STARTTLS", "S:220 go ahead"};
const Script kQuit = {"C:QUIT", "S:221 bye", "X"};
// The client closes the connection without another command.
const Script kClosed = {"E"};

// A listener on a loopback address that accepts nothing: its one-place queue is filled, so the
// kernel drops every further attempt to connect, as a broken route does.
class Blackhole {
 public:
  explicit Blackhole(quint16 port) : address_(test::freeLoopbackAddress()) {
    server_.setListenBacklogSize(0);
    if (!server_.listen(address_, port)) return;
    filler_.connectToHost(address_, port);
    filler_.waitForConnected(2000);
    // Nothing connects any more.
    QTcpSocket probe;
    probe.connectToHost(address_, port);
    listening_ = !probe.waitForConnected(300);
  }
  bool listening() const { return listening_; }
  const QHostAddress& address() const { return address_; }

 private:
  QHostAddress address_;
  QTcpServer server_;
  QTcpSocket filler_;
  bool listening_ = false;
};

// What a failure case may change before the dialogue starts.
struct CaseSetup {
  SmtpClient& client;
  MailMessage& message;
  const test::TempDir& files;
  quint16 port;
  std::unique_ptr<Blackhole>& blackhole;
};

enum class Step { Connect, Send };

struct FailureCase {
  const char* name;
  Script script;
  Step failsAt;
  QString error;
  // A refusal within the transaction leaves the connection open (QUIT follows); anything else
  // closes it.
  bool stillConnected = false;
  std::function<void(CaseSetup&)> prepare = {};
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class SmtpFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SmtpFailure, ReportsTheErrorAndSendsNothingMore) {
  const FailureCase& c = GetParam();
  FakeSmtpServer server(c.script);
  SmtpClient client;
  const quint16 port = server.start();
  ASSERT_NE(port, 0);
  setUp(client, port);
  MailMessage message = simpleMessage();
  test::TempDir files;
  std::unique_ptr<Blackhole> blackhole;
  CaseSetup setup{client, message, files, port, blackhole};
  if (c.prepare) c.prepare(setup);

  std::optional<Error> caught = test::caught([&] { client.connectToServer(); });
  if (c.failsAt == Step::Send) {
    ASSERT_FALSE(caught) << caught->message().toStdString();
    caught = test::caught([&] { client.send(message); });
  }
  EXPECT_EQ(caught ? std::optional(caught->message()) : std::nullopt, c.error);
  // Whatever the server did, the error says it came from the mail server's dialogue.
  if (caught) {
    EXPECT_EQ(caught->kind(), Error::Kind::Smtp);
  }
  EXPECT_EQ(client.connected(), c.stillConnected);
  client.disconnectFromServer();  // QUIT only when still connected
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

void shortWait(CaseSetup& s, std::chrono::milliseconds SmtpClient::Timeouts::*which) {
  SmtpClient::Timeouts t = s.client.timeouts();
  t.*which = 300ms;
  s.client.setTimeouts(t);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpFailure,
    ::testing::Values(
        FailureCase{"GreetingRefused",
                    {"S:554-5.3.2 No service here", "S:554 5.3.2 Try later", "E"},
                    Step::Connect,
                    "No service here\nTry later\n"},
        FailureCase{"GreetingTimeOut",
                    kClosed,
                    Step::Connect,
                    "Timed out waiting for the server's greeting.",
                    false,
                    [](CaseSetup& s) { shortWait(s, &SmtpClient::Timeouts::greeting); }},
        FailureCase{"ClosedAfterTheGreeting",
                    {"S:220 hi", "X"},
                    Step::Connect,
                    "Connection Closed Gracefully."},
        FailureCase{"EndlessReplyLine",
                    {"S:220 " + QByteArray(100 * 1024, 'x'), "E"},
                    Step::Connect,
                    "The server sent a reply line longer than 64 KiB; the connection was dropped."},
        FailureCase{"EhloRefusedThenHeloRefused",
                    {"S:220 hi", kEhlo, "S:500 5.5.1 unknown command", kHelo,
                     "S:501 5.5.4 HELO refused", "E"},
                    Step::Connect,
                    "HELO refused\n"},
        // 421 is the server closing: no HELO after it, nor any other command.
        FailureCase{"EhloAnswered421",
                    {"S:220 hi", kEhlo, "S:421 4.3.2 Service not available", "E"},
                    Step::Connect,
                    "Service not available\n"},
        FailureCase{"StartTlsRefused",
                    greetingAndEhlo({"STARTTLS"}) +
                        Script{"C:STARTTLS",
                               "S:454 4.7.0 TLS not available due to temporary reason", "E"},
                    Step::Send,
                    "Start SSL negotiation command failed.",
                    false,
                    [](CaseSetup& s) { s.client.switchToExplicitTls(); }},
        FailureCase{"StartTlsWithoutTlsImplementation",
                    greetingAndEhlo({"starttls"}) + kStartTls + kClosed,
                    Step::Send,
                    "SSL negotiation failed.",
                    false,
                    [](CaseSetup& s) {
                      s.client.setTlsAvailableOverride(false);
                      s.client.switchToExplicitTls();
                    }},
        // Strict TLS: a server that does not allow it hears nothing but QUIT, whatever the TLS
        // mode the configuration asked for.
        FailureCase{"StrictWithoutStartTls",
                    greetingAndEhlo({"AUTH LOGIN"}) + kQuit,
                    Step::Send,
                    QString::fromUtf8("TLS estricto: el servidor 127.0.0.1 no ofrece STARTTLS. "
                                      "No se envió el usuario ni el correo."),
                    true,
                    [](CaseSetup& s) { s.client.setTlsPolicy({.strict = true}); }},
        FailureCase{"StrictStartTlsRefused",
                    greetingAndEhlo({"STARTTLS", "AUTH LOGIN"}) +
                        Script{"C:STARTTLS",
                               "S:454 4.7.0 TLS not available due to temporary reason", "E"},
                    Step::Send,
                    QString::fromUtf8("TLS estricto: el servidor 127.0.0.1 rechazó STARTTLS: TLS "
                                      "not available due to temporary reason. No se envió el "
                                      "usuario ni el correo."),
                    false,
                    [](CaseSetup& s) {
                      s.client.switchToExplicitTls();
                      s.client.setTlsPolicy({.strict = true});
                    }},
        FailureCase{"StrictHandshakeFails",
                    greetingAndEhlo({"STARTTLS"}) + kStartTls +
                        Script{"W:200", "S:this is not a TLS server hello", "X"},
                    Step::Send,
                    QString::fromUtf8("TLS estricto: falló la negociación TLS con 127.0.0.1: SSL "
                                      "negotiation failed. No se envió el usuario ni el correo."),
                    false,
                    [](CaseSetup& s) { s.client.setTlsPolicy({.strict = true}); }},
        FailureCase{"HandshakeFails",
                    greetingAndEhlo({"STARTTLS"}) + kStartTls +
                        Script{"W:200", "S:this is not a TLS server hello", "X"},
                    Step::Send,
                    "SSL negotiation failed.",
                    false,
                    [](CaseSetup& s) { s.client.switchToExplicitTls(); }},
        FailureCase{"HandshakeTimeOut",
                    greetingAndEhlo({"STARTTLS"}) + kStartTls + Script{"W:1000", "X"},
                    Step::Send,
                    "Timed out waiting for the TLS handshake.",
                    false,
                    [](CaseSetup& s) {
                      s.client.switchToExplicitTls();
                      shortWait(s, &SmtpClient::Timeouts::command);
                    }},
        FailureCase{"AuthRefused",
                    greetingAndEhlo({"AUTH LOGIN"}) +
                        authLogin("S:535 5.7.8 Authentication credentials invalid") + kQuit,
                    Step::Send,
                    "Authentication credentials invalid\n",
                    true},
        FailureCase{"AuthAnswered421",
                    greetingAndEhlo({"AUTH LOGIN"}) +
                        authLogin("S:421 4.7.0 Too many failed attempts") + kClosed,
                    Step::Send,
                    "Too many failed attempts\n"},
        FailureCase{"MailFromRefused",
                    greetingAndEhlo() +
                        Script{"C:MAIL FROM:<de@example.com>", "S:550 5.7.1 Sender rejected"} +
                        kQuit,
                    Step::Send,
                    "Sender rejected\n",
                    true},
        FailureCase{"MailFromAnswered421",
                    greetingAndEhlo() +
                        Script{"C:MAIL FROM:<de@example.com>", "S:421 4.3.0 Try again later"} +
                        kClosed,
                    Step::Send,
                    "Try again later\n"},
        FailureCase{"CopyRecipientRefused",
                    greetingAndEhlo() + kMail + kRcpt +
                        Script{"C:RCPT TO:<copia@example.com>", "S:450 4.2.1 Mailbox busy",
                               "C:RSET", "S:250 ok"} +
                        kQuit,
                    Step::Send,
                    "Mailbox busy\n",
                    true,
                    [](CaseSetup& s) {
                      s.message.ccList().setText("copia@example.com; otra@example.com");
                    }},
        // A local part beyond ASCII cannot be encoded: it goes as it stands, and the server's
        // refusal is the error.
        // A local part beyond ASCII never reaches the wire, where a server could read it as
        // another mailbox.
        FailureCase{"ForeignLocalPartNeverSent",
                    greetingAndEhlo() + kQuit,
                    Step::Send,
                    QString::fromUtf8("Direcci\u00f3n de correo no v\u00e1lida: "
                                      "\u00abp\u00e9rez@example.com\u00bb (una direcci\u00f3n no "
                                      "lleva espacios ni caracteres fuera de ASCII); el correo no "
                                      "se envi\u00f3 a nadie."),
                    true,
                    [](CaseSetup& s) { s.message.recipients().setText("p\xE9rez@example.com"); }},
        FailureCase{"DataRefused",
                    greetingAndEhlo() + kMail +
                        Script{"C:RCPT TO:<para@example.com>", "S:251 forwarded", "C:DATA",
                               "S:554 5.5.1 No valid recipients", "C:RSET", "S:250 ok"} +
                        kQuit,
                    Step::Send,
                    "No valid recipients\n",
                    true},
        FailureCase{"DataAnswered421",
                    greetingAndEhlo() + kMail + kRcpt +
                        Script{"C:DATA", "S:421 4.3.2 Shutting down"} + kClosed,
                    Step::Send,
                    "Shutting down\n"},
        FailureCase{"EndOfDataRefused",
                    greetingAndEhlo() + kMail + kRcpt + kData +
                        Script{"S:552 5.3.4 Too big", "C:RSET", "S:250 ok"} + kQuit,
                    Step::Send,
                    "Too big\n",
                    true},
        FailureCase{"EndOfDataAnswered421",
                    greetingAndEhlo() + kMail + kRcpt + kData +
                        Script{"S:421 4.3.2 Out of disk"} + kClosed,
                    Step::Send,
                    "Out of disk\n"},
        FailureCase{"EndOfDataTimeOut",
                    greetingAndEhlo() + kMail + kRcpt + kData + kClosed,
                    Step::Send,
                    "Timed out waiting for the reply to the end of the message.",
                    false,
                    [](CaseSetup& s) { shortWait(s, &SmtpClient::Timeouts::dataEnd); }},
        FailureCase{"DroppedInTheMiddleOfData",
                    greetingAndEhlo() + kMail + kRcpt + Script{"C:DATA", "S:354 go", "C*", "X"},
                    Step::Send,
                    "Connection Closed Gracefully.",
                    false,
                    [](CaseSetup& s) {
                      s.message.addAttachment(s.files.write("big.bin", QByteArray(4000000, 'b')));
                    }},
        // The server stops reading: the message cannot be handed over within the time of a
        // block (it is larger than what the connection's buffers take).
        FailureCase{"DataBlockTimeOut",
                    greetingAndEhlo() + kMail + kRcpt + Script{"C:DATA", "S:354 go", "W:1500", "X"},
                    Step::Send,
                    "Timed out waiting for the server to take the message data.",
                    false,
                    [](CaseSetup& s) {
                      QFile file(s.files.filePath("huge.bin"));
                      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                      ASSERT_TRUE(file.resize(48 * 1024 * 1024));
                      file.close();
                      s.message.addAttachment(file.fileName());
                      shortWait(s, &SmtpClient::Timeouts::dataBlock);
                    }},
        // An address a server would misread goes nowhere, nor does the mail to anyone else:
        // it fails before MAIL FROM (and before AUTH), naming the entry.
        FailureCase{"RecipientWithABlank",
                    greetingAndEhlo({"AUTH LOGIN"}) + kQuit,
                    Step::Send,
                    QString::fromUtf8("Direcci\u00f3n de correo no v\u00e1lida: \u00abLuis Perez\u00bb "
                                      "(una direcci\u00f3n no lleva espacios ni caracteres fuera de "
                                      "ASCII); el correo no se envi\u00f3 a nadie."),
                    true,
                    [](CaseSetup& s) {
                      s.message.recipients().setText("para@example.com, Luis Perez");
                    }},
        FailureCase{"CopyAddressBeyondAscii",
                    greetingAndEhlo() + kQuit,
                    Step::Send,
                    QString::fromUtf8("Direcci\u00f3n de correo no v\u00e1lida: \u00abPepe "
                                      "<jos\u00e9@example.com>\u00bb (una direcci\u00f3n no lleva "
                                      "espacios ni caracteres fuera de ASCII); el correo no se "
                                      "envi\u00f3 a nadie."),
                    true,
                    [](CaseSetup& s) { s.message.ccList().setText("Pepe <jos\xE9@example.com>"); }},
        // Every address fails: the first never answers, the second refuses; the connect limit
        // decides.
        FailureCase{"NoAddressConnects",
                    {},
                    Step::Connect,
                    "Timed out waiting for the connection to the server.",
                    false,
                    [](CaseSetup& s) {
                      QTcpServer probe;  // a port where nothing listens on the second address
                      ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
                      const quint16 closed = probe.serverPort();
                      probe.close();
                      s.blackhole = std::make_unique<Blackhole>(closed);
                      ASSERT_TRUE(s.blackhole->listening());
                      s.client.setPort(closed);
                      s.client.setAddressesOverride(
                          QList<QHostAddress>{s.blackhole->address(), QHostAddress::LocalHost});
                      shortWait(s, &SmtpClient::Timeouts::connect);
                    }}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(SmtpFakeServer, FirstAddressNeverAnswersTheSecondTakesTheMail) {
  FakeSmtpServer server(greetingAndEhlo() + kTransaction + kQuit);
  SmtpClient client;
  const quint16 port = server.start();
  ASSERT_NE(port, 0);
  setUp(client, port);
  Blackhole blackhole(port);
  ASSERT_TRUE(blackhole.listening());
  SmtpClient::Timeouts t = client.timeouts();
  t.connect = 60s;
  client.setTimeouts(t);
  client.setAddressesOverride(QList<QHostAddress>{blackhole.address(), QHostAddress::LocalHost});
  QElapsedTimer timer;
  timer.start();
  client.connectToServer();
  EXPECT_LT(timer.elapsed(), 3000);  // the fall-through delay, not the connect limit
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, HeloFallbackSendsWithoutCapabilitiesOrAuth) {
  FakeSmtpServer server(
      Script{"S:220 old server", kEhlo, "S:500 unknown command", kHelo, "S:250 hello"} +
      kTransaction + kQuit);
  SmtpClient client;
  setUp(client, server.start());
  client.switchToExplicitTls();  // nothing to upgrade with: no capabilities after HELO
  client.connectToServer();
  EXPECT_TRUE(client.capabilities().isEmpty());
  client.send(simpleMessage());
  client.disconnectFromServer();
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
  Script script = greetingAndEhlo({c.capability, "8BITMIME"});
  if (c.offersLogin) script += authLogin();
  FakeSmtpServer server(script + kTransaction + kQuit);
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
  FakeSmtpServer server(greetingAndEhlo({"AUTH LOGIN"}) +
                        Script{"C:AUTH LOGIN", "S:334 VXNlcm5hbWU6",
                               "C:" + QByteArray("cuenta").toBase64(), "S:235 ok"} +
                        kTransaction + kQuit);
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, MultiLineGreetingAndSplitRepliesAreReadWhole) {
  Script script = {"S:220-mail.example.com ESMTP", "S:220-second line", "S:220 third line", kEhlo,
                   // One EHLO reply in three writes, cut inside lines.
                   "R:25", "R:0-mail.example.com\\r\\n250-AUTH LO",
                   "R:GIN\\r\\n250 SIZE 100\\r\\n"};
  script += authLogin("R:235 2.7.0 Authentica");
  script += "R:tion successful\\r\\n";
  FakeSmtpServer server(script + kTransaction + kQuit);
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  EXPECT_EQ(client.capabilities(), QList<QByteArray>({"AUTH LOGIN", "SIZE 100"}));
  client.send(simpleMessage());
  client.disconnectFromServer();
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, QuitFailureIsIgnored) {
  FakeSmtpServer server(greetingAndEhlo() + Script{"C:QUIT", "X"});
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  client.disconnectFromServer();
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
}

TEST(SmtpFakeServer, DotStuffingOfTheMessage) {
  FakeSmtpServer server(greetingAndEhlo() + kTransaction + kQuit);
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

// A file that is cut short while it is sent: the connection is dropped before the final ".",
// so the server never takes a message cut short.
TEST(SmtpFakeServer, FileCutShortWhileSentDropsTheConnectionWithoutTheEnd) {
  test::TempDir files;
  const QString path = files.write("cambia.txt", QByteArray(3000000, 'c'));
  MailMessage message = simpleMessage();
  message.addAttachment(path);
  // The file is opened when the send starts; the server holds back its reply to MAIL FROM
  // while the file shrinks, so the data that follows meets the shorter file part way through.
  FakeSmtpServer server(greetingAndEhlo() +
                        Script{"C:MAIL FROM:<de@example.com>", "W:1000", "S:250 ok"} + kRcpt +
                        Script{"C:DATA", "S:354 go", "T"});
  SmtpClient client;
  setUp(client, server.start());
  client.connectToServer();
  std::thread shrink([&] {
    std::this_thread::sleep_for(300ms);
    QFile::resize(path, 1000000);
  });
  const std::optional<QString> error = errorOf([&] { client.send(message); });
  shrink.join();
  EXPECT_EQ(error, QStringLiteral("The attachment %1 changed while it was being sent; the "
                                  "message was not sent.")
                       .arg(path));
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(server.finish(), "");
  // Part of the file went out before the change was seen.
  EXPECT_GT(server.data().size(), 100000);
}

TEST(SmtpConnect, ErrorsBeforeAnyDialogue) {
  SmtpClient client;
  client.setTimeouts(test::everyTimeout(5s));
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
