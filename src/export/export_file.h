// The daily export file: the statement that fetches its rows, its name and its writing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

#include "export/report_kind.h"

namespace zavelo::exporting {

// The longest full path of an export file; a longer one is refused, on every platform alike.
inline constexpr qsizetype kMaxPathLength = 259;

// select CADENA from ZAVELO_INVENTARIO('2025/08/11','07'): nothing trimmed, no blanks added.
QByteArray exportStatement(Kind kind, QByteArrayView dateText, QByteArrayView brand);

// The status panel's caption while a file is made: prefix + date text + ". espere un momento...".
QByteArray exportStatusCaption(Kind kind, QByteArrayView dateText);

// prefix + characters 9-10, 6-7 and 1-4 of the date text (counted from 1) + ".txt". The date
// text is not parsed: whatever stands at those places is taken, and a range past its end gives
// only the characters that exist.
QByteArray exportFileName(QByteArrayView prefix, QByteArrayView dateText);

// directory + "/" + name.
QString exportFilePath(const QString& directory, const QString& fileName);

// A line as the writer reads it: the bytes in place, or nullopt for a NULL.
using LineView = std::optional<QByteArrayView>;
// Gives the lines in order: fills `line` and returns true, or returns false after the last. The
// bytes only have to stay valid until the next call.
using LineSource = std::function<bool(LineView& line)>;

// Writes the file directory/fileName: every line's bytes unchanged, each followed by CR LF; no
// lines give a file of zero bytes. The content goes to a temporary file in the same folder that
// replaces the target only once it is complete, so a failure leaves neither a partial file nor
// a changed earlier one. Returns nullopt on success, or the text that says which file failed
// and why (a name holding a folder separator, a path over kMaxPathLength characters, or the
// file system's own reason).
std::optional<QString> writeExportFile(const QString& directory, const QString& fileName,
                                       const LineSource& next);

}  // namespace zavelo::exporting
