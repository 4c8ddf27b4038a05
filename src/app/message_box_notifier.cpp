#include "app/message_box_notifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace zavelo {
namespace {

// The program's window the user has in front: the modal one, the active one, or else the last
// one shown. A box owned by it has no task-bar button of its own and stays above it.
QWidget* openWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  QWidget* found = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && !qobject_cast<QMessageBox*>(widget)) found = widget;
  return found;
}

// A box centred on the screen, frame included, whatever window owns it.
class CentredBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    const QScreen* on = parentWidget() ? parentWidget()->screen() : screen();
    const QRect area = on->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(area.x() + (area.width() - frame.width()) / 2,
         area.y() + (area.height() - frame.height()) / 2);
  }
};

// Modal for the whole program, owned by the window that is open, centred on the screen.
void show(QMessageBox::Icon icon, const QString& title, const QString& text) {
  CentredBox box(icon, title, text, QMessageBox::Ok, openWindow());
  box.setWindowModality(Qt::ApplicationModal);
  // Messages come from the database and the mail server: "<" or "&" in them is text.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

void MessageBoxNotifier::errorReport(const QString& title, const QString& text) {
  show(QMessageBox::Critical, title, text);
}

void MessageBoxNotifier::notice(const QString& title, const QString& text) {
  show(QMessageBox::NoIcon, title, text);
}

void MessageBoxNotifier::errorBox(const QString& title, const QString& text) {
  show(QMessageBox::Critical, title, text);
}

}  // namespace zavelo
