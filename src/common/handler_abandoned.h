// Raised where a message box would wait for a click that can never come (an unattended run):
// the box's text has already been recorded, and the event handler that was running is left,
// its remaining steps skipped as after the general error report. It is not the system's
// ordinary error kind, so that nothing on the way out takes it for a failed mail.
#pragma once

#include <QString>
#include <exception>

#include "common/error.h"

namespace zavelo {

class HandlerAbandoned : public std::exception {
 public:
  explicit HandlerAbandoned(QString message) : box_(std::move(message)) {}

  const QString& message() const noexcept { return box_.message(); }
  const char* what() const noexcept override { return box_.what(); }

 private:
  Error box_;  // the box's text, kept as an error's is
};

}  // namespace zavelo
