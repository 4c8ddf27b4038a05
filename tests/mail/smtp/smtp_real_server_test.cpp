// The SMTP client against a real server (aiosmtpd on loopback): what it sends is read back
// with Python's own MIME parser, so the message format is judged by an independent reader.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslCertificate>

#include "common/cp1252.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_timeouts.h"
#include "message_table.h"
#include "real_smtp_server.h"
#include "support/error_of.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

using test::errorOf;
using test::readMail;
using test::RealSmtpServer;

QByteArray allByteValues() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

// The header fields of a parsed message, in their order, as [name, decoded value].
QList<std::pair<QString, QString>> headers(const QJsonObject& mail) {
  QList<std::pair<QString, QString>> out;
  for (const QJsonValue& h : mail["headers"].toArray())
    out.append({h.toArray()[0].toString(), h.toArray()[2].toString()});
  return out;
}

QString header(const QJsonObject& mail, const QString& name) {
  for (const auto& [n, v] : headers(mail))
    if (n.compare(name, Qt::CaseInsensitive) == 0) return v;
  return {};
}

QByteArray fromBase64(const QJsonValue& v) {
  return QByteArray::fromBase64(v.toString().toLatin1());
}

// A mail program of today reads the body as the text it is (its bytes are Windows-1252, as the
// body part says), with no replacement characters.
void expectBodyReadsAsWritten(const QJsonObject& mail, const MailMessage& message) {
  QString read = mail["body_content"].toString();
  read.replace("\r\n", "\n");
  QString written = fromCp1252(message.bodyText());
  written.replace("\r\n", "\n");
  EXPECT_EQ(read, written);
  EXPECT_FALSE(read.contains(QChar(0xFFFD)));
  EXPECT_TRUE(read.contains(QString::fromUtf8("Compañía")));
}

// A client set up for a test server, with time-outs short enough for a test.
void setUp(SmtpClient& client, quint16 port) {
  client.setHost("127.0.0.1");
  client.setPort(port);
  client.setTimeouts(test::everyTimeout(std::chrono::seconds(20)));
}

MailMessage reportMessage() {
  MailMessage m;
  m.setSender("  ventas@example.com ");
  m.recipients().setText(
      "Ana P\xE9"
      "rez <ana@example.com>; luis@example.com");
  m.ccList().setText("copia@example.net");
  // "Reporte inventarios  Compañía" in Windows-1252, with the two blanks of the empty slot.
  m.setSubject(
      "Reporte inventarios  Compa\xF1\xED"
      "a");
  m.setBodyText(
      "Adjunto reporte de inventarios 2025/08/11 Compa\xF1\xED"
      "a\r\n\r\r________________________\r"
      ".a line that starts with a period\n..two periods\nMensaje enviado automaticamente, "
      "con una l\xED"
      "nea bastante larga que pasa de los setenta y seis caracteres del "
      "quoted-printable sin duda alguna = fin \t");
  return m;
}

