#include "app/message_box_notifier.h"

#include <QMessageBox>

namespace zavelo {
namespace {

// Modal for the whole program and without a parent, so Qt centres the box on the screen.
void show(QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok);
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
