#include "support/fixture_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include "support/fixture_path.h"

namespace zavelo::test {

QString systemPython() {
  const QString python = qEnvironmentVariable("ZAVELO_PYTHON");
  return python.isEmpty() ? QStringLiteral(ZAVELO_SYSTEM_PYTHON) : python;
}

FixtureProcess::~FixtureProcess() {
  if (running()) {
    kill();
    waitForFinished(5000);
  }
}

#ifdef Q_OS_WIN

void FixtureProcess::start(const QString& script, const QStringList& args) {
  const quint16 port = quint16(qEnvironmentVariableIntValue("ZAVELO_HOST_RUNNER"));
  if (port == 0) {
    error_ = QStringLiteral(
        "ZAVELO_HOST_RUNNER names no port: start the tests with "
        "tests/fixtures/host_runner.py beside them (scripts/windows does)");
    finished_ = true;
    return;
  }
  socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
  QJsonObject request{{"script", script}, {"args", QJsonArray::fromStringList(args)}};
  socket_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

bool FixtureProcess::waitForStarted(int ms) {
  if (finished_) return false;
  if (socket_.state() != QAbstractSocket::ConnectedState && !socket_.waitForConnected(ms)) {
    error_ = socket_.errorString();
    finished_ = true;
    return false;
  }
  return socket_.waitForBytesWritten(ms) || socket_.bytesToWrite() == 0;
}

bool FixtureProcess::pump(int ms) {
  if (finished_) return false;
  if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(ms)) {
    if (socket_.state() != QAbstractSocket::ConnectedState) finished_ = true;
    return false;
  }
  buffer_ += socket_.readAll();
  for (;;) {
    if (buffer_.size() < 5) break;
    const quint32 size = qFromBigEndian<quint32>(buffer_.constData() + 1);
    if (quint32(buffer_.size()) < 5 + size) break;
    const char kind = buffer_[0];
    const QByteArray payload = buffer_.mid(5, size);
    buffer_.remove(0, 5 + size);
    if (kind == 'O') out_ += payload;
    if (kind == 'E') err_ += payload;
    if (kind == 'X') {
      exitCode_ = qFromBigEndian<qint32>(payload.constData());
      finished_ = true;
    }
  }
  return true;
}

bool FixtureProcess::waitForReadyRead(int ms) {
  const QDeadlineTimer deadline(ms);
  const qsizetype before = out_.size();
  while (out_.size() == before && !finished_) {
    pump(int(std::max<qint64>(1, deadline.remainingTime())));
    if (deadline.hasExpired()) break;
  }
  return out_.size() > before;
}

bool FixtureProcess::running() const {
  return socket_.state() != QAbstractSocket::UnconnectedState && !finished_;
}

QByteArray FixtureProcess::readAllStandardOutput() {
  while (pump(0)) {
  }
  return std::exchange(out_, {});
}

QByteArray FixtureProcess::readAllStandardError() {
  while (pump(0)) {
  }
  return std::exchange(err_, {});
}

void FixtureProcess::closeWriteChannel() {
  if (socket_.state() == QAbstractSocket::ConnectedState) {
    socket_.write("C");
    socket_.waitForBytesWritten(5000);
  }
}

bool FixtureProcess::waitForFinished(int ms) {
  const QDeadlineTimer deadline(ms);
  while (!finished_ && !deadline.hasExpired()) {
    pump(int(std::max<qint64>(1, deadline.remainingTime())));
  }
  return finished_;
}

void FixtureProcess::kill() {
  if (socket_.state() == QAbstractSocket::ConnectedState) {
    socket_.write("K");
    socket_.waitForBytesWritten(5000);
  }
}

int FixtureProcess::exitCode() const {
  return exitCode_;
}

QString FixtureProcess::errorString() const {
  return error_.isEmpty() ? socket_.errorString() : error_;
}

#else

void FixtureProcess::start(const QString& script, const QStringList& args) {
  process_.start(systemPython(), QStringList{fixturePath(script)} + args);
}

bool FixtureProcess::waitForStarted(int ms) {
  return process_.waitForStarted(ms);
}

bool FixtureProcess::waitForReadyRead(int ms) {
  return process_.waitForReadyRead(ms);
}

bool FixtureProcess::running() const {
  return process_.state() != QProcess::NotRunning;
}

QByteArray FixtureProcess::readAllStandardOutput() {
  return process_.readAllStandardOutput();
}

QByteArray FixtureProcess::readAllStandardError() {
  return process_.readAllStandardError();
}

void FixtureProcess::closeWriteChannel() {
  process_.closeWriteChannel();
}

bool FixtureProcess::waitForFinished(int ms) {
  return process_.waitForFinished(ms);
}

void FixtureProcess::kill() {
  process_.kill();
}

int FixtureProcess::exitCode() const {
  return process_.exitCode();
}

QString FixtureProcess::errorString() const {
  return process_.errorString();
}

#endif

}  // namespace zavelo::test
