// The SMTP client: one connection at a time, one command at a time, every call blocking the
// calling thread against a deadline (nothing waits without one). It upgrades the connection
// with STARTTLS when asked to, logs in with AUTH LOGIN when the server offers it, and sends a
// message with its attachments. Every failure is thrown as zavelo::Error.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <chrono>
#include <memory>
#include <optional>

#include "mail/smtp/mail_message.h"
#include "mail/smtp/reply_reader.h"
#include "mail/smtp/tls_layer.h"
#include "mail/smtp/tls_policy.h"

class QTcpSocket;

namespace zavelo::smtp {

class MessageStream;

enum class TlsMode { Off, Explicit };

class SmtpClient {
 public:
  // How long each wait may last (RFC 5321 4.5.3.2 for the replies). Tests make them short.
  struct Timeouts {
    std::chrono::milliseconds connect{std::chrono::seconds(60)};
    std::chrono::milliseconds greeting{std::chrono::minutes(5)};
    // EHLO, HELO, STARTTLS and the handshake, AUTH, RSET, QUIT.
    std::chrono::milliseconds command{std::chrono::minutes(5)};
    std::chrono::milliseconds mail{std::chrono::minutes(5)};
    std::chrono::milliseconds rcpt{std::chrono::minutes(5)};
    std::chrono::milliseconds data{std::chrono::minutes(2)};
    // Each block of the message handed to the connection.
    std::chrono::milliseconds dataBlock{std::chrono::minutes(3)};
    // The reply to the final ".".
    std::chrono::milliseconds dataEnd{std::chrono::minutes(10)};
    // How long one address of the host may take to connect before the next one is tried
    // alongside it (RFC 8305 suggests 250 ms), all within the connect limit.
    std::chrono::milliseconds fallThrough{std::chrono::milliseconds(250)};
  };

  SmtpClient();
  ~SmtpClient();
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  const QByteArray& host() const { return host_; }
  void setHost(const QByteArray& host) { host_ = host; }
  quint16 port() const { return port_; }
  void setPort(quint16 port) { port_ = port; }
  const QByteArray& accountName() const { return accountName_; }
  void setAccountName(const QByteArray& name) { accountName_ = name; }
  const QByteArray& password() const { return password_; }
  void setPassword(const QByteArray& password) { password_ = password; }

  // Switches the TLS mode to explicit (STARTTLS). The first switch moves a port of 25 or 465
  // to 587; once explicit, switching again changes nothing.
  void switchToExplicitTls();
  TlsMode tlsMode() const { return tlsMode_; }

  // The layer that carries the dialogue: nullptr for plain TCP, or a TLS layer (not owned)
  // whose host and port are overwritten with the client's at every connection. With the TLS
  // mode explicit and no layer set, the client uses one of its own.
  TlsLayer* transport() const { return transport_; }
  void setTransport(TlsLayer* layer) { transport_ = layer; }

  // Strict: STARTTLS required whatever the TLS mode, and the certificate verified (see
  // TlsPolicy); a server that does not allow it fails the connection before any AUTH or MAIL.
  const TlsPolicy& tlsPolicy() const { return tlsPolicy_; }
  void setTlsPolicy(const TlsPolicy& policy) { tlsPolicy_ = policy; }

  const Timeouts& timeouts() const { return timeouts_; }
  void setTimeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }

  // Tests may declare the TLS implementation missing (false) or present (true); by default
  // the client asks the TLS layer.
  void setTlsAvailableOverride(std::optional<bool> available) { tlsAvailable_ = available; }
  // Tests may give the addresses the host name resolves to, in their order.
  void setAddressesOverride(std::optional<QList<QHostAddress>> addresses) {
    addresses_ = std::move(addresses);
  }

  // The name sent with EHLO and HELO: the machine's host name, or its computer name.
  static QByteArray greetingName();

  // Connects, reads the greeting and introduces itself with EHLO (HELO when EHLO is refused).
  void connectToServer();
  // Whether the last connectToServer() failed because the server could not be reached or did
  // not greet within its time: a server that will most likely not answer the next mail either.
  bool serverUnreachable() const { return serverUnreachable_; }
  // STARTTLS when the TLS mode (or a strict policy) asks for it and the server offers it, then
  // AUTH LOGIN when the server offers it; once per connection.
  void authenticate();
  // The STARTTLS step of authenticate alone, for a check that reports it on its own line.
  void upgrade();
  // Authenticates when not yet done, then MAIL FROM, RCPT TO for the recipients, the copy
  // list and the blind-copy list, and DATA with the message, made from its files as the
  // connection takes it. A file that cannot be read or changes meanwhile drops the connection
  // before the final ".". A reply 421 to any command closes the connection at once.
  void send(const MailMessage& message);
  bool connected() const;
  // QUIT (any failure of it ignored), then closes the connection. Does nothing when closed.
  void disconnectFromServer();

