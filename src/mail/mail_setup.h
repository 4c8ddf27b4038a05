// The day's mail setup as the company database gives it: the SMTP port and the TLS switch from
// the configuration, and the sending user's mail account from the users table.
#pragma once

#include <QByteArray>
#include <optional>

namespace zavelo::db {
class Tfdm;
}

namespace zavelo::mail {

struct MailAccount {
  QByteArray sender;  // user_email
  QByteArray host;    // user_mailserver
  QByteArray accountName;
  QByteArray password;
};

struct MailSetup {
  quint16 port = 25;
  // nullopt when the user has no row or an empty e-mail address.
  std::optional<MailAccount> account;
  // The configuration's TLS switch reads exactly "SI".
  bool startTls = false;
};

// The value of one of the mailing's configuration rows (module and category "GENERAL"), read
// afresh; a missing row shows the lookup's "Error" box and reads as empty.
QByteArray mailConfiguracion(db::Tfdm& dm, const char* propiedad);

// Reads, in this order, the port, the user's row and the TLS switch. A port text that is no
// port and a database error go to the caller; a missing configuration row shows the lookup's
// "Error" box and reads as empty.
MailSetup readMailSetup(db::Tfdm& dm, const QByteArray& userCode);

}  // namespace zavelo::mail
