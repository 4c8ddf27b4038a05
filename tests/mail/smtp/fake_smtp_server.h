// A scripted SMTP server for the replies real servers rarely give: a thread with its own
// QTcpServer on a free loopback port that plays a script against one client connection.
//
// Script lines:
//   "S:text"  the server sends text and CR LF
//   "R:text"  the server sends text as it is (no CR LF added) in a write of its own, then
//             pauses briefly, so that one reply reaches the client in pieces
//   "C:text"  the next line the client sends must be exactly text
//   "C*"      the client sends one line, whatever it holds
//   "D"       the client sends message data, up to and including the line "."
//   "T"       the client sends message data and closes the connection without the line "."
//   "W:ms"    the server waits ms milliseconds
//   "X"       the server closes the connection
//   "E"       the client must close the connection without sending anything more
// An empty script expects no client at all. A test ends by checking failure() is empty: every
// line was played as written.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

namespace zavelo::test {

class FakeSmtpServer : public QThread {
 public:
  explicit FakeSmtpServer(QList<QByteArray> script, int stepTimeoutMs = 10000);
  ~FakeSmtpServer() override;

  // Starts listening and returns the port (0 when it could not listen).
  quint16 start();
  // Waits for the script to end; returns failure().
  QString finish(int timeoutMs = 20000);
  // Empty when the whole script was played; otherwise what went wrong, and where.
  QString failure() const;
  // The data lines received by "D" (without the final ".") or "T", each followed by CR LF.
  QByteArray data() const;

 protected:
  void run() override;

 private:
  void fail(const QString& text);

  const QList<QByteArray> script_;
  const int stepTimeoutMs_;
  QSemaphore listening_;
  quint16 port_ = 0;
  mutable QMutex mutex_;
  QString failure_;
  QByteArray data_;
};

}  // namespace zavelo::test