  // The lines of the last EHLO reply after its first line; empty after a HELO.
  const QList<QByteArray>& capabilities() const { return capabilities_.lines; }
  bool authenticated() const { return state_ == State::Authenticated; }
  // The last reply the server gave, such as its 250 after a message.
  const SmtpReply& lastReply() const { return lastReply_; }
  bool encrypted() const;
  // The greeting of the last connection (code 0 when none was read).
  const SmtpReply& greeting() const { return greeting_; }
  // The address the last connection reached.
  const QHostAddress& peerAddress() const { return peerAddress_; }
  // Whether the last EHLO reply offered STARTTLS and AUTH LOGIN.
  bool offersStartTls() const { return capabilities_.startTls; }
  bool offersAuthLogin() const { return capabilities_.authLogin; }
  // The TLS session of the last connection, kept after it closes until the next one opens.
  const TlsSession& tlsSession() const { return tlsSession_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Where the dialogue of the connection stands.
  enum class State {
    Closed,         // no connection
    Introduced,     // greeted and EHLO (or HELO) answered
    Authenticated,  // STARTTLS and AUTH LOGIN done as far as the server offers them
  };

  // What the server offers, read once from each EHLO reply.
  struct Capabilities {
    QList<QByteArray> lines;
    bool startTls = false;
    bool authLogin = false;
  };

  // What a wait on the connection is for.
  enum class Wait { Read, Write, Handshake };

  void openConnection(Clock::time_point deadline);
  void greet();
  void introduce();
  void startTls();
  void authLogin();
  SmtpReply command(const QByteArray& line, std::chrono::milliseconds timeout, const char* what);
  SmtpReply readReply(Clock::time_point deadline, const char* what);
  // Sends a command whose refusal ends the transaction: on a reply not in the expected set,
  // RSET is sent and the refusal thrown.
  void transactionCommand(const QByteArray& line, std::chrono::milliseconds timeout,
                          const char* what, std::initializer_list<int> expected);
  // The message after DATA, made transparent, without the final ".".
  void writeMessage(MessageStream& stream);
  // Hands bytes to the connection and waits until no more than keep of them are still
  // unsent.
  void write(QByteArrayView bytes, qint64 keep, Clock::time_point deadline, const char* what);
  // Waits once on the connection for what, until the deadline; throws when the time runs out
  // or the connection fails (the connection is then closed).
  void wait(Wait what, Clock::time_point deadline, const char* whatFor);
  qint64 unsentBytes() const;
  [[noreturn]] void failConnection(const QString& text);
  [[noreturn]] void failSocket();
  [[noreturn]] void failTimeout(const char* what);
  void resetQuietly();
  void closeConnection();
  bool tlsAvailable() const;
  bool wantsTls() const { return tlsMode_ == TlsMode::Explicit || tlsPolicy_.strict; }
  QSslConfiguration handshakeConfiguration() const;
  [[noreturn]] void failStrict(const QString& why);

  QByteArray host_;
  quint16 port_ = 25;
  QByteArray accountName_;
  QByteArray password_;
  TlsMode tlsMode_ = TlsMode::Off;
  TlsLayer* transport_ = nullptr;
  TlsLayer ownTlsLayer_;
  Timeouts timeouts_;
  std::optional<bool> tlsAvailable_;
  std::optional<QList<QHostAddress>> addresses_;
  TlsPolicy tlsPolicy_;

  std::unique_ptr<QTcpSocket> socket_;
  ReplyReader reader_;
  Capabilities capabilities_;
  State state_ = State::Closed;
  SmtpReply lastReply_;
  bool serverUnreachable_ = false;
  bool timedOut_ = false;  // the last failure was a wait that ran out
  SmtpReply greeting_;
  QHostAddress peerAddress_;
  TlsSession tlsSession_;
};

}  // namespace zavelo::smtp
