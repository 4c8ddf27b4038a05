// The program's boxes: every message the system shows goes through this QMessageBox
// implementation of the Notifier seam.
#pragma once

#include "common/notifier.h"

namespace zavelo {

class MessageBoxNotifier : public Notifier {
 public:
  // The general error report: the given title, the error icon, one OK button.
  void errorReport(const QString& title, const QString& text) override;
  // A plain notice: the given title, no icon, one OK button, centred on the screen.
  void notice(const QString& title, const QString& text) override;
  // A box with its own title, the error icon and one OK button, centred on the screen.
  void errorBox(const QString& title, const QString& text) override;
};

}  // namespace zavelo
