#include "mail/smtp/smtp_client.h"

#include <QHostInfo>
#include <QSslSocket>
#include <QSysInfo>
#include <QTcpSocket>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/cp1252.h"
#include "common/error.h"
#include "common/stop_request.h"
#include "common/trim.h"
#include "mail/smtp/dot_stuffer.h"
#include "mail/smtp/first_connection.h"
#include "mail/smtp/message_stream.h"
#include "mail/smtp/mime_writer.h"
#include "mail/smtp/smtp_texts.h"

namespace zavelo::smtp {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// The message is made and goes to the connection in blocks of this size, each against its own
// deadline.
constexpr qsizetype kDataBlock = 256 * 1024;

// The longest single wait on the connection; a longer one goes in slices of this size.
constexpr milliseconds kWaitSlice(250);

// A refused reply as the system's error: the server's text, its bytes read as Windows-1252
// like every other 8-bit text of the system.
Error replyError(const SmtpReply& reply) {
  return Error(Error::Kind::Smtp, fromCp1252(reply.errorText()));
}

QString latin1(const char* text) {
  return QString::fromLatin1(text);
}

// The socket errors as the numbers and texts of Windows Sockets, the same on every platform,
// so that a user reads the same error wherever the program runs.
struct SocketErrorText {
  int number;
  const char* description;
};

std::optional<SocketErrorText> knownSocketError(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::HostNotFoundError:
      return SocketErrorText{11001, "Host not found."};
    case QAbstractSocket::ConnectionRefusedError:
      return SocketErrorText{10061, "Connection refused."};
    case QAbstractSocket::NetworkError:
      return SocketErrorText{10051, "Network is unreachable."};
    case QAbstractSocket::SocketAccessError:
      return SocketErrorText{10013, "Permission denied."};
    case QAbstractSocket::SocketResourceError:
      return SocketErrorText{10055, "No buffer space available."};
    case QAbstractSocket::SocketTimeoutError:
      return SocketErrorText{10060, "Connection timed out."};
    case QAbstractSocket::UnsupportedSocketOperationError:
      return SocketErrorText{10047, "Address family not supported by protocol family."};
    default:
      return std::nullopt;
  }
}

// Resolves a host name on a thread of its own, so that a slow resolver cannot hold the caller
// past its deadline (the blocking lookup of the platform has no time limit of ours). When the
// deadline passes first, the lookup is left to end by itself and its answer is dropped.
std::optional<QHostInfo> lookUp(const QString& host,
                                std::chrono::steady_clock::time_point deadline) {
  QHostAddress literal;
  if (literal.setAddress(host)) {
    QHostInfo info;
    info.setAddresses({literal});
    return info;
  }
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<QHostInfo> result;
  };
  auto shared = std::make_shared<Shared>();
  std::thread([shared, host] {
    QHostInfo info = QHostInfo::fromName(host);
    const std::lock_guard lock(shared->mutex);
    shared->result = std::move(info);
    shared->done.notify_all();
  }).detach();
  std::unique_lock lock(shared->mutex);
  if (!shared->done.wait_until(lock, deadline, [&] { return shared->result.has_value(); }))
    return std::nullopt;
  return shared->result;
}

bool isRemoteClose(QAbstractSocket::SocketError error) {
  return error == QAbstractSocket::RemoteHostClosedError;
}

// Whether a capability line "AUTH LOGIN PLAIN" or "AUTH=LOGIN" names the LOGIN mechanism.
bool namesAuthLogin(const QByteArray& capability) {
  if (capability.size() < 5 || qstrnicmp(capability.constData(), "AUTH", 4) != 0) return false;
  if (capability[4] != ' ' && capability[4] != '=') return false;
  qsizetype start = 5;
  for (qsizetype i = 5; i <= capability.size(); ++i) {
    if (i == capability.size() || capability[i] == ' ' || capability[i] == '=') {
      const QByteArray name = capability.sliced(start, i - start);
      if (name.compare("LOGIN", Qt::CaseInsensitive) == 0) return true;
      start = i + 1;
    }
  }
  return false;
}

QString socketErrorText(QAbstractSocket::SocketError error, const QString& errorString) {
  QString text;
  if (const auto known = knownSocketError(error))
    text = QString::number(known->number) + latin1(kLineBreak) + latin1(known->description);
  else
    text = QString::number(static_cast<int>(error)) + latin1(kLineBreak) + errorString;
  return latin1(kSocketErrorPrefix) + text;
}

}  // namespace

SmtpClient::SmtpClient() = default;

SmtpClient::~SmtpClient() {
  closeConnection();
}

