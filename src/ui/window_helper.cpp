#include "ui/window_helper.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "common/error_report.h"
#include "ui/pictures.h"

namespace zavelo {

WindowHelper::WindowHelper(QWidget& window, Notifier& notifier)
    : QObject(&window), window_(window), notifier_(notifier) {
  window_.setWindowIcon(programIcon());
  window_.installEventFilter(this);
}

void WindowHelper::setKeyPreview(std::function<void(const QKeyEvent&)> preview) {
  preview_ = std::move(preview);
  // The filter sits on the window and on each control rather than on the application, whose
  // filter list other windows change while a key is being delivered.
  for (QWidget* control : window_.findChildren<QWidget*>()) watch(control);
  // A drop-down list is a popup window of its own: its keys never pass the window's controls.
  for (QComboBox* list : window_.findChildren<QComboBox*>()) {
    QWidget* popup = list->view()->window();
    watch(popup);
    for (QWidget* part : popup->findChildren<QWidget*>()) watch(part);
  }
}

void WindowHelper::watch(QWidget* widget) {
  if (widget != &window_) widget->installEventFilter(this);
}

QWidget* WindowHelper::openPopup() const {
  QWidget* popup = QApplication::activePopupWidget();
  // Only a popup that one of this window's controls opened.
  if (popup && popup->parentWidget() && popup->parentWidget()->window() == &window_) return popup;
  return nullptr;
}

QWidget* WindowHelper::firstRecipient() const {
  // A key goes to the open popup's focused control, or else to the window's focused control,
  // or to the window itself; then to their parents while unhandled.
  if (QWidget* popup = openPopup()) return popup->focusWidget() ? popup->focusWidget() : popup;
  return window_.focusWidget() ? window_.focusWidget() : &window_;
}

void WindowHelper::closePopup() {
  if (QWidget* popup = openPopup()) {
    if (auto* list = qobject_cast<QComboBox*>(popup->parentWidget()))
      list->hidePopup();
    else
      popup->close();
  }
}

void WindowHelper::setFirstActivation(std::function<void()> handler) {
  onFirstActivation_ = std::move(handler);
}

void WindowHelper::firstActivation() {
  if (activated_ || !onFirstActivation_) return;
  // Once. Queued, so that the handler runs after Qt has finished activating the window.
  activated_ = true;
  QMetaObject::invokeMethod(
      this, [this] { guarded(onFirstActivation_); }, Qt::QueuedConnection);
}

bool WindowHelper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_) {
    if (event->type() == QEvent::Show && !event->spontaneous() && !shown_) {
      shown_ = true;
      QTimer::singleShot(kActivationGrace, this, &WindowHelper::firstActivation);
    }
    // Only an activation after the showing counts.
    if (event->type() == QEvent::WindowActivate && shown_) firstActivation();
  }
  if (event->type() == QEvent::KeyPress && preview_ && watched == firstRecipient())
    preview_(static_cast<const QKeyEvent&>(*event));
  return false;
}

void WindowHelper::centreOnScreen() {
  const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  window_.move(screen->availableGeometry().center() - window_.frameGeometry().center() +
               window_.pos());
}

bool WindowHelper::guarded(const std::function<void()>& handler) {
  return runGuarded(notifier_, handler);
}

}  // namespace zavelo
