// The selection window on Windows as the program starts it: the ERP folder from a registry key
// in the 32-bit view, the settings file in it, offscreen. The settings leave the origin
// incomplete, so nothing connects and no database is needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "common/clock.h"
#include "common/error_report.h"
#include "db/data_module.h"
#include "settings/registry.h"
#include "support/qt_print.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "support/test_registry_key.h"
#include "ui/selection_window.h"

namespace zavelo {
namespace {

using test::Shown;

const QDate kToday(2026, 2, 3);

class WindowsSelectionWindow : public ::testing::Test {
 protected:
  void SetUp() override { Clock::setToday(kToday); }
  void TearDown() override {
    delete window.data();
    Clock::setToday(std::nullopt);
  }

  // The ERP folder (its name beyond Windows-1252) with the settings file, named by the key.
  void writeStartup(const QByteArray& settings) {
    const QString name = QStringLiteral("Halvori \u0394\u65e5 \u00e1");
    temp.write(name + "/settingsenvio.conf", settings);
    ASSERT_TRUE(key.setString("Directorio", QDir::toNativeSeparators(temp.filePath(name))));
  }
  void create() {
    settings::RegistryLocation where = settings::defaultRegistryLocation();
    where.keyPath = key.path();
    window = new Tfdorvanefamilia(dm, notifier, where);
  }
  QLineEdit* edit(const char* name) const {
    QLineEdit* w = window->findChild<QLineEdit*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  test::TempDir temp;
  test::TestRegistryKey key;
  test::RecordingNotifier notifier;
  db::Tfdm dm{notifier};
  QPointer<Tfdorvanefamilia> window;
};

TEST_F(WindowsSelectionWindow, OpensWithTheSettingsOfTheRegistryFolderAndWaits) {
  // No server: interactive, nothing to connect to.
  writeStartup("uno\r\n\r\nC:\\salida\r\nADMIN\r\nsecreto\r\n07\r\nCaf\xE9\r\nx@y.z\r\n0\r\n");
  create();
  EXPECT_EQ(window->windowTitle(), "ZadiRod ZAVELO");
  EXPECT_EQ(edit("Servidor")->text(), "");
  EXPECT_EQ(edit("Tusua")->text(), "ADMIN");
  EXPECT_EQ(edit("Cia")->text(), "07");
  EXPECT_EQ(edit("Fami")->text(), QString::fromUtf8("Caf\u00e9"));
  EXPECT_EQ(window->runContext().directorio, "C:\\salida");
  EXPECT_EQ(window->runContext().destinatarios, "x@y.z");
  EXPECT_FALSE(window->runContext().automaticMode);

  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTRY_COMPARE_WITH_TIMEOUT(window->runContext().firstDay, kToday, 20000);
  EXPECT_EQ(dm.Halvori.state(), db::ConnectionState::Closed);
  EXPECT_TRUE(notifier.shown.empty());

  QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
  EXPECT_FALSE(window && window->isVisible());
}

TEST_F(WindowsSelectionWindow, AbsentKeyShowsTheNoticeAndOpensEmpty) {
  // Without the key the settings file is looked for in the root of the current drive: make
  // that the test folder's drive, and make sure nobody left such a file there.
  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(temp.path()));
  const bool leftInRoot = QFile::exists(QStringLiteral("\\settingsenvio.conf"));
  key.remove();
  create();
  QDir::setCurrent(saved);
  if (leftInRoot)
    GTEST_SKIP() << "a settingsenvio.conf is in the root of " << temp.path().toStdString();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].kind, Shown::Notice);
  EXPECT_EQ(notifier.shown[0].title, programTitle());
  EXPECT_EQ(edit("Tusua")->text(), "");
  EXPECT_EQ(window->windowTitle(), "ZadiRod ZAVELO");
}

TEST_F(WindowsSelectionWindow, RegistryValueOfAnotherTypeIsReportedAndCreationGoesOn) {
  ASSERT_TRUE(key.setMultiString("Directorio", {"C:\\Halvori", "D:\\otro"}));
  create();
  EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::ErrorReport, programTitle(),
                                                 "Invalid data type for 'Directorio'"}}));
  EXPECT_EQ(edit("Servidor")->text(), "");
  EXPECT_EQ(window->windowTitle(), "ZadiRod ZAVELO");
}

}  // namespace
}  // namespace zavelo