void SmtpClient::switchToExplicitTls() {
  if (tlsMode_ == TlsMode::Explicit) return;
  tlsMode_ = TlsMode::Explicit;
  if (port_ == 25 || port_ == 465) port_ = 587;
  if (!transport_) transport_ = &ownTlsLayer_;
}

QByteArray SmtpClient::greetingName() {
  QByteArray name = QHostInfo::localHostName().toUtf8();
  if (name.isEmpty()) name = qEnvironmentVariable("COMPUTERNAME").toUtf8();
  if (name.isEmpty()) name = QSysInfo::machineHostName().toUtf8();
  if (name.isEmpty()) name = "localhost";
  return name;
}

bool SmtpClient::tlsAvailable() const {
  return tlsAvailable_.has_value() ? *tlsAvailable_ : TlsLayer::available();
}

bool SmtpClient::connected() const {
  return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool SmtpClient::encrypted() const {
  const auto* ssl = qobject_cast<const QSslSocket*>(socket_.get());
  return ssl && ssl->isEncrypted();
}

void SmtpClient::connectToServer() {
  if (port_ == 0) throw Error(Error::Kind::Smtp, latin1(kPortRequired));
  if (host_.isEmpty()) throw Error(Error::Kind::Smtp, latin1(kHostRequired));
  if (connected()) throw Error(Error::Kind::Smtp, latin1(kAlreadyConnected));
  closeConnection();
  greeting_ = SmtpReply();
  peerAddress_.clear();
  tlsSession_ = TlsSession();

  TlsLayer* layer = transport_ ? transport_ : &ownTlsLayer_;
  layer->setHost(host_);
  layer->setPort(port_);

  serverUnreachable_ = false;
  timedOut_ = false;
  try {
    openConnection(Clock::now() + timeouts_.connect);
  } catch (const Error&) {
    serverUnreachable_ = true;
    throw;
  }
  greet();
}

void SmtpClient::openConnection(Clock::time_point deadline) {
  QList<QHostAddress> addresses;
  if (addresses_) {
    addresses = *addresses_;
  } else {
    const std::optional<QHostInfo> info = lookUp(QString::fromUtf8(host_), deadline);
    if (!info) failTimeout("the connection to the server");
    if (info->error() == QHostInfo::NoError) addresses = info->addresses();
  }
  if (addresses.isEmpty())
    throw Error(Error::Kind::Smtp, socketErrorText(QAbstractSocket::HostNotFoundError, QString()));

  // A TLS-capable socket when STARTTLS may follow and the machine has TLS, so that the
  // connection can be upgraded in place; a plain one otherwise, so that a plain mail does not
  // load the TLS library (several MiB) at all.
  const bool tls = wantsTls() && tlsAvailable() && TlsLayer::available();
  FirstConnection first = connectFirst(
      addresses, port_, [tls]() -> QTcpSocket* { return tls ? new QSslSocket : new QTcpSocket; },
      timeouts_.fallThrough, deadline);
  if (!first.socket) {
    if (first.timedOut) failTimeout("the connection to the server");
    throw Error(Error::Kind::Smtp, socketErrorText(first.error, first.errorString));
  }
  socket_ = std::move(first.socket);
  peerAddress_ = socket_->peerAddress();
  // Qt keeps no more of what the server sends than the reader has room for, so a server that
  // floods the connection is held back by TCP instead of filling memory.
  socket_->setReadBufferSize(reader_.room());
}

void SmtpClient::greet() {
  SmtpReply greeting;
  try {
    greeting = readReply(Clock::now() + timeouts_.greeting, "the server's greeting");
  } catch (const Error&) {
    serverUnreachable_ = timedOut_;
    throw;
  }
  greeting_ = greeting;
  if (greeting.code != 220) {
    closeConnection();
    throw replyError(greeting);
  }
  introduce();
}

void SmtpClient::introduce() {
  // EHLO, and HELO when the server does not know EHLO. A failure here ends the connection
  // without QUIT.
  const QByteArray name = greetingName();
  capabilities_ = Capabilities();
  const SmtpReply ehlo = command("EHLO " + name, timeouts_.command, "the reply to EHLO");
  if (ehlo.code == 250) {
    capabilities_.lines = ehlo.lines.mid(1);
    for (const QByteArray& line : capabilities_.lines) {
      const QByteArray capability = trimmed(line, Blanks::SpaceAndTab);
      if (capability.compare("STARTTLS", Qt::CaseInsensitive) == 0) capabilities_.startTls = true;
      if (namesAuthLogin(capability)) capabilities_.authLogin = true;
    }
  } else {
    const SmtpReply helo = command("HELO " + name, timeouts_.command, "the reply to HELO");
    if (helo.code != 250) {
      closeConnection();
      throw replyError(helo);
    }
  }
  state_ = State::Introduced;
}

void SmtpClient::authenticate() {
  if (!connected()) throw Error(Error::Kind::Smtp, latin1(kNotConnected));
  if (state_ == State::Authenticated) return;
  upgrade();
  authLogin();
  state_ = State::Authenticated;
}

void SmtpClient::upgrade() {
  if (!connected()) throw Error(Error::Kind::Smtp, latin1(kNotConnected));
  if (wantsTls() && !encrypted()) startTls();
}

QSslConfiguration SmtpClient::handshakeConfiguration() const {
  if (!tlsPolicy_.strict) return TlsLayer::configuration();
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.setProtocol(QSsl::TlsV1_2OrLater);
  config.setPeerVerifyMode(QSslSocket::VerifyPeer);
  // Setting any authority stops Qt from loading the system's on demand, so the system's go in
  // with the extra ones.
  if (!tlsPolicy_.extraCertificates.isEmpty())
    config.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                             tlsPolicy_.extraCertificates);
  return config;
}

