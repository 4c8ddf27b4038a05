// The kinds of daily report, in one table: what each is called on the status panel, the
// procedure its lines come from, the start of its file's name and the texts of its mail. The
// run goes through the table in order, so a further report is one more row (and a procedure
// in the company database that gives its lines).
#pragma once

#include <QByteArray>
#include <array>
#include <cstddef>

namespace zavelo::exporting {

enum class Kind { Inventory, Sales };

struct ReportKind {
  Kind kind;
  // The status panel's text in front of the date while the file is being made. The sales text
  // has no blank before the date: the panel reads "Generando archivo Ventas2025/08/11...".
  const char* statusPrefix;
  // The selectable procedure whose CADENA column gives the file's lines, as they stand.
  const char* procedure;
  // The start of the file's name: "inventarios" + DDMMYYYY + ".txt".
  const char* filePrefix;
  // The mail's subject before the company name, and its body before the date.
  const char* subject;
  const char* body;
};

// In the order of a day's run. The day's mail setup comes after the first row's file.
inline constexpr std::array<ReportKind, 2> kReportKinds{{
    {.kind = Kind::Inventory,
     .statusPrefix = "Generando archivo Inventario ",
     .procedure = "ZAVELO_INVENTARIO",
     .filePrefix = "inventarios",
     .subject = "Reporte inventarios ",
     .body = "Adjunto reporte de inventarios "},
    {.kind = Kind::Sales,
     .statusPrefix = "Generando archivo Ventas",
     .procedure = "ZAVELO_VENTAS",
     .filePrefix = "ventas",
     .subject = "Reporte ventas ",
     .body = "Adjunto reporte de ventas "},
}};

// The row of a kind; the table holds the kinds in the order of the enum.
constexpr const ReportKind& reportKind(Kind kind) {
  return kReportKinds[static_cast<std::size_t>(kind)];
}

}  // namespace zavelo::exporting
