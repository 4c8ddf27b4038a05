#include "fake_smtp_server.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
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
  std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
  QByteArray buffer;

  // The next line from the client without its CR LF; nullopt when the client closed or went
  // quiet.
  const auto readLine = [&]() -> std::optional<QByteArray> {
    const QDeadlineTimer deadline(stepTimeoutMs_);
    for (;;) {
      const qsizetype end = buffer.indexOf("\r\n");
      if (end >= 0) {
        QByteArray line = buffer.left(end);
        buffer.remove(0, end + 2);
        return line;
      }
      if (deadline.hasExpired()) return std::nullopt;
      if (!socket->waitForReadyRead(
              static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        buffer += socket->readAll();
        if (buffer.contains("\r\n")) continue;
        if (socket->state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
          return std::nullopt;
      }
      buffer += socket->readAll();
    }
  };
  const auto flush = [&] {
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(stepTimeoutMs_)) {
    }
  };

  for (qsizetype step = 0; step < script_.size(); ++step) {
    const QByteArray& line = script_[step];
    const QString where =
        QStringLiteral("step %1 (%2): ").arg(step + 1).arg(QString::fromLatin1(line.left(80)));
    if (line.startsWith("S:")) {
      socket->write(line.mid(2) + "\r\n");
      flush();
    } else if (line.startsWith("R:")) {
      socket->write(unescaped(QByteArrayView(line).sliced(2)));
      flush();
      QThread::msleep(50);
    } else if (line.startsWith("C:") || line == "C*") {
      const auto got = readLine();
      if (!got) return fail(where + "the client sent nothing");
      if (line != "C*" && *got != line.mid(2))
        return fail(where + "the client sent " + QString::fromLatin1(got->left(200)));
    } else if (line == "D") {
      QByteArray data;
      for (;;) {
        const auto got = readLine();
        if (!got) return fail(where + "the data did not end with \".\"");
        if (*got == ".") break;
        data += *got + "\r\n";
      }
      QMutexLocker lock(&mutex_);
      data_ = data;
    } else if (line == "T") {
      QByteArray data;
      while (const auto got = readLine()) {
        if (*got == ".") return fail(where + "the client ended the data with \".\"");
        data += *got + "\r\n";
      }
      {
        QMutexLocker lock(&mutex_);
        data_ = data;
      }
      if (socket->state() == QAbstractSocket::ConnectedState)
        return fail(where + "the client did not close the connection");
    } else if (line.startsWith("W:")) {
      QThread::msleep(line.mid(2).toULong());
    } else if (line == "X") {
      socket->close();
      return;
    } else if (line == "E") {
      const QDeadlineTimer deadline(stepTimeoutMs_);
      while (socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
        socket->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
      buffer += socket->readAll();
      if (!buffer.isEmpty())
        return fail(where + "the client sent " + QString::fromLatin1(buffer.left(200)));
      if (socket->state() == QAbstractSocket::ConnectedState)
        return fail(where + "the client did not close the connection");
    } else {
      return fail(where + "unknown script line");
    }
  }
  socket->close();
}

}  // namespace zavelo::test
