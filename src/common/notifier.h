// Every modal box the system shows goes through this seam: the program uses QMessageBox, the
// tests record what would have been shown instead of waiting on a real box.
#pragma once

#include <QString>

namespace zavelo {

class Notifier {
 public:
  virtual ~Notifier() = default;

  // The general error report: program title, error icon, one OK button.
  virtual void errorReport(const QString& title, const QString& text) = 0;
  // A plain notice: program title, no icon, one OK button, centred on the screen.
  virtual void notice(const QString& title, const QString& text) = 0;
  // A box with its own title and the error icon (the configuration lookup's "Error" box).
  virtual void errorBox(const QString& title, const QString& text) = 0;
};

}  // namespace zavelo
