// SMTP time-outs for tests: every wait of the client bounded by one short value, so that a
// server that stops answering fails a test quickly instead of after minutes.
#pragma once

#include <chrono>

#include "mail/smtp/smtp_client.h"

namespace zavelo::test {

// A time-out added to the client's list must be bounded here too (or, like fallThrough, be a
// delay that is no wait on the server): this fails the build until the list below is looked at.
static_assert(sizeof(smtp::SmtpClient::Timeouts) == 9 * sizeof(std::chrono::milliseconds),
              "SmtpClient::Timeouts changed: bound the new wait in everyTimeout");

inline smtp::SmtpClient::Timeouts everyTimeout(std::chrono::milliseconds limit) {
  smtp::SmtpClient::Timeouts t;
  t.connect = t.greeting = t.command = t.mail = t.rcpt = t.data = t.dataBlock = t.dataEnd = limit;
  return t;
}

}  // namespace zavelo::test
