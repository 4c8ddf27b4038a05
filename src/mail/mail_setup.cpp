#include "mail/mail_setup.h"

#include "db/data_module.h"
#include "db/link.h"
#include "db/result_set.h"
#include "db/sql_literal.h"
#include "mail/mail_texts.h"
#include "mail/port_text.h"

namespace zavelo::mail {
namespace {

QByteArray textOf(const db::Value& value) {
  return value.value_or(QByteArray());
}

}  // namespace

QByteArray mailConfiguracion(db::Tfdm& dm, const char* propiedad) {
  return dm.configuracion(kConfigModule, kConfigCategory, propiedad);
}

MailSetup readMailSetup(db::Tfdm& dm, const QByteArray& userCode) {
  MailSetup setup;
  setup.port = portFromText(mailConfiguracion(dm, kPortProperty));

  db::Link PBorrar(dm.QBorrar, true);
  db::ResultSet CBorrar(PBorrar);
  CBorrar.setCommandText(kUserStatement + db::sqlStringLiteral(userCode));
  CBorrar.open();
  if (!textOf(CBorrar.value(0)).isEmpty())
    setup.account = MailAccount{.sender = textOf(CBorrar.value(0)),
                                .host = textOf(CBorrar.value(1)),
                                .accountName = textOf(CBorrar.value(2)),
                                .password = textOf(CBorrar.value(3))};
  CBorrar.close();

  setup.startTls = mailConfiguracion(dm, kTlsProperty) == kTlsOn;
  return setup;
}

}  // namespace zavelo::mail
