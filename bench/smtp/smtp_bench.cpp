// Sends one message with one attached file to an SMTP server through the system's client, as
// a user's report mail would go, and prints how long it took and the process's peak resident
// memory (VmHWM, KiB) at the start, once connected (just before the send) and after the send:
// the difference of the last two is what sending costs, whatever the size of the file.
//
//   smtp_bench --port N --file PATH [--host H] [--starttls] [--user NAME --password WORD]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <cstdio>

#include "common/error.h"
#include "mail/smtp/smtp_client.h"

using namespace zavelo::smtp;

namespace {

// The peak resident set of this process so far, in KiB (Linux; -1 elsewhere).
long peakResidentKib() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QByteArray host = "127.0.0.1";
  quint16 port = 0;
  QString file;
  bool startTls = false;
  QByteArray user;
  QByteArray password;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--host" && i + 1 < args.size())
      host = args[++i].toUtf8();
    else if (args[i] == "--port" && i + 1 < args.size())
      port = static_cast<quint16>(args[++i].toUInt());
    else if (args[i] == "--file" && i + 1 < args.size())
      file = args[++i];
    else if (args[i] == "--starttls")
      startTls = true;
    else if (args[i] == "--user" && i + 1 < args.size())
      user = args[++i].toUtf8();
    else if (args[i] == "--password" && i + 1 < args.size())
      password = args[++i].toUtf8();
  }
  if (port == 0 || file.isEmpty()) {
    std::fprintf(stderr,
                 "usage: smtp_bench --port N --file PATH [--host H] [--starttls] "
                 "[--user NAME --password WORD]\n");
    return 2;
  }

  QElapsedTimer timer;
  timer.start();
  SmtpClient client;
  client.setHost(host);
  client.setPort(port);
  if (startTls) client.switchToExplicitTls();
  client.setAccountName(user);
  client.setPassword(password);
  MailMessage message;
  message.setSender("bench@example.com");
  message.recipients().setText("destino@example.com");
  message.setSubject("Reporte de prueba");
  message.setBodyText("Adjunto reporte");
  message.addAttachment(file);
  const long startPeak = peakResidentKib();
  long idlePeak = -1;
  try {
    client.connectToServer();
    // Connected, the TLS library loaded: what the send adds is measured from here.
    idlePeak = peakResidentKib();
    client.send(message);
    if (startTls && !client.encrypted()) throw zavelo::Error("the connection was not encrypted");
    client.disconnectFromServer();
  } catch (const zavelo::Error& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  const long sendingPeak = peakResidentKib();
  std::printf("%.3f %ld %ld %ld\n", static_cast<double>(timer.nsecsElapsed()) / 1e9, startPeak,
              idlePeak, sendingPeak);
  return 0;
}
