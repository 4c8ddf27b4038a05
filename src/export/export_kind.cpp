#include "export/export_kind.h"

namespace zavelo::exporting {

QByteArray statusPrefix(Kind kind) {
  return kind == Kind::Inventory ? QByteArrayLiteral("Generando archivo Inventario ")
                                 : QByteArrayLiteral("Generando archivo Ventas");
}

QByteArray statementHead(Kind kind) {
  return kind == Kind::Inventory ? QByteArrayLiteral("select CADENA from ZAVELO_INVENTARIO(")
                                 : QByteArrayLiteral("select CADENA from ZAVELO_VENTAS(");
}

QByteArray filePrefix(Kind kind) {
  return kind == Kind::Inventory ? QByteArrayLiteral("inventarios") : QByteArrayLiteral("ventas");
}

}  // namespace zavelo::exporting