TEST(SmtpRealServer, PlainSendWithAttachmentsReadsBackAsComposed) {
  test::TempDir files;
  const QByteArray report = "L1;2;3\r\nL2;4;5\r\n.dotted line\r\n";
  const QString reportPath = files.write("inventarios11082025.txt", report);
  const QString binaryPath = files.write("all-bytes.bin", allByteValues());
  const QString emptyPath = files.write("empty.txt", QByteArray());

  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  MailMessage message = reportMessage();
  message.addAttachment(reportPath);
  message.addAttachment(binaryPath);
  message.addAttachment(emptyPath);

  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  client.connectToServer();
  EXPECT_TRUE(client.connected());
  EXPECT_FALSE(client.capabilities().isEmpty());
  client.send(message);
  client.disconnectFromServer();
  EXPECT_FALSE(client.connected());
  const QDateTime after = QDateTime::currentDateTime().addSecs(1);
  server.stop();

  const QStringList log = server.sessionLog();
  ASSERT_EQ(log.size(), 7) << log.join(" | ").toStdString();
  EXPECT_EQ(log[0], "EHLO " + QString::fromUtf8(SmtpClient::greetingName()));
  EXPECT_EQ(log[1], "MAIL FROM:<ventas@example.com>");
  EXPECT_EQ(log[2], "RCPT TO:<ana@example.com>");
  EXPECT_EQ(log[3], "RCPT TO:<luis@example.com>");
  EXPECT_EQ(log[4], "RCPT TO:<copia@example.net>");
  EXPECT_EQ(log[5], "DATA");
  EXPECT_EQ(log[6], "QUIT");
  const QJsonObject envelope = server.envelope();
  EXPECT_EQ(envelope["mail_from"].toString(), "ventas@example.com");
  EXPECT_EQ(envelope["rcpt_tos"].toArray().size(), 3);

  const QString path = server.messagePath();
  ASSERT_FALSE(path.isEmpty());
  const QJsonObject mail = readMail(path);
  EXPECT_TRUE(mail["defects"].toArray().isEmpty())
      << QJsonDocument(mail["defects"].toArray()).toJson().toStdString();
  EXPECT_EQ(mail["bare_line_ends"].toInt(), 0);
  EXPECT_LE(mail["max_line_length"].toInt(), 78);

  QStringList names;
  for (const auto& [name, value] : headers(mail)) names << name;
  EXPECT_EQ(names,
            QStringList({"From", "Subject", "To", "Cc", "Date", "MIME-Version", "Content-Type"}));
  EXPECT_EQ(header(mail, "From"), "ventas@example.com");
  EXPECT_EQ(header(mail, "Subject"), QString::fromUtf8("Reporte inventarios  Compañía"));
  EXPECT_EQ(header(mail, "To"), QString::fromUtf8("Ana Pérez <ana@example.com>, luis@example.com"));
  EXPECT_EQ(header(mail, "Cc"), "copia@example.net");
  EXPECT_EQ(header(mail, "MIME-Version"), "1.0");
  const QDateTime date = QDateTime::fromString(header(mail, "Date"), Qt::RFC2822Date);
  ASSERT_TRUE(date.isValid()) << header(mail, "Date").toStdString();
  EXPECT_TRUE(date >= before && date <= after) << header(mail, "Date").toStdString();
  EXPECT_EQ(date.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());

  EXPECT_EQ(mail["content_type"].toString(), "multipart/mixed");
  EXPECT_EQ(mail["preamble"].toString().trimmed(), "This is a multi-part message in MIME format");

  const QJsonObject body = mail["body"].toObject();
  EXPECT_EQ(body["content_type"].toString(), "text/plain");
  EXPECT_EQ(body["charset"].toString(), "windows-1252");
  EXPECT_EQ(body["encoding"].toString(), "quoted-printable");
  EXPECT_EQ(body["disposition"].toString(), "inline");
  EXPECT_EQ(fromBase64(body["text_base64"]), message.bodyText());
  expectBodyReadsAsWritten(mail, message);

  const QJsonArray attachments = mail["attachments"].toArray();
  ASSERT_EQ(attachments.size(), 3);
  const struct {
    const char* name;
    const char* type;
    QByteArray bytes;
  } expected[] = {{"inventarios11082025.txt", "text/plain", report},
                  {"all-bytes.bin", "application/octet-stream", allByteValues()},
                  {"empty.txt", "text/plain", QByteArray()}};
  for (int i = 0; i < 3; ++i) {
    const QJsonObject a = attachments[i].toObject();
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(a["content_type"].toString(), expected[i].type);
    EXPECT_EQ(a["name"].toString(), expected[i].name);
    EXPECT_EQ(a["filename"].toString(), expected[i].name);
    EXPECT_EQ(a["encoding"].toString(), "base64");
    EXPECT_EQ(fromBase64(a["base64"]), expected[i].bytes);
  }
}

