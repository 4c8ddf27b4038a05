// The message of one send, produced in blocks as the connection takes them: header fields and
// the body's text first, then each attached file read in blocks and Base64-encoded line by
// line. Only one block of a file and its Base64 text are in memory at any time, so a large
// report costs the same memory as a small one.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <memory>

#include "mail/smtp/mail_message.h"

namespace zavelo::smtp {

class MessageStream {
 public:
  // Lays the message out, with the Date field made from date and the parts separated by
  // boundary, and opens every attached file, so that a file that cannot be opened fails here,
  // before anything is sent. Throws zavelo::Error.
  MessageStream(const MailMessage& message, const QDateTime& date, const QByteArray& boundary);
  ~MessageStream();
  MessageStream(const MessageStream&) = delete;
  MessageStream& operator=(const MessageStream&) = delete;

  // The next bytes of the message, at most about blockSize of them; empty once the message
  // has ended. Throws zavelo::Error when a file cannot be read or is no longer the size it had
  // when it was opened: the message would go out cut short or mixed up.
  QByteArray next(qsizetype blockSize);

  // The whole message at once, for what must see it whole (tests and the fuzz target).
  static QByteArray whole(const MailMessage& message, const QDateTime& date,
                          const QByteArray& boundary);

 private:
  // A piece of the message: fixed text, or a file whose Base64 lines are made as it is read.
  struct Segment {
    QByteArray text;
    QString path;
    std::unique_ptr<QFile> file;
    qint64 size = 0;  // the file's size when it was opened
    qint64 done = 0;  // bytes of text given out, or of the file read
  };

  void appendText(const QByteArray& text);
  void appendFile(const QString& path);
  void readFile(Segment& segment, qsizetype room, QByteArray& out);

  std::vector<Segment> segments_;
  size_t current_ = 0;
};

}  // namespace zavelo::smtp
