// A Python fixture of tests/fixtures (the SMTP server, the mail reader) run for a test, with
// its standard input, output and error, like a QProcess. On Linux it is a QProcess of the
// system Python. Under Wine a Windows program cannot start a Linux program and wait for it, so
// there the test program asks tests/fixtures/host_runner.py, started beside the tests (its port
// in ZAVELO_HOST_RUNNER), to run the script, and talks to it over loopback.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

namespace zavelo::test {

class FixtureProcess {
 public:
  FixtureProcess() = default;
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;
  ~FixtureProcess();

  // Starts tests/fixtures/<script> with the arguments.
  void start(const QString& script, const QStringList& args);
  bool waitForStarted(int ms);
  // Waits for more standard output (or the end); false when none came in time.
  bool waitForReadyRead(int ms);
  bool running() const;
  QByteArray readAllStandardOutput();
  QByteArray readAllStandardError();
  void closeWriteChannel();
  bool waitForFinished(int ms);
  void kill();
  int exitCode() const;
  QString errorString() const;

 private:
#ifdef Q_OS_WIN
  // Reads what has arrived; returns false when the connection is gone.
  bool pump(int ms);
  QTcpSocket socket_;
  QByteArray buffer_;
  QByteArray out_;
  QByteArray err_;
  bool finished_ = false;
  int exitCode_ = -1;
  QString error_;
#else
  QProcess process_;
#endif
};

// The Python that has aiosmtpd, from ZAVELO_PYTHON.
QString systemPython();

}  // namespace zavelo::test
