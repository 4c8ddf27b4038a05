// The button pictures of the two windows and the program's icon, compiled into the window
// library.
#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

namespace zavelo {

// A button picture by the resource name of its drawing (":/pictures/generar.svg"), at its size
// and at twice it for dense screens, on a transparent ground. The build renders each drawing to
// PNG at both sizes (":/pictures/generar.png", ":/pictures/generar@2x.png"); those are what
// is shown.
QIcon picture(const QString& resource, QSize size);

// The program's icon (":/pictures/zadirod-16.png" to "-256.png"), for the windows' title bars
// and the task bar.
QIcon programIcon();

}  // namespace zavelo