void SmtpClient::failStrict(const QString& why) {
  throw Error(
      Error::Kind::Smtp,
      QStringLiteral("TLS estricto: %1. No se envi\u00f3 el usuario ni el correo.").arg(why));
}

void SmtpClient::startTls() {
  const TlsLayer* layer = transport_ ? transport_ : &ownTlsLayer_;
  const QString host = QString::fromUtf8(layer->host());
  if (!capabilities_.startTls) {
    // By default the dialogue goes on in plain text. Strict, the caller's QUIT is all that
    // follows.
    if (tlsPolicy_.strict)
      failStrict(QStringLiteral("el servidor %1 no ofrece STARTTLS").arg(host));
    return;
  }

  const SmtpReply reply = command("STARTTLS", timeouts_.command, "the reply to STARTTLS");
  if (reply.code != 220) {
    closeConnection();
    if (tlsPolicy_.strict)
      failStrict(QStringLiteral("el servidor %1 rechaz\u00f3 STARTTLS: %2")
                     .arg(host, fromCp1252(reply.errorText()).trimmed()));
    throw Error(Error::Kind::Smtp, latin1(kStartTlsRefused));
  }
  auto* ssl = qobject_cast<QSslSocket*>(socket_.get());
  if (!tlsAvailable() || !ssl) {
    closeConnection();
    if (tlsPolicy_.strict)
      failStrict(QStringLiteral("no se pudo cargar la implementaci\u00f3n de TLS de este equipo"));
    throw Error(Error::Kind::Smtp, latin1(kTlsFailed));
  }
  // Nothing the server sent in plain text may count as a reply of the encrypted session.
  reader_.clear();
  ssl->readAll();

  ssl->setSslConfiguration(handshakeConfiguration());
  ssl->setPeerVerifyName(host);
  // Why the certificate did not verify, heard while the handshake runs (Qt drops the
  // connection right after), with the certificate it was about.
  QObject::connect(ssl, &QSslSocket::sslErrors, ssl, [this, ssl](const QList<QSslError>& errors) {
    tlsSession_.errors = errors;
    tlsSession_.chain = ssl->peerCertificateChain();
  });
  const Clock::time_point deadline = Clock::now() + timeouts_.command;
  ssl->startClientEncryption();
  try {
    while (!ssl->isEncrypted()) wait(Wait::Handshake, deadline, "the TLS handshake");
  } catch (const Error& error) {
    if (!tlsPolicy_.strict) throw;
    if (!tlsSession_.errors.isEmpty()) {
      const QSslCertificate certificate = tlsSession_.chain.isEmpty()
                                              ? tlsSession_.errors.first().certificate()
                                              : tlsSession_.chain.first();
      failStrict(QStringLiteral("el certificado del servidor %1 no se pudo verificar: %2 "
                                "(huella SHA-256 %3)")
                     .arg(host, verificationReasons(tlsSession_.errors, host),
                          sha256Fingerprint(certificate)));
    }
    QString detail = error.message();
    while (detail.endsWith(u'.')) detail.chop(1);
    failStrict(QStringLiteral("fall\u00f3 la negociaci\u00f3n TLS con %1: %2").arg(host, detail));
  }
  tlsSession_.encrypted = true;
  tlsSession_.protocol = protocolName(ssl->sessionProtocol());
  tlsSession_.chain = ssl->peerCertificateChain();
  tlsSession_.verified = tlsPolicy_.strict;

  // The server's capabilities may differ once the connection is private: ask again.
  introduce();
}

