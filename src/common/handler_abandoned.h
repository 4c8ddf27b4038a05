// Raised where a message box would wait for a click that can never come (an unattended run):
// the box's text has already been recorded, and the event handler that was running is left,
// its remaining steps skipped as after the general error report. It is not the system's
// ordinary error kind, so that nothing on the way out takes it for a failed mail.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace zavelo {

class HandlerAbandoned : public std::exception {
 public:
  explicit HandlerAbandoned(QString message)
      : message_(std::move(message)), utf8_(message_.toUtf8()) {}

  const QString& message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.constData(); }

 private:
  QString message_;
  QByteArray utf8_;
};

}  // namespace zavelo
