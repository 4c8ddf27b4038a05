#include "ui/pictures.h"

#include <QPixmap>

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

// The drawings are rendered to PNG at build time rather than at run time, so that the program
// needs neither the SVG module nor an image plug-in (PNG is built into Qt) to show them.
QIcon picture(const QString& resource, QSize size) {
  registerPictures();
  const qsizetype dot = resource.lastIndexOf(u'.');
  const QString base = dot < 0 ? resource : resource.left(dot);
  QIcon icon;
  for (const int scale : {1, 2}) {
    QPixmap pixmap(base + (scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png")));
    if (pixmap.isNull()) continue;
    if (pixmap.size() != size * scale) {
      pixmap = pixmap.scaled(size * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon programIcon() {
  registerPictures();
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 256})
    icon.addFile(QStringLiteral(":/pictures/zadirod-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace zavelo
