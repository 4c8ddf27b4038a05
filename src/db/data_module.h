// The data holder Tfdm: the one connection `Halvori` to the company database, the query
// objects the windows read through their result sets, and the operations conectarbase and
// configuracion. One instance lives for the whole program; its connection starts closed.
#pragma once

#include <QByteArray>
#include <QString>

#include "common/error.h"
#include "db/connection.h"
#include "db/query.h"

namespace zavelo {
class Notifier;
}

namespace zavelo::db {

class Tfdm {
 public:
  explicit Tfdm(Notifier& notifier, QString clientLibrary = defaultFbClientLibrary());
  Tfdm(const Tfdm&) = delete;
  Tfdm& operator=(const Tfdm&) = delete;

  Connection Halvori;
  Query QConfiguracion;  // statement replaced at every lookup
  Query QSku;            // inventory export, through CSku
  Query TAgencia;        // branch list, "SELECT * FROM SUCURSALES"
  Query QVentas;         // sales export, through CVentas
  Query QBorrar;         // users query of the mailing, through CBorrar

  // Closes the connection, points it at servidor + "/datos/" + compania + "/halvori.fdb" with
  // that user and password, and opens it. Errors go to the caller.
  void conectarbase(const QByteArray& servidor, const QByteArray& compania,
                    const QByteArray& codusuario, const QByteArray& clave);

  // The configuration value of (modulo, categoria, propiedad), read afresh; "" with a NULL
  // value. Without a row the "Error" box names the property and the result is "".
  QByteArray configuracion(const QByteArray& modulo, const QByteArray& categoria,
                           const QByteArray& propiedad);

 private:
  Notifier& notifier_;
};

}  // namespace zavelo::db
