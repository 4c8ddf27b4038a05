// SQL string literals for the statements the system builds by concatenation.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace zavelo::db {

// A value between single quotes, every single quote inside it doubled: O'Neil -> 'O''Neil'.
QByteArray sqlStringLiteral(QByteArrayView value);

}  // namespace zavelo::db
