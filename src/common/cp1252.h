// Windows-1252 to and from Unicode, used only where 8-bit text meets a widget. The data path
// keeps bytes; Qt's named codecs are not used since Windows builds lack ICU and 0x80-0x9F
// differ from Latin-1.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zavelo {

QString fromCp1252(QByteArrayView bytes);
// Characters outside Windows-1252 become '?'.
QByteArray toCp1252(QStringView text);

}  // namespace zavelo
