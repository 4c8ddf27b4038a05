#include "export/daily_export.h"

#include "common/cp1252.h"
#include "export/export_file.h"

namespace zavelo::exporting {

DayExport exportDay(db::ResultSet& set, const db::Field& field, Kind kind, QByteArrayView dateText,
                    QByteArrayView brand, const QString& directory) {
  set.close();
  set.setCommandText(exportStatement(kind, dateText, brand));
  set.open();
  // Looked up once, not per row; an unknown column throws before the file is touched.
  const int column = set.columnIndex(field.columnName());

  const QString name = fromCp1252(exportFileName(reportKind(kind).filePrefix, dateText));
  DayExport result{exportFilePath(directory, name), std::nullopt};
  set.first();
  result.error = writeExportFile(directory, name, [&](LineView& line) {
    if (set.eof()) return false;
    line = set.view(column);
    ++result.rows;
    result.bytes += (line ? line->size() : 0) + 2;  // and CR LF
    set.next();
    return true;
  });
  if (result.error) result.rows = result.bytes = 0;
  set.close();
  return result;
}

}  // namespace zavelo::exporting
