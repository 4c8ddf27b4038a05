// What became of one file's mail: the mailing says it, the run of days counts it.
#pragma once

#include <QString>

namespace zavelo {

enum class MailOutcome { NotAttempted, Sent, Failed };

struct MailResult {
  MailOutcome outcome = MailOutcome::NotAttempted;
  QString text{};  // the server's last reply when sent, the error when failed
  // How the mail's connection went ("sin TLS", the TLS version and whether the certificate
  // was verified); empty when no connection was made.
  QString connection{};
  // Failed because the mail server could not be reached or did not greet in time.
  bool serverUnreachable = false;
};

}  // namespace zavelo
