// What both windows share: key preview that also sees the keys of the popups the window opens
// (the drop-down list), the first activation with a fall-back for a window that is shown but
// never activated, centring on the desktop by the outer frame, and the guarded call of an
// event handler.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>

class QDialog;
class QKeyEvent;
class QWidget;

namespace zavelo {
class Notifier;

// Closing a top-level window. Qt closes one through its native window, and where the window
// has none (Windows with no desktop, as a scheduler starts the program: no native window can be
// made there) QWidget::close() does nothing at all yet says the window closed, and
// QDialog::done() leaves the dialog open and its exec() waiting. These two do then what the
// window system would have done: the close event (and so the window's FormClose), the hiding,
// and the release of a window that is deleted on closing.

// Closes the window as its close button would; a dialog closes as reject() does. False when
// the window refused to close.
bool closeWindow(QWidget& window);
// Ends the dialog's modal display with the result, as QDialog::done() does.
void endDialog(QDialog& dialog, int result);

// The faces of a window's form, as Windows draws them: on Windows "MS Sans Serif" becomes the
// scalable face Windows itself puts in its place, and "Arial Narrow", where it is missing, the
// nearest face there is; the point sizes stay. Elsewhere nothing changes. Call after the
// form's controls exist.
void useWindowsFaces(QWidget& window);

class WindowHelper : public QObject {
  Q_OBJECT
 public:
  // How long a shown window waits for its first activation before acting as if it had come.
  static constexpr std::chrono::milliseconds kActivationGrace{1500};

  WindowHelper(QWidget& window, Notifier& notifier);

  // Key preview: preview sees every key meant for the window or one of its controls, or for a
  // popup one of them has opened, once and before the control; the key then still goes on to
  // the control. Call after the window's controls exist.
  void setKeyPreview(std::function<void(const QKeyEvent&)> preview);

  // handler runs once, queued, after the window's first activation; when the window is shown
  // but no activation comes within kActivationGrace, it runs all the same, so that a program
  // started without the focus (by a scheduler) does its work.
  void setFirstActivation(std::function<void()> handler);

  // Centres the window on the available area of its screen, title bar and borders included.
  void centreOnScreen();

  // Closes a popup of the window that is open (a dropped-down list), so that an action that
  // opens another window or closes this one does not leave it behind.
  void closePopup();

  // Runs an event handler; an error it raises goes to the general error report.
  bool guarded(const std::function<void()>& handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void watch(QWidget* widget);
  QWidget* openPopup() const;
  QWidget* firstRecipient() const;
  void firstActivation();

  QWidget& window_;
  Notifier& notifier_;
  std::function<void(const QKeyEvent&)> preview_;
  std::function<void()> onFirstActivation_;
  bool shown_ = false;
  bool activated_ = false;
};

}  // namespace zavelo
