#include "db/data_module.h"

#include "common/cp1252.h"
#include "common/notifier.h"

namespace zavelo::db {

Tfdm::Tfdm(Notifier& notifier, QString clientLibrary)
    : Halvori(std::move(clientLibrary)),
      QConfiguracion(Halvori, "select conf_valor from configuracion"),
      QSku(Halvori),
      TAgencia(Halvori, "SELECT * FROM SUCURSALES"),
      QVentas(Halvori),
      QBorrar(Halvori),
      notifier_(notifier) {}

void Tfdm::conectarbase(const QByteArray& servidor, const QByteArray& compania,
                        const QByteArray& codusuario, const QByteArray& clave) {
  Halvori.close();
  Halvori.params().setValue("Database", servidor + "/datos/" + compania + "/halvori.fdb");
  Halvori.params().setValue("User_Name", codusuario);
  // Written in lower case on purpose: it rewrites the "Password" line in its place.
  Halvori.params().setValue("password", clave);
  Halvori.open();
}

QByteArray Tfdm::configuracion(const QByteArray& modulo, const QByteArray& categoria,
                               const QByteArray& propiedad) {
  // The callers pass fixed texts without quotes, so they go in as they are.
  QConfiguracion.setSql("select conf_valor from configuracion where conf_modulo = '" + modulo +
                        "' and conf_categoria = '" + categoria + "' and conf_propiedad = '" +
                        propiedad + "'");
  const Query::Result result = QConfiguracion.openFetchAllAndClose();
  if (result.rows.empty()) {
    notifier_.errorBox(QStringLiteral("Error"),
                       fromCp1252("No se encontr\xF3 la configuraci\xF3n " + propiedad));
    return {};
  }
  return result.rows.front().front().value_or(QByteArray());
}

}  // namespace zavelo::db
