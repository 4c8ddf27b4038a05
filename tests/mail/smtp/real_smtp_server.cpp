#include "real_smtp_server.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace zavelo::test {

QString freeLoopbackAddress() {
  auto* random = QRandomGenerator::global();
  return QStringLiteral("127.%1.%2.%3")
      .arg(random->bounded(1, 255))
      .arg(random->bounded(0, 256))
      .arg(random->bounded(1, 255));
}

RealSmtpServer::RealSmtpServer(const QStringList& options) {
  folder_ = dir_.filePath("server");
  QStringList args{"--out", folder_, "--lifetime", "120"};
  args += options;
  process_.start("smtp_server.py", args);
  if (!process_.waitForStarted(10000)) {
    ADD_FAILURE() << "the SMTP server did not start: " << process_.errorString().toStdString();
    return;
  }
  QByteArray out;
  const QDeadlineTimer deadline(30000);
  while (!out.contains('\n') && !deadline.hasExpired()) {
    process_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    out += process_.readAllStandardOutput();
    if (!process_.running()) break;
  }
  if (!out.startsWith("PORT ")) {
    ADD_FAILURE() << "the SMTP server gave no port: " << out.toStdString()
                  << process_.readAllStandardError().toStdString();
    return;
  }
  port_ = static_cast<quint16>(out.mid(5, out.indexOf('\n') - 5).trimmed().toUInt());
}

RealSmtpServer::~RealSmtpServer() {
  stop();
}

QString RealSmtpServer::stop() {
  if (process_.running()) {
    process_.closeWriteChannel();  // the server ends when its input closes
    if (!process_.waitForFinished(10000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  return QString::fromUtf8(process_.readAllStandardError());
}

QStringList RealSmtpServer::sessionLog(int session) const {
  QFile f(QDir(folder_).filePath(QStringLiteral("session-%1.log").arg(session)));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString RealSmtpServer::messagePath(int session, int message) const {
  const QString path =
      QDir(folder_).filePath(QStringLiteral("message-%1-%2.eml").arg(session).arg(message));
  return QFile::exists(path) ? path : QString();
}

QJsonObject RealSmtpServer::envelope(int session, int message) const {
  QFile f(QDir(folder_).filePath(QStringLiteral("message-%1-%2.json").arg(session).arg(message)));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(f.readAll()).object();
}

QJsonObject RealSmtpServer::tlsSession(int session) const {
  QFile f(QDir(folder_).filePath(QStringLiteral("tls-%1.json").arg(session)));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(f.readAll()).object();
}

QJsonObject readMail(const QString& path) {
  FixtureProcess p;
  p.start("read_mail.py", {path});
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished(5000);
    ADD_FAILURE() << "read_mail.py did not finish";
    return {};
  }
  const QByteArray out = p.readAllStandardOutput();
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << out.left(500).toStdString();
  return doc.object();
}

}  // namespace zavelo::test
