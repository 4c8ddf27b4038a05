// The button pictures of the two windows, compiled into the window library.
#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

namespace zavelo {

// A picture from the resources (":/pictures/..."), drawn at its size and at twice it for dense
// screens, on a transparent ground.
QIcon picture(const QString& resource, QSize size);

}  // namespace zavelo
