#include "ui/pictures.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The pictures are compiled into the window library, a static one: their registration has to
// be asked for, and Q_INIT_RESOURCE only works outside a namespace.
static void registerPictures() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(pictures);
    return true;
  }();
  (void)registered;
}

namespace zavelo {

// The SVG is rendered here rather than through an image plug-in, so that no plug-in has to be
// deployed beside the program for the buttons to show their pictures.
QIcon picture(const QString& resource, QSize size) {
  registerPictures();
  QSvgRenderer renderer(resource);
  QIcon icon;
  for (const int scale : {1, 2}) {
    QPixmap pixmap(size * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace zavelo
