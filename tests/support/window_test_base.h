// What the window tests start from: a folder of the test's own with the output folder in it, a
// notifier that records the boxes, the data holder, a fixed today and, where asked, the
// deployment's short date form; and the files start-up reads, written for the test.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QEvent>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "db/data_module.h"
#include "settings/registry.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"

namespace zavelo::test {

class WindowTestBase {
 protected:
  // deploymentDateForm: the short date form year first with "/" (2025/08/11), as deployed.
  WindowTestBase(QDate today, bool deploymentDateForm);
  virtual ~WindowTestBase();

  // The nine settings lines of a start-up that reaches its company through servidor with the
  // test login and writes into out.
  QList<QByteArray> settingsLines(const QByteArray& servidor, const QByteArray& marca,
                                  const QByteArray& destinatarios,
                                  const QByteArray& automatico) const;

  // Writes <erp>/settingsenvio.conf with the lines and the registry stand-in below <xdg> that
  // names that folder (relative names are below the test's folder); gives the location that
  // finds them.
  settings::RegistryLocation writeStartup(const QList<QByteArray>& lines,
                                          const QString& erp = QStringLiteral("erp"),
                                          const QString& xdg = QStringLiteral("xdg"));

  TempDir temp;
  RecordingNotifier notifier;
  std::unique_ptr<db::Tfdm> dm;
  QString out;  // the output folder, <test folder>/salida
};

// Keeps windows from ever becoming active, as a desktop does that hands the focus to no program
// started in the background. Installed on a window, or on the application with `applies`
// choosing the windows; counts the activations it swallowed, so that a test can tell that one
// came and was kept away.
class ActivationBlocker : public QObject {
 public:
  explicit ActivationBlocker(std::function<bool(QObject*)> applies = {})
      : applies_(std::move(applies)) {}

  int swallowed = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::WindowActivate && event->type() != QEvent::ActivationChange)
      return false;
    if (applies_ && !applies_(watched)) return false;
    ++swallowed;
    return true;
  }

 private:
  std::function<bool(QObject*)> applies_;
};

}  // namespace zavelo::test
