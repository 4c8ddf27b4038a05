// A Notifier that records every box instead of showing it.
#pragma once

#include <QString>
#include <vector>

#include "common/notifier.h"
#include "support/qt_print.h"

namespace zavelo::test {

struct Shown {
  enum Kind { ErrorReport, Notice, ErrorBox } kind;
  QString title;
  QString text;
  friend bool operator==(const Shown&, const Shown&) = default;
};

class RecordingNotifier : public Notifier {
 public:
  void errorReport(const QString& title, const QString& text) override {
    shown.push_back({Shown::ErrorReport, title, text});
  }
  void notice(const QString& title, const QString& text) override {
    shown.push_back({Shown::Notice, title, text});
  }
  void errorBox(const QString& title, const QString& text) override {
    shown.push_back({Shown::ErrorBox, title, text});
  }

  std::vector<Shown> shown;
};

}  // namespace zavelo::test
