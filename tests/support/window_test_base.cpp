#include "support/window_test_base.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include "common/clock.h"
#include "fixtures/company_db.h"
#include "support/startup_files.h"

namespace zavelo::test {

WindowTestBase::WindowTestBase(QDate today, bool deploymentDateForm)
    : dm(std::make_unique<db::Tfdm>(notifier)), out(temp.filePath("salida")) {
  QDir().mkpath(out);
  Clock::setToday(today);
  if (deploymentDateForm) Clock::setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
}

WindowTestBase::~WindowTestBase() {
  dm.reset();
  Clock::setLocale(std::nullopt);
  Clock::setToday(std::nullopt);
}

QList<QByteArray> WindowTestBase::settingsLines(const QByteArray& servidor, const QByteArray& marca,
                                                const QByteArray& destinatarios,
                                                const QByteArray& automatico) const {
  const FbLogin login = fbTestLogin();
  return {"linea1", servidor, QFile::encodeName(out), login.user, login.password,
          "01",     marca,    destinatarios,          automatico};
}

settings::RegistryLocation WindowTestBase::writeStartup(const QList<QByteArray>& lines,
                                                        const QString& erp, const QString& xdg) {
  // QDir keeps a path that is already absolute (a company's own folder) as it is.
  const QDir root(temp.path());
  return writeStartupFiles(root.filePath(xdg), root.filePath(erp), lines);
}

}  // namespace zavelo::test
