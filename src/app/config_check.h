// The configuration check (--probar): the chain an unattended run walks, step by step with the
// same code, stopping short of every side effect. No report file is written, no message is
// sent (no MAIL FROM), no box is shown and no lock is taken. Each step gives one line of a
// checklist, "OK" or "FALLA" with what a person needs to mend it; a step that fails does not
// stop the ones that can still be checked.
#pragma once

#include <QDate>
#include <QString>
#include <functional>

#include "mail/smtp/smtp_client.h"
#include "mail/smtp/tls_policy.h"
#include "settings/registry.h"

namespace zavelo {

struct CheckSetup {
  settings::RegistryLocation registry;
  QString fbClientLibrary;
  smtp::TlsPolicy tls;
  QDate today;
  // The SMTP waits; the usual ones by default.
  smtp::SmtpClient::Timeouts timeouts;
};

class ConfigCheck {
 public:
  // Each checklist line goes to output as soon as its step ends.
  using Output = std::function<void(const QString& line)>;

  ConfigCheck(CheckSetup setup, Output output);

  // Walks every step; true when all of them are OK.
  bool run();

 private:
  void ok(const QString& step, const QString& detail);
  void fail(const QString& step, const QString& detail);
  void skip(const QString& step, const QString& why);

  CheckSetup setup_;
  Output output_;
  int failures_ = 0;
};

// The program's --probar, with no window system at all: the check with the program's defaults
// and the given TLS policy, its lines on standard output and, when journal is set, in that
// file. Returns the exit status: 0 when every step is OK, 2 otherwise.
int runConfigCheck(int& argc, char** argv, const smtp::TlsPolicy& tls, const QString& journal,
                   const QString& version);

}  // namespace zavelo
