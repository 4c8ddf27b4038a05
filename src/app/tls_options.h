// The mail's TLS policy as the command line asks for it: strict with --tls-estricto, and with
// the certificates of --certificados trusted beside the system's.
#pragma once

#include <QString>
#include <optional>

#include "app/command_line.h"
#include "mail/smtp/tls_policy.h"

namespace zavelo {

// The policy, or nullopt with why in error when the certificates file cannot be used (missing,
// unreadable, or holding no PEM certificate).
std::optional<smtp::TlsPolicy> tlsPolicyOf(const StartOptions& options, QString& error);

}  // namespace zavelo
