#include "mail/smtp/message_stream.h"

#include <QFileInfo>

#include "common/error.h"
#include "mail/smtp/mime_writer.h"

namespace zavelo::smtp {

namespace {

// Base64 turns 57 bytes into one whole line of 76 characters, so a file read in multiples of
// 57 bytes gives the same lines as the file encoded at once.
constexpr qsizetype kBytesPerLine = 57;
constexpr qsizetype kLineLength = 76;

// The body's text is Windows-1252, like every text of the system (the company name is the
// usual byte beyond ASCII); without the parameter a mail program guesses and garbles it.
constexpr char kBodyFields[] =
    "Content-Type: text/plain; charset=windows-1252\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n";

Error unreadable(const QString& path, const QString& reason) {
  return Error(Error::Kind::File,
               QStringLiteral("Cannot read the attachment %1: %2").arg(path, reason));
}

}  // namespace

MessageStream::MessageStream(const MailMessage& message, const QDateTime& date,
                             const QByteArray& boundary) {
  QByteArray head;
  AddressList from;
  from.append(AddressList::parseEntry(message.sender()));
  head += "From: " + MimeWriter::addressField(from, 6) + "\r\n";
  head += "Subject: " + MimeWriter::headerText(message.subject(), 9) + "\r\n";
  head += "To:";
  if (!message.recipients().isEmpty())
    head += ' ' + MimeWriter::addressField(message.recipients(), 4);
  head += "\r\n";
  if (!message.ccList().isEmpty())
    head += "Cc: " + MimeWriter::addressField(message.ccList(), 4) + "\r\n";
  head += "Date: " + MimeWriter::dateField(date) + "\r\n";
  head += "MIME-Version: 1.0\r\n";

  const QByteArray body = MimeWriter::quotedPrintable(message.bodyText());
  if (message.attachments().isEmpty()) {
    head += kBodyFields;
    head += "\r\n";
    appendText(head + body);
    return;
  }

  head += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n";
  head += "\r\n";
  head += "This is a multi-part message in MIME format\r\n";
  head += "\r\n--" + boundary + "\r\n";
  head += kBodyFields;
  head += "Content-Disposition: inline\r\n";
  head += "\r\n";
  appendText(head + body);
  for (const QString& path : message.attachments()) {
    const QString name = QFileInfo(path).fileName();
    // The line end that ends the previous part belongs to the delimiter.
    QByteArray part = "\r\n--" + boundary + "\r\n";
    part += "Content-Type: " + MimeWriter::mimeType(name) + ";\r\n " +
            MimeWriter::parameter("name", name) + "\r\n";
    part += "Content-Transfer-Encoding: base64\r\n";
    part +=
        "Content-Disposition: attachment;\r\n " + MimeWriter::parameter("filename", name) + "\r\n";
    part += "\r\n";
    appendText(part);
    appendFile(path);
  }
  appendText("\r\n--" + boundary + "--\r\n");
}

MessageStream::~MessageStream() = default;

void MessageStream::appendText(const QByteArray& text) {
  Segment segment;
  segment.text = text;
  segments_.push_back(std::move(segment));
}

void MessageStream::appendFile(const QString& path) {
  Segment segment;
  segment.path = path;
  segment.file = std::make_unique<QFile>(path);
  if (!segment.file->open(QIODevice::ReadOnly)) throw unreadable(path, segment.file->errorString());
  segment.size = segment.file->size();
  segments_.push_back(std::move(segment));
}

QByteArray MessageStream::next(qsizetype blockSize) {
  QByteArray out;
  while (current_ < segments_.size() && out.size() < blockSize) {
    Segment& segment = segments_[current_];
    if (!segment.file) {
      const qsizetype take =
          std::min<qsizetype>(blockSize - out.size(), segment.text.size() - segment.done);
      out += QByteArrayView(segment.text).sliced(segment.done, take);
      segment.done += take;
      if (segment.done == segment.text.size()) {
        segment.text = QByteArray();
        ++current_;
      }
      continue;
    }
    readFile(segment, blockSize - out.size(), out);
    if (segment.done == segment.size) {
      segment.file.reset();
      ++current_;
    }
  }
  return out;
}

void MessageStream::readFile(Segment& segment, qsizetype room, QByteArray& out) {
  const auto changed = [&] {
    return Error(Error::Kind::File,
                 QStringLiteral("The attachment %1 changed while it was being sent; the message "
                                "was not sent.")
                     .arg(segment.path));
  };
  // Whole lines only, at least one, as many as fit the room left.
  const qint64 lines = std::max<qint64>(1, room / (kLineLength + 2));
  const qint64 want = std::min<qint64>(lines * kBytesPerLine, segment.size - segment.done);
  QByteArray bytes(want, Qt::Uninitialized);
  qint64 got = 0;
  while (got < want) {
    const qint64 n = segment.file->read(bytes.data() + got, want - got);
    if (n < 0) throw unreadable(segment.path, segment.file->errorString());
    if (n == 0) throw changed();  // shorter than when it was opened
    got += n;
  }
  segment.done += got;
  if (segment.done == segment.size) {
    // Anything past the size it had when opened means the file grew meanwhile.
    char extra;
    const qint64 n = segment.file->read(&extra, 1);
    if (n < 0) throw unreadable(segment.path, segment.file->errorString());
    if (n > 0) throw changed();
  }
  const QByteArray encoded = bytes.toBase64();
  out.reserve(out.size() + encoded.size() + encoded.size() / kLineLength * 2 + 2);
  for (qsizetype i = 0; i < encoded.size(); i += kLineLength) {
    out += QByteArrayView(encoded).sliced(i, std::min(kLineLength, encoded.size() - i));
    out += "\r\n";
  }
}

QByteArray MessageStream::whole(const MailMessage& message, const QDateTime& date,
                                const QByteArray& boundary) {
  MessageStream stream(message, date, boundary);
  QByteArray out;
  for (QByteArray block = stream.next(64 * 1024); !block.isEmpty(); block = stream.next(64 * 1024))
    out += block;
  return out;
}

}  // namespace zavelo::smtp
