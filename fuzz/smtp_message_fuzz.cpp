// Any bytes as the names, subject and body lines of a message: what the message stream makes
// must be a message any server takes. Header lines are 7-bit (as long as the addresses
// themselves are, which cannot be encoded), every line ends in CR LF with no bare CR or LF,
// no line passes 998 characters, and once made transparent for DATA no line is a lone ".".
#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdlib>

#include "common/error.h"
#include "mail/smtp/dot_stuffer.h"
#include "mail/smtp/message_stream.h"

using namespace zavelo::smtp;

namespace {

// Fields are kept shorter than a header line may be, so that an address text (which cannot be
// folded inside) stays within the limit as RFC 5321 keeps it.
constexpr size_t kFieldLimit = 300;

QByteArray field(FuzzedDataProvider& data) {
  const std::string s = data.ConsumeRandomLengthString(kFieldLimit);
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

bool isPrintableAscii(const QByteArray& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
  return true;
}

// A small file to attach, made once.
const QString& attachmentPath() {
  static const QString path = [] {
    const QString p = QDir::temp().filePath(
        QStringLiteral("smtp_message_fuzz_%1.txt").arg(QCoreApplication::applicationPid()));
    QFile f(p);
    if (f.open(QIODevice::WriteOnly)) f.write("L1;2\r\n.L2\r\n");
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  MailMessage m;
  const QByteArray senderName = field(data);
  m.setSender(senderName + " <ventas@example.com>");
  const QByteArray name = field(data);
  const QByteArray comment = field(data);
  const QByteArray loose = field(data);
  m.recipients().setText(name + " <ana@example.com>; luis@example.com (" + comment + "), " + loose +
                         " pedro@example.com");
  m.ccList().setText(field(data) + " <copia@example.net>");
  m.setSubject(field(data));
  QList<QByteArray> body;
  const int lines = data.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < lines; ++i) body.append(field(data));
  m.setBody(body);
  if (data.ConsumeBool()) m.addAttachment(attachmentPath());

  QByteArray out;
  try {
    out = MessageStream::whole(
        m, QDateTime(QDate(2026, 12, 9), QTime(18, 5, 3), Qt::OffsetFromUTC, -18000), "=_b");
  } catch (const zavelo::Error&) {
    abort();  // nothing in the texts may stop the message
  }

  // Line ends: CR LF only.
  for (qsizetype i = 0; i < out.size(); ++i) {
    if (out[i] == '\r' && (i + 1 == out.size() || out[i + 1] != '\n')) abort();
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) abort();
  }
  if (!out.endsWith("\r\n")) abort();
  const QList<QByteArray> all = out.split('\n');
  for (const QByteArray& line : all)
    if (line.size() > 999) abort();  // 998 and the CR

  // The header block is 7-bit, unless an address itself has other bytes.
  bool asciiAddresses = isPrintableAscii(AddressList::parseEntry(m.sender()).address);
  for (const AddressList* list : {&m.recipients(), &m.ccList()})
    for (const QByteArray& a : list->addresses())
      asciiAddresses = asciiAddresses && isPrintableAscii(a);
  const qsizetype headEnd = out.indexOf("\r\n\r\n");
  if (headEnd < 0) abort();
  if (asciiAddresses)
    for (qsizetype i = 0; i < headEnd; ++i)
      if (static_cast<unsigned char>(out[i]) >= 0x80) abort();

  // Transparent for DATA: no line of the message reads as its end.
  DotStuffer stuffer;
  QByteArray stuffed;
  stuffer.apply(out, stuffed);
  stuffed += stuffer.ending();
  if (stuffed.startsWith(".\r\n") || stuffed.contains("\r\n.\r\n")) abort();
  return 0;
}
