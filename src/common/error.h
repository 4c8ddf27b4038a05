// The system's ordinary error kind: database, conversion, range and mail errors all travel as
// this one type, so that an event handler's wrapper can catch it and show the general error
// report, and the mailing can tell a sending failure from anything else.
#pragma once

#include <QString>
#include <exception>

namespace zavelo {

class Error : public std::exception {
 public:
  explicit Error(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

  const QString& message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.constData(); }

 private:
  QString message_;
  QByteArray utf8_;
};

}  // namespace zavelo
