#include "ui/window_helper.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QWindow>

#include "common/error_report.h"
#include "ui/pictures.h"

namespace zavelo {

namespace {

// Whether Qt can close the window through the window system: a shown top-level window has a
// native window, except where none could be made.
bool closesNatively(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  return !handle || handle->handle();
}

}  // namespace

bool closeWindow(QWidget& window) {
  if (closesNatively(window)) return window.close();
  if (auto* dialog = qobject_cast<QDialog*>(&window)) {
    endDialog(*dialog, QDialog::Rejected);
    return true;
  }
  const QPointer<QWidget> alive(&window);
  QCloseEvent event;
  QCoreApplication::sendEvent(&window, &event);
  if (!alive) return true;
  if (!event.isAccepted()) return false;
  window.hide();
  if (window.testAttribute(Qt::WA_DeleteOnClose)) window.deleteLater();
  return true;
}

void endDialog(QDialog& dialog, int result) {
  if (!closesNatively(dialog)) {
    // Hidden first: a dialog's own close event would otherwise reject it.
    dialog.hide();
    QCloseEvent event;
    QCoreApplication::sendEvent(&dialog, &event);
  }
  dialog.done(result);
}

void useWindowsFaces(QWidget& window) {
#ifdef Q_OS_WIN
  // "MS Sans Serif" is a bitmap font on Windows (and in Wine): strikes of a few pixel sizes,
  // which Qt draws at the nearest size it has, not at the form's; at 144 dpi the strike is far
  // too large or too small. Windows maps the name to Microsoft Sans Serif (Tahoma where that is
  // missing) for scalable text; so does the program. Arial Narrow comes with Office, not with
  // Windows: Arial stands in for it, or the same face.
  const QStringList families = QFontDatabase::families();
  const auto first = [&](const QStringList& wanted) {
    for (const QString& family : wanted)
      if (families.contains(family, Qt::CaseInsensitive)) return family;
    return QString();
  };
  const QString sans = first({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma")});
  const QString narrow = first({QStringLiteral("Arial Narrow"), QStringLiteral("Arial"), sans});
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets.prepend(&window);
  // Every control, also those that inherit the window's face: a style sheet fixes the face a
  // control has when the sheet is set.
  for (QWidget* widget : widgets) {
    QFont font = widget->font();
    const QString family = font.family();
    const bool replaceNarrow =
        family.compare(QStringLiteral("Arial Narrow"), Qt::CaseInsensitive) == 0 &&
        narrow.compare(family, Qt::CaseInsensitive) != 0;
    if (family.compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) == 0 &&
        !sans.isEmpty())
      font.setFamily(sans);
    else if (replaceNarrow && !narrow.isEmpty())
      font.setFamily(narrow);
    else
      continue;
    // A button's caption was measured for the narrow face: in a wider one it is made smaller
    // until it fits the button whole (the button's own margins aside), rather than cut short.
    if (auto* button = qobject_cast<QToolButton*>(widget); button && replaceNarrow) {
      constexpr int kMargins = 4;
      if (font.pixelSize() <= 0) font.setPixelSize(QFontInfo(font).pixelSize());
      while (font.pixelSize() > 9 &&
             QFontMetrics(font).horizontalAdvance(button->text()) > button->width() - kMargins)
        font.setPixelSize(font.pixelSize() - 1);
    }
    widget->setFont(font);
  }
#else
  (void)window;
#endif
}

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