// Names with Windows-1252 bytes in every form an address list takes: the header block that
// arrives is 7-bit with lines of at most 78 characters, and a reader decodes the names back.
TEST(SmtpRealServer, ForeignNamesInEveryFormArriveSevenBitAndDecodeBack) {
  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  MailMessage message = reportMessage();
  message.recipients().setText(
      "Ana P\xE9rez <ana@example.com>; \"P\xE9rez, Luis\" <luis@example.com>, Ventas: "
      "pedro@example.com (Pedro \xD1u\xF1"
      "ez), Jos\xE9 Mar\xED"
      "a de la Sant\xED"
      "sima Trinidad Fern\xE1ndez de C\xF3rdoba <jm@example.com>;");
  message.ccList().setText(
      "(Copia de Compa\xF1\xED"
      "a) copia@example.net");
  client.connectToServer();
  client.send(message);
  client.disconnectFromServer();
  server.stop();

  EXPECT_EQ(server.envelope()["rcpt_tos"].toArray(),
            QJsonArray({"ana@example.com", "luis@example.com", "pedro@example.com",
                        "jm@example.com", "copia@example.net"}));
  const QByteArray raw = test::readFile(server.messagePath());
  const QByteArray head = raw.first(raw.indexOf("\r\n\r\n"));
  for (const QByteArray& line : head.split('\n')) {
    EXPECT_LE(line.size(), 79) << line.toStdString();  // 78 and the CR
    for (const char c : line) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << line.toStdString();
  }
  const QJsonObject mail = readMail(server.messagePath());
  EXPECT_TRUE(mail["defects"].toArray().isEmpty());
  const QString to = header(mail, "To");
  for (const char* name : {"Ana Pérez <ana@example.com>", "Pérez, Luis <luis@example.com>",
                           "pedro@example.com (Pedro Ñuñez)",
                           "José María de la Santísima Trinidad Fernández de Córdoba"})
    EXPECT_TRUE(to.contains(QString::fromUtf8(name))) << to.toStdString() << " / " << name;
  EXPECT_EQ(header(mail, "Cc"), QString::fromUtf8("(Copia de Compañía) copia@example.net"));
  EXPECT_EQ(header(mail, "Subject"), QString::fromUtf8("Reporte inventarios  Compañía"));
}

// A name written without angle brackets before the address: the mail goes to the address, and
// the To field shows the name and the address as a mail program reads them.
TEST(SmtpRealServer, NameWithoutBracketsBeforeTheAddressReachesTheAddress) {
  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  MailMessage message = reportMessage();
  message.recipients().setText("P\xE9rez luis@example.com; Ana Soto ana@example.com");
  client.connectToServer();
  client.send(message);
  client.disconnectFromServer();
  server.stop();

  EXPECT_EQ(server.envelope()["rcpt_tos"].toArray(),
            QJsonArray({"luis@example.com", "ana@example.com", "copia@example.net"}));
  const QJsonObject mail = readMail(server.messagePath());
  EXPECT_TRUE(mail["defects"].toArray().isEmpty());
  EXPECT_EQ(header(mail, "To"),
            QString::fromUtf8("Pérez <luis@example.com>, Ana Soto <ana@example.com>"));
}

