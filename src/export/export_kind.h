// The two kinds of daily export file and the fixed texts that belong to each.
#pragma once

#include <QByteArray>

namespace zavelo::exporting {

enum class Kind { Inventory, Sales };

// The status panel's text in front of the date while the file is being made. The sales text
// has no blank before the date: the panel reads "Generando archivo Ventas2025/08/11...".
QByteArray statusPrefix(Kind kind);
// "select CADENA from " + the kind's procedure + "(".
QByteArray statementHead(Kind kind);
// "inventarios" or "ventas": the start of the file's name.
QByteArray filePrefix(Kind kind);

}  // namespace zavelo::exporting