void SmtpClient::authLogin() {
  if (!capabilities_.authLogin) return;
  SmtpReply reply = command("AUTH LOGIN", timeouts_.command, "the reply to AUTH");
  if (reply.code != 334) throw replyError(reply);
  reply = command(accountName_.toBase64(), timeouts_.command, "the reply to AUTH");
  if (reply.code == 235) return;
  if (reply.code != 334) throw replyError(reply);
  reply = command(password_.toBase64(), timeouts_.command, "the reply to AUTH");
  if (reply.code != 235) throw replyError(reply);
}

void SmtpClient::send(const MailMessage& message) {
  if (!connected()) throw Error(Error::Kind::Smtp, latin1(kNotConnected));
  // An address a server would misread is never sent: the whole mail fails before the
  // transaction starts, so that nobody gets it while the one it was meant for does not.
  for (const AddressList* list : {&message.recipients(), &message.ccList(), &message.bccList()})
    for (const MailAddress& entry : list->entries())
      if (!isSendableAddress(entry.address))
        throw Error(Error::Kind::Smtp,
                    QString::fromUtf8(kUnsendableAddress).arg(fromCp1252(entry.text)));
  if (state_ != State::Authenticated) authenticate();

  // The files are opened before the transaction starts, so that one that cannot be read fails
  // before anything is sent.
  const QDateTime date = message.dateAtSend() ? QDateTime::currentDateTime() : message.date();
  MessageStream stream(message, date, MimeWriter::newBoundary());

  QByteArray sender = message.sender();
  sender.replace('\r', QByteArray()).replace('\n', QByteArray());  // one command line
  const SmtpReply mail = command("MAIL FROM:<" + trimmed(sender, Blanks::SpaceAndTab) + ">",
                                 timeouts_.mail, "the reply to MAIL FROM");
  if (mail.code != 250) throw replyError(mail);

  for (const AddressList* list : {&message.recipients(), &message.ccList(), &message.bccList()})
    for (const MailAddress& entry : list->entries())
      transactionCommand("RCPT TO:<" + entry.address + ">", timeouts_.rcpt, "the reply to RCPT TO",
                         {250, 251});

  transactionCommand("DATA", timeouts_.data, "the reply to DATA", {354});
  writeMessage(stream);
  transactionCommand(".", timeouts_.dataEnd, "the reply to the end of the message", {250});
}

void SmtpClient::writeMessage(MessageStream& stream) {
  // Made a block at a time as the connection takes them: one block is being made while the
  // one before it is still on its way.
  DotStuffer stuffer;
  QByteArray stuffed;
  for (;;) {
    QByteArray block;
    try {
      block = stream.next(kDataBlock);
    } catch (const Error&) {
      // Cut short or mixed up: dropped without the final ".", so the server keeps nothing.
      closeConnection();
      throw;
    }
    if (block.isEmpty()) break;
    stuffed.clear();
    stuffer.apply(block, stuffed);
    write(stuffed, kDataBlock, Clock::now() + timeouts_.dataBlock,
          "the server to take the message data");
  }
  write(stuffer.ending(), 0, Clock::now() + timeouts_.dataBlock,
        "the server to take the message data");
}

void SmtpClient::transactionCommand(const QByteArray& line, std::chrono::milliseconds timeout,
                                    const char* what, std::initializer_list<int> expected) {
  const SmtpReply reply = command(line, timeout, what);
  for (const int code : expected)
    if (reply.code == code) return;
  resetQuietly();
  throw replyError(reply);
}

void SmtpClient::resetQuietly() {
  try {
    command("RSET", timeouts_.command, "the reply to RSET");
  } catch (const Error&) {
    // The refusal that led here is the error to report; a failed RSET has already closed
    // the connection.
  }
}

void SmtpClient::disconnectFromServer() {
  if (!socket_) return;
  if (connected()) {
    try {
      command("QUIT", timeouts_.command, "the reply to QUIT");
    } catch (const Error&) {
      // Whatever QUIT meets, the connection is closed below.
    }
  }
  if (socket_ && socket_->state() != QAbstractSocket::UnconnectedState) {
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->waitForDisconnected(2000);
  }
  closeConnection();
}