// Files of awkward sizes, each in a message of its own: Python reads each file back byte for
// byte, and the message stored is, boundary aside (random on the wire) and the body part's
// character set, the bytes the writer of whole messages made for it.
TEST(SmtpRealServer, FilesOfAwkwardSizesArriveByteForByteAsTheWholeMessageWriterMadeThem) {
  const QStringList names = {"ZeroByteFile", "OneByteFile", "MultipleOf57Bytes", "AllByteValues"};
  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  test::TempDir files;
  QList<StreamCase> cases;
  for (const StreamCase& c : messageTable())
    if (names.contains(QString::fromLatin1(c.name))) cases.append(c);
  ASSERT_EQ(cases.size(), names.size());
  for (const StreamCase& c : cases) {
    SmtpClient client;
    setUp(client, server.port());
    MailMessage message = messageOf(c, files);
    message.setDateAtSend(false);
    message.setDate(kTableDate);
    client.connectToServer();
    client.send(message);
    client.disconnectFromServer();
  }
  server.stop();
  for (qsizetype i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const QString path = server.messagePath(static_cast<int>(i + 1));
    ASSERT_FALSE(path.isEmpty());
    const QJsonObject mail = readMail(path);
    EXPECT_TRUE(mail["defects"].toArray().isEmpty());
    const QJsonArray attachments = mail["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QByteArray bytes = cases[i].files[0].second;
    EXPECT_EQ(fromBase64(attachments[0]["base64"]), bytes);
    EXPECT_EQ(attachments[0]["size"].toInt(), bytes.size());

    QByteArray raw = test::readFile(path);
    const qsizetype at = raw.indexOf("boundary=\"") + 10;
    const QByteArray boundary = raw.mid(at, raw.indexOf('"', at) - at);
    ASSERT_TRUE(boundary.startsWith("=_zavelo_")) << boundary.toStdString();
    raw.replace(boundary, kTableBoundary);
    EXPECT_EQ(QCryptographicHash::hash(withoutBodyCharset(raw), QCryptographicHash::Sha256).toHex(),
              cases[i].sha256);
  }
}

TEST(SmtpRealServer, MessageWithoutAttachmentCarriesTheBodyAlone) {
  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  const MailMessage message = reportMessage();
  client.connectToServer();
  client.send(message);
  client.disconnectFromServer();
  server.stop();

  const QJsonObject mail = readMail(server.messagePath());
  EXPECT_TRUE(mail["defects"].toArray().isEmpty());
  EXPECT_FALSE(mail["is_multipart"].toBool());
  EXPECT_EQ(mail["content_type"].toString(), "text/plain");
  EXPECT_TRUE(mail["attachments"].toArray().isEmpty());
  const QJsonObject body = mail["body"].toObject();
  EXPECT_EQ(body["encoding"].toString(), "quoted-printable");
  EXPECT_EQ(fromBase64(body["text_base64"]), message.bodyText());
  expectBodyReadsAsWritten(mail, message);
  EXPECT_EQ(header(mail, "Subject"), QString::fromUtf8("Reporte inventarios  Compañía"));
}

TEST(SmtpRealServer, StartTlsThenAuthLogin) {
  test::TempDir files;
  const QString path = files.write("ventas11082025.txt", "a;b;c\r\n");
  RealSmtpServer server({"--make-cert", "--auth", "cuenta@example.com:s3creto"});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.port());
  client.setHost("localhost");  // a name, so that it goes out as the TLS server name
  client.setAccountName("cuenta@example.com");
  client.setPassword("s3creto");
  MailMessage message = reportMessage();
  message.addAttachment(path);

  client.connectToServer();
  EXPECT_FALSE(client.encrypted());
  EXPECT_TRUE(client.capabilities().contains("STARTTLS"));
  client.authenticate();
  EXPECT_TRUE(client.encrypted());
  EXPECT_TRUE(client.authenticated());
  // The capabilities are those of the encrypted session now.
  EXPECT_FALSE(client.capabilities().contains("STARTTLS"));
  client.send(message);
  client.disconnectFromServer();
  EXPECT_FALSE(client.authenticated());
  ASSERT_NE(client.transport(), nullptr);
  EXPECT_EQ(client.transport()->host(), "localhost");
  EXPECT_EQ(client.transport()->port(), server.port());
  server.stop();

  // TLS 1.2 even though the server offers 1.3, and the host name as the server name.
  EXPECT_EQ(server.tlsSession()["version"].toString(), "TLSv1.2");
  EXPECT_EQ(server.tlsSession()["server_name"].toString(), "localhost");
  const QStringList log = server.sessionLog();
  const QString ehlo = "EHLO " + QString::fromUtf8(SmtpClient::greetingName());
  EXPECT_EQ(log,
            QStringList({ehlo, "STARTTLS", ehlo, "AUTH LOGIN", "MAIL FROM:<ventas@example.com>",
                         "RCPT TO:<ana@example.com>", "RCPT TO:<luis@example.com>",
                         "RCPT TO:<copia@example.net>", "DATA", "QUIT"}));
  const QJsonObject mail = readMail(server.messagePath());
  ASSERT_EQ(mail["attachments"].toArray().size(), 1);
  EXPECT_EQ(fromBase64(mail["attachments"][0]["base64"]), QByteArray("a;b;c\r\n"));
}

// A large report file goes out whole, in plain and through STARTTLS (on Windows, Schannel):
// read back by an independent parser it is the same bytes.
class SmtpRealServerLarge : public ::testing::TestWithParam<bool> {};

