// One day's export of one kind: the procedure's rows fetched through an in-memory result set,
// then written to the day's file. The generation window adds its captions and status lines
// around it; the export benchmark calls it without a window.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

#include "db/field.h"
#include "db/result_set.h"
#include "export/report_kind.h"

namespace zavelo::exporting {

struct DayExport {
  QString path;                  // directory + "/" + the day's file name
  std::optional<QString> error;  // set when the file could not be written
  qint64 rows = 0;               // lines written
  qint64 bytes = 0;              // the file's size, line ends included
};

// Closes the set, gives it the kind's statement for the date text and brand code, opens it
// (all rows are in memory before the file is touched) and writes every row's column `field`
// to directory/<prefix><DDMMYYYY>.txt; the set is closed again. A database error, a missing
// column included, goes to the caller with the file untouched; a file that cannot be written
// comes back as DayExport::error.
DayExport exportDay(db::ResultSet& set, const db::Field& field, Kind kind, QByteArrayView dateText,
                    QByteArrayView brand, const QString& directory);

}  // namespace zavelo::exporting