SmtpReply SmtpClient::command(const QByteArray& line, std::chrono::milliseconds timeout,
                              const char* what) {
  const Clock::time_point deadline = Clock::now() + timeout;
  write(line + "\r\n", 0, deadline, what);
  const SmtpReply reply = readReply(deadline, what);
  // 421: the server is closing the connection, whatever the command was (RFC 5321 3.8).
  // Nothing more can be sent; its reason is the error. Deliberately so at every step: no HELO
  // after a 421 to EHLO, no RSET after one in the transaction and no QUIT, although the
  // dialogue otherwise answers a refusal with RSET and ends with QUIT.
  if (reply.code == 421) {
    closeConnection();
    throw replyError(reply);
  }
  return reply;
}

void SmtpClient::write(QByteArrayView bytes, qint64 keep, Clock::time_point deadline,
                       const char* what) {
  if (!connected()) failConnection(latin1(kClosedGracefully));
  if (!bytes.isEmpty()) socket_->write(bytes.data(), bytes.size());
  while (unsentBytes() > keep) wait(Wait::Write, deadline, what);
}

qint64 SmtpClient::unsentBytes() const {
  const auto* ssl = qobject_cast<const QSslSocket*>(socket_.get());
  return socket_->bytesToWrite() + (ssl ? ssl->encryptedBytesToWrite() : 0);
}

SmtpReply SmtpClient::readReply(Clock::time_point deadline, const char* what) {
  for (;;) {
    try {
      if (auto reply = reader_.takeReply()) {
        lastReply_ = *reply;
        return *reply;
      }
      if (socket_->bytesAvailable() > 0 && reader_.room() > 0) {
        reader_.feed(socket_->read(reader_.room()));
        continue;
      }
    } catch (const Error&) {
      closeConnection();  // an oversized reply: the dialogue cannot go on
      throw;
    }
    wait(Wait::Read, deadline, what);
  }
}

void SmtpClient::wait(Wait what, Clock::time_point deadline, const char* whatFor) {
  if (socket_->state() != QAbstractSocket::ConnectedState) {
    if (what == Wait::Handshake) failConnection(latin1(kTlsFailed));
    if (isRemoteClose(socket_->error()) || socket_->state() == QAbstractSocket::UnconnectedState)
      failConnection(latin1(kClosedGracefully));
    failSocket();
  }
  // A stop asked from outside ends the wait, which goes in slices so as to see it promptly.
  if (stopRequested()) failConnection(stopText());
  const auto remaining = duration_cast<milliseconds>(deadline - Clock::now());
  if (remaining.count() <= 0) failTimeout(whatFor);
  const int ms = static_cast<int>(std::min<qint64>(remaining.count(), kWaitSlice.count()));
  auto* ssl = qobject_cast<QSslSocket*>(socket_.get());
  bool progress = false;
  switch (what) {
    case Wait::Read:
      progress = socket_->waitForReadyRead(ms) || socket_->bytesAvailable() > 0;
      break;
    case Wait::Write:
      progress = socket_->waitForBytesWritten(ms) || unsentBytes() == 0;
      break;
    case Wait::Handshake:
      progress = ssl->waitForEncrypted(ms) || ssl->isEncrypted();
      break;
  }
  if (progress) return;
  const bool timedOut = socket_->error() == QAbstractSocket::SocketTimeoutError;
  // Only a slice ran out: the caller waits again.
  if (timedOut && socket_->state() == QAbstractSocket::ConnectedState && Clock::now() < deadline)
    return;
  if (timedOut && socket_->state() == QAbstractSocket::ConnectedState) failTimeout(whatFor);
  if (what == Wait::Handshake) failConnection(latin1(kTlsFailed));
  if (socket_->state() != QAbstractSocket::ConnectedState || isRemoteClose(socket_->error()))
    failConnection(latin1(kClosedGracefully));
  if (Clock::now() >= deadline) failTimeout(whatFor);
  failSocket();
}

void SmtpClient::failConnection(const QString& text) {
  closeConnection();
  throw Error(Error::Kind::Smtp, text);
}

void SmtpClient::failSocket() {
  const QAbstractSocket::SocketError error = socket_->error();
  if (isRemoteClose(error)) failConnection(latin1(kClosedGracefully));
  failConnection(socketErrorText(error, socket_->errorString()));
}

void SmtpClient::failTimeout(const char* what) {
  timedOut_ = true;
  failConnection(latin1(kTimeoutPrefix) + latin1(what) + QLatin1Char('.'));
}

void SmtpClient::closeConnection() {
  if (socket_) {
    socket_->abort();
    socket_.reset();
  }
  reader_.clear();
  capabilities_ = Capabilities();
  state_ = State::Closed;
}

}  // namespace zavelo::smtp