TEST_P(SmtpRealServerLarge, TwentyMegabyteAttachmentArrivesByteIdentical) {
  const bool tls = GetParam();
  const QByteArray big = noise(20 * 1024 * 1024);
  test::TempDir files;
  const QString path = files.write("inventarios11082025.txt", big);
  RealSmtpServer server(tls ? QStringList{"--make-cert", "--auth", "u:p"} : QStringList{});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  if (tls) client.switchToExplicitTls();
  setUp(client, server.port());
  client.setHost("localhost");  // a name, as mail servers are named (Schannel wants one)
  client.setAccountName("u");   // the TLS server asks for AUTH LOGIN once encrypted
  client.setPassword("p");
  MailMessage message = reportMessage();
  message.addAttachment(path);
  client.connectToServer();
  client.authenticate();
  EXPECT_EQ(client.encrypted(), tls);
  client.send(message);
  client.disconnectFromServer();
  server.stop();

  EXPECT_EQ(server.tlsSession().isEmpty(), !tls);
  const QJsonObject mail = readMail(server.messagePath());
  EXPECT_TRUE(mail["defects"].toArray().isEmpty());
  ASSERT_EQ(mail["attachments"].toArray().size(), 1);
  const QJsonObject a = mail["attachments"][0].toObject();
  EXPECT_EQ(a["size"].toInteger(), big.size());
  EXPECT_EQ(a["sha256"].toString(),
            QString::fromLatin1(QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex()));
  EXPECT_TRUE(fromBase64(a["base64"]) == big);
}

INSTANTIATE_TEST_SUITE_P(Transports, SmtpRealServerLarge, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "StartTls" : "Plain"; });

TEST(SmtpRealServer, ExplicitTlsWithServerWithoutStartTlsSendsInPlain) {
  RealSmtpServer server;
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.port());
  // A name, not an address: it may resolve to ::1 first, where nothing listens.
  client.setHost("localhost");
  client.connectToServer();
  client.send(reportMessage());
  EXPECT_FALSE(client.encrypted());
  client.disconnectFromServer();
  server.stop();
  EXPECT_FALSE(server.sessionLog().contains("STARTTLS"));
  EXPECT_FALSE(server.messagePath().isEmpty());
}

TEST(SmtpRealServer, RefusedAuthReportsTheServersReply) {
  RealSmtpServer server({"--make-cert", "--auth", "cuenta@example.com:s3creto"});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.port());
  client.setAccountName("cuenta@example.com");
  client.setPassword("wrong");
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(reportMessage()); }), "Authentication credentials invalid\n");
  client.disconnectFromServer();
  server.stop();
  const QStringList log = server.sessionLog();
  EXPECT_FALSE(log.filter("MAIL").size()) << log.join(" | ").toStdString();
  EXPECT_EQ(log.last(), "QUIT");
  EXPECT_TRUE(server.messagePath().isEmpty());
}

TEST(SmtpRealServer, RefusedFirstRecipientStopsTheSending) {
  RealSmtpServer server({"--refuse-rcpt", "nadie@example.com"});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  MailMessage message = reportMessage();
  message.recipients().setText("nadie@example.com, luis@example.com");
  client.connectToServer();
  EXPECT_EQ(errorOf([&] { client.send(message); }),
            "<nadie@example.com>: Recipient address rejected\n");
  EXPECT_TRUE(client.connected());
  client.disconnectFromServer();
  server.stop();
  const QString ehlo = "EHLO " + QString::fromUtf8(SmtpClient::greetingName());
  EXPECT_EQ(server.sessionLog(), QStringList({ehlo, "MAIL FROM:<ventas@example.com>",
                                              "RCPT TO:<nadie@example.com>", "RSET", "QUIT"}));
  EXPECT_TRUE(server.messagePath().isEmpty());
}

TEST(SmtpRealServer, TwoConnectionsOfOneClientEachAuthenticate) {
  RealSmtpServer server({"--make-cert", "--auth", "u:p"});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  client.switchToExplicitTls();
  setUp(client, server.port());
  client.setAccountName("u");
  client.setPassword("p");
  for (int i = 0; i < 2; ++i) {
    client.connectToServer();
    client.authenticate();
    client.send(reportMessage());  // authenticated already: no second AUTH
    client.disconnectFromServer();
  }
  server.stop();
  for (int session = 1; session <= 2; ++session) {
    EXPECT_EQ(server.sessionLog(session).filter("AUTH").size(), 1);
    EXPECT_FALSE(server.messagePath(session).isEmpty());
  }
}

}  // namespace
}  // namespace zavelo::smtp

