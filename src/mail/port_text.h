// The SMTP port as the company's configuration gives it: a text read as a whole number the way
// the ERP's own programs read one, then checked against the range of a TCP port.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace zavelo::mail {

// Reads blanks, an optional sign, then decimal digits, or hexadecimal digits after "$", "x",
// "X", "0x" or "0X"; nothing may follow the digits. A text that is no whole number (the empty
// text, a trailing blank, a number beyond a 32-bit integer) throws zavelo::Error
// "'<text>' is not a valid integer value"; a number outside 0..65535 throws
// "Range check error".
quint16 portFromText(QByteArrayView text);

}  // namespace zavelo::mail
