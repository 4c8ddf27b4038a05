#include "mail/smtp/mail_message.h"

namespace zavelo::smtp {

void MailMessage::setBodyText(QByteArrayView text) {
  body_.clear();
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    body_.append(text.sliced(start, i - start).toByteArray());
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) body_.append(text.sliced(start).toByteArray());
}

QByteArray MailMessage::bodyText() const {
  QByteArray text;
  for (const QByteArray& line : body_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace zavelo::smtp