namespace zavelo::smtp {
namespace {

// Strict TLS against a real server: the certificate must verify for the host name, against the
// system's authorities and those given; otherwise nothing of the account reaches the server.
struct StrictCase {
  const char* name;
  QStringList serverOptions;
  const char* host;
  bool trustServerCertificate;  // its own certificate given as an extra authority
  // Empty when the mail goes; otherwise what the error must hold.
  QStringList errorHolds;
};

void PrintTo(const StrictCase& c, std::ostream* os) {
  *os << c.name;
}

class SmtpStrictTls : public ::testing::TestWithParam<StrictCase> {};

TEST_P(SmtpStrictTls, SendsOnlyOverAVerifiedConnection) {
  const StrictCase& c = GetParam();
  RealSmtpServer server(c.serverOptions + QStringList{"--auth", "cuenta:s3creto"});
  ASSERT_NE(server.port(), 0);
  SmtpClient client;
  setUp(client, server.port());
  client.setHost(c.host);
  client.setAccountName("cuenta");
  client.setPassword("s3creto");
  TlsPolicy policy{.strict = true};
  QList<QSslCertificate> serverCertificate =
      QSslCertificate::fromPath(server.folder() + "/cert.pem", QSsl::Pem);
  if (c.trustServerCertificate) {
    ASSERT_EQ(serverCertificate.size(), 1);
    policy.extraCertificates = serverCertificate;
  }
  client.setTlsPolicy(policy);

  client.connectToServer();
  const std::optional<QString> error = errorOf([&] { client.send(reportMessage()); });
  client.disconnectFromServer();
  server.stop();
  const QStringList log = server.sessionLog();
  if (c.errorHolds.isEmpty()) {
    EXPECT_EQ(error, std::nullopt);
    EXPECT_TRUE(client.tlsSession().encrypted);
    EXPECT_TRUE(client.tlsSession().verified);
    EXPECT_TRUE(client.tlsSession().protocol.startsWith("TLS 1."))
        << client.tlsSession().protocol.toStdString();
    EXPECT_FALSE(server.messagePath().isEmpty());
    return;
  }
  ASSERT_NE(error, std::nullopt);
  for (const QString& part : c.errorHolds)
    EXPECT_TRUE(error->contains(part)) << error->toStdString() << " lacks " << part.toStdString();
  if (!serverCertificate.isEmpty() && log.contains("STARTTLS")) {
    EXPECT_TRUE(error->contains(sha256Fingerprint(serverCertificate.first())))
        << error->toStdString();
  }
  EXPECT_TRUE(log.filter(QRegularExpression("^(AUTH|MAIL|RCPT|DATA)")).isEmpty())
      << log.join(" | ").toStdString();
  EXPECT_TRUE(server.messagePath().isEmpty());
  EXPECT_FALSE(client.tlsSession().encrypted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpStrictTls,
    ::testing::Values(
        StrictCase{"SelfSigned",
                   {"--make-cert"},
                   "localhost",
                   false,
                   {"TLS estricto", QString::fromUtf8("autofirmado"), "huella SHA-256"}},
        StrictCase{"NoStartTls", {}, "127.0.0.1", false, {"no ofrece STARTTLS"}},
        StrictCase{"TrustedByName", {"--make-cert"}, "localhost", true, {}},
        StrictCase{"TrustedByAddress", {"--make-cert"}, "127.0.0.1", true, {}},
        StrictCase{"TrustedButExpired",
                   {"--make-cert", "--cert-expired"},
                   "localhost",
                   true,
                   {QString::fromUtf8("el certificado venció el 2020-01-02T00:00:00Z")}},
        StrictCase{"TrustedForAnotherName",
                   {"--make-cert", "--cert-name", "otro.example"},
                   "localhost",
                   true,
                   {QString::fromUtf8("no es para el nombre «localhost»")}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zavelo::smtp
