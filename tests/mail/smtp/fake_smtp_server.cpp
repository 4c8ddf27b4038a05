#include "fake_smtp_server.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <optional>

namespace zavelo::test {

FakeSmtpServer::FakeSmtpServer(QList<QByteArray> script, int stepTimeoutMs)
    : script_(std::move(script)), stepTimeoutMs_(stepTimeoutMs) {}

FakeSmtpServer::~FakeSmtpServer() {
  if (!wait(QDeadlineTimer(30000))) {
    terminate();
    wait(QDeadlineTimer(5000));
  }
}

quint16 FakeSmtpServer::start() {
  QThread::start();
  if (!listening_.tryAcquire(1, 10000)) return 0;
  return port_;
}

QString FakeSmtpServer::finish(int timeoutMs) {
  if (!wait(QDeadlineTimer(timeoutMs))) fail("the script did not end in time");
  return failure();
}

QString FakeSmtpServer::failure() const {
  QMutexLocker lock(&mutex_);
  return failure_;
}

QByteArray FakeSmtpServer::data() const {
  QMutexLocker lock(&mutex_);
  return data_;
}

void FakeSmtpServer::fail(const QString& text) {
  QMutexLocker lock(&mutex_);
  if (failure_.isEmpty()) failure_ = text;
}

namespace {

QByteArray unescaped(QByteArrayView text) {
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[++i];
      out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One client's session, played line by line from the script: a handler for each kind of
// line. A handler gives nothing to go on, or how the session ends: with a failure, or (empty
// text) as the script says.
class ScriptSession {
 public:
  ScriptSession(QTcpSocket& socket, int stepTimeoutMs, std::function<void(QByteArray)> keepData)
      : socket_(socket), stepTimeoutMs_(stepTimeoutMs), keepData_(std::move(keepData)) {}

  using End = std::optional<QString>;

  // Plays the script; a failure's text starts with the step it happened at.
  End play(const QList<QByteArray>& script) {
    for (qsizetype step = 0; step < script.size(); ++step) {
      const QByteArray& line = script[step];
      const Handler handler = handlerOf(line);
      if (!handler) return where(step, line) + "unknown script line";
      if (const End end = (this->*handler)(line))
        return end->isEmpty() ? *end : where(step, line) + *end;
    }
    socket_.close();
    return std::nullopt;
  }

 private:
  using Handler = End (ScriptSession::*)(const QByteArray& line);

  // The handler of a script line, by its start: S: sent, R: raw bytes sent, C: or C* one
  // client line, D the data up to ".", T data the client cuts short, W: a wait, X the close,
  // E the client's close expected.
  static Handler handlerOf(const QByteArray& line) {
    static const struct {
      const char* start;
      bool whole;  // the line is exactly the start, not a prefix
      Handler handler;
    } kinds[] = {
        {"S:", false, &ScriptSession::send},      {"R:", false, &ScriptSession::sendRaw},
        {"C:", false, &ScriptSession::expect},    {"C*", true, &ScriptSession::expect},
        {"D", true, &ScriptSession::data},        {"T", true, &ScriptSession::cutData},
        {"W:", false, &ScriptSession::pause},     {"X", true, &ScriptSession::close},
        {"E", true, &ScriptSession::expectClose},
    };
    for (const auto& kind : kinds)
      if (kind.whole ? line == kind.start : line.startsWith(kind.start)) return kind.handler;
    return nullptr;
  }

  static QString where(qsizetype step, const QByteArray& line) {
    return QStringLiteral("step %1 (%2): ").arg(step + 1).arg(QString::fromLatin1(line.left(80)));
  }

  End send(const QByteArray& line) {
    socket_.write(line.mid(2) + "\r\n");
    flush();
    return std::nullopt;
  }
  End sendRaw(const QByteArray& line) {
    socket_.write(unescaped(QByteArrayView(line).sliced(2)));
    flush();
    QThread::msleep(50);
    return std::nullopt;
  }
  End expect(const QByteArray& line) {
    const auto got = readLine();
    if (!got) return QStringLiteral("the client sent nothing");
    if (line != "C*" && *got != line.mid(2))
      return "the client sent " + QString::fromLatin1(got->left(200));
    return std::nullopt;
  }
  End data(const QByteArray&) {
    QByteArray data;
    for (;;) {
      const auto got = readLine();
      if (!got) return QStringLiteral("the data did not end with \".\"");
      if (*got == ".") break;
      data += *got + "\r\n";
    }
    keepData_(data);
    return std::nullopt;
  }
  End cutData(const QByteArray&) {
    QByteArray data;
    while (const auto got = readLine()) {
      if (*got == ".") return QStringLiteral("the client ended the data with \".\"");
      data += *got + "\r\n";
    }
    keepData_(data);
    if (socket_.state() == QAbstractSocket::ConnectedState)
      return QStringLiteral("the client did not close the connection");
    return std::nullopt;
  }
  End pause(const QByteArray& line) {
    QThread::msleep(line.mid(2).toULong());
    return std::nullopt;
  }
  End close(const QByteArray&) {
    socket_.close();
    return QString();
  }
  End expectClose(const QByteArray&) {
    const QDeadlineTimer deadline(stepTimeoutMs_);
    while (socket_.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
      socket_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    buffer_ += socket_.readAll();
    if (!buffer_.isEmpty()) return "the client sent " + QString::fromLatin1(buffer_.left(200));
    if (socket_.state() == QAbstractSocket::ConnectedState)
      return QStringLiteral("the client did not close the connection");
    return std::nullopt;
  }

  // The next line from the client without its CR LF; nullopt when the client closed or went
  // quiet.
  std::optional<QByteArray> readLine() {
    const QDeadlineTimer deadline(stepTimeoutMs_);
    for (;;) {
      const qsizetype end = buffer_.indexOf("\r\n");
      if (end >= 0) {
        QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 2);
        return line;
      }
      if (deadline.hasExpired()) return std::nullopt;
      if (!socket_.waitForReadyRead(
              static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        buffer_ += socket_.readAll();
        if (buffer_.contains("\r\n")) continue;
        if (socket_.state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
          return std::nullopt;
      }
      buffer_ += socket_.readAll();
    }
  }

  void flush() {
    while (socket_.bytesToWrite() > 0 && socket_.waitForBytesWritten(stepTimeoutMs_)) {
    }
  }

  QTcpSocket& socket_;
  const int stepTimeoutMs_;
  std::function<void(QByteArray)> keepData_;
  QByteArray buffer_;
};

}  // namespace

void FakeSmtpServer::run() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) {
    fail("cannot listen: " + server.errorString());
    listening_.release();
    return;
  }
  port_ = server.serverPort();
  listening_.release();
  if (script_.isEmpty()) return;  // no client expected
  if (!server.waitForNewConnection(stepTimeoutMs_)) {
    fail("no client connected");
    return;
  }
  const std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
  ScriptSession session(*socket, stepTimeoutMs_, [this](QByteArray data) {
    QMutexLocker lock(&mutex_);
    data_ = std::move(data);
  });
  if (const std::optional<QString> end = session.play(script_); end && !end->isEmpty()) fail(*end);
}

}  // namespace zavelo::test
