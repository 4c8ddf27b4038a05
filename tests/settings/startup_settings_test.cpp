// Where the ERP directory comes from (the INI file that stands for the registry key here) and
// the start-up steps that go from it to the settings file.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <optional>

#include "common/error.h"
#include "common/error_report.h"
#include "settings/registry.h"
#include "settings/settings_file.h"
#include "settings/startup_settings.h"
#include "support/error_of.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"

#ifndef Q_OS_WIN

namespace zavelo::settings {
namespace {

using test::RecordingNotifier;
using test::Shown;

const QString kKeyAbsent = QStringLiteral(
    "No se encontr\u00f3 la Clave HKEY_LOCAL_MACHINE\\Software\\QVT\\Halvori2025\\Directorio");
const QString kInvalidType = QStringLiteral("Invalid data type for 'Directorio'");

// Two configuration folders of a test's own, in place of the machine's.
class Registry : public ::testing::Test {
 protected:
  Registry() {
    where = defaultRegistryLocation();
    where.configDirs = {dir.filePath("first"), dir.filePath("second")};
  }
  void writeKey(const QString& folder, const QByteArray& ini) {
    dir.write(folder + "/QVT/Halvori2025.conf", ini);
  }
  // Every file and folder below the test's folder, with each file's bytes.
  QStringList snapshot() const {
    QStringList all;
    QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      QFile f(path);
      all << path + " " + (f.open(QIODevice::ReadOnly) ? f.readAll().toHex() : QByteArray());
    }
    all.sort();
    return all;
  }

  test::TempDir dir;
  RegistryLocation where;
  RecordingNotifier notifier;
};

TEST_F(Registry, DefaultLocationNamesTheKeyFileAndValue) {
  EXPECT_EQ(where.relativeFile, "QVT/Halvori2025.conf");
  EXPECT_EQ(where.valueName, "Directorio");
}

TEST_F(Registry, DefaultFoldersFollowXdgConfigDirs) {
  const QByteArray saved = qgetenv("XDG_CONFIG_DIRS");
  const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_DIRS");
  qputenv("XDG_CONFIG_DIRS", "/a/b:relative::/c/");
  EXPECT_EQ(defaultRegistryLocation().configDirs, QStringList({"/a/b", "/c/"}));
  qputenv("XDG_CONFIG_DIRS", "");
  EXPECT_EQ(defaultRegistryLocation().configDirs, QStringList({"/etc/xdg"}));
  qunsetenv("XDG_CONFIG_DIRS");
  EXPECT_EQ(defaultRegistryLocation().configDirs, QStringList({"/etc/xdg"}));
  if (wasSet) qputenv("XDG_CONFIG_DIRS", saved);
}

struct IniCase {
  const char* name;
  QByteArray ini;
  enum Outcome { Text, KeyAbsent, InvalidType } outcome;
  QString text = {};
};

void PrintTo(const IniCase& c, std::ostream* os) {
  *os << c.name;
}

class RegistryValue : public Registry, public ::testing::WithParamInterface<IniCase> {};

TEST_P(RegistryValue, ReadsTheValue) {
  const IniCase& c = GetParam();
  writeKey("second", c.ini);
  const QStringList before = snapshot();
  QString got = "unset";
  const std::optional<QString> error = test::errorOf([&] { got = diraplicacion(notifier, where); });
  switch (c.outcome) {
    case IniCase::Text:
      EXPECT_EQ(error, std::nullopt);
      EXPECT_EQ(got, c.text);
      EXPECT_TRUE(notifier.shown.empty());
      break;
    case IniCase::KeyAbsent:
      EXPECT_EQ(error, std::nullopt);
      EXPECT_EQ(got, "");
      EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::Notice, programTitle(), kKeyAbsent}}));
      break;
    case IniCase::InvalidType:
      EXPECT_EQ(error, kInvalidType);
      EXPECT_TRUE(notifier.shown.empty());
      break;
  }
  // Read only: no lock file, no rewrite, nothing created.
  EXPECT_EQ(snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryValue,
    ::testing::ValuesIn(std::vector<IniCase>{
        {"PlainPath", "Directorio=/opt/halvori\n", IniCase::Text, "/opt/halvori"},
        {"InGeneralSection", "[General]\nDirectorio=/g\n", IniCase::Text, "/g"},
        {"BesideOtherEntries", "Otro=1\nDirectorio=/d\n[Mas]\nDirectorio=/no\n", IniCase::Text,
         "/d"},
        {"QuotedWithComma", "Directorio=\"/a, b\"\n", IniCase::Text, "/a, b"},
        {"EscapedAt", "Directorio=@@x\n", IniCase::Text, "@x"},
        {"UpToFirstNul", "Directorio=/a\\0b\n", IniCase::Text, "/a"},
        {"Utf8Text", "Directorio=/opt/ni\xC3\xB1o\n", IniCase::Text, "/opt/ni\u00f1o"},
        {"EmptyValue", "Directorio=\n", IniCase::Text, ""},
        {"NoValue", "Otro=/x\n", IniCase::Text, ""},
        {"ValueInAnotherSection", "[Mas]\nDirectorio=/x\n", IniCase::Text, ""},
        {"NamesAreCaseSensitive", "directorio=/x\n", IniCase::Text, ""},
        {"EmptyFile", "", IniCase::Text, ""},
        {"List", "Directorio=/a, /b\n", IniCase::InvalidType},
        {"ByteArray", "Directorio=@ByteArray(/a)\n", IniCase::InvalidType},
        {"Rect", "Directorio=@Rect(1 2 3 4)\n", IniCase::InvalidType},
        {"VariantInt", "Directorio=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n", IniCase::InvalidType},
        {"GroupSection", "[Directorio]\nx=/a\n", IniCase::InvalidType},
        {"GroupKey", "Directorio/x=/a\n", IniCase::InvalidType},
        {"MalformedSection", "[General\nDirectorio=/x\n", IniCase::KeyAbsent},
        {"MalformedLine", "Directorio\n", IniCase::KeyAbsent},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Registry, KeyAbsentShowsTheNoticeAndCreatesNothing) {
  const QStringList before = snapshot();
  EXPECT_EQ(diraplicacion(notifier, where), "");
  EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::Notice, programTitle(), kKeyAbsent}}));
  EXPECT_EQ(kKeyAbsent.count(u'\\'), 4);
  EXPECT_EQ(snapshot(), before);
}

TEST_F(Registry, FirstFolderHoldingTheFileWins) {
  writeKey("second", "Directorio=/from/second\n");
  EXPECT_EQ(diraplicacion(notifier, where), "/from/second");
  // A folder of that name is not the file.
  ASSERT_TRUE(QDir(dir.path()).mkpath("first/QVT/Halvori2025.conf"));
  EXPECT_EQ(diraplicacion(notifier, where), "/from/second");
  ASSERT_TRUE(QDir(dir.filePath("first/QVT")).removeRecursively());
  writeKey("first", "Otro=1\n");  // the first file decides, even without the value
  EXPECT_EQ(diraplicacion(notifier, where), "");
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(Registry, StartupReadsTheSettingsOfTheErpDirectory) {
  const QString erp = dir.filePath("erp");
  dir.write("erp/settingsenvio.conf",
            "uno\r\nsrv\r\n/out\r\nUSR\r\npw\r\n01\r\nZAV\r\nm@x\r\n1\r\n");
  writeKey("first", "Directorio=" + QFile::encodeName(erp) + "\n");
  TSettingsEnvio got;
  EXPECT_EQ(loadStartupSettings(notifier, where, got), erp + "/settingsenvio.conf");
  EXPECT_EQ(got.servidor, "srv");
  EXPECT_EQ(got.marca, "ZAV");
  EXPECT_TRUE(got.automaticMode());
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(Registry, StartupWithoutKeyLooksInTheRoot) {
  TSettingsEnvio got;
  EXPECT_EQ(loadStartupSettings(notifier, where, got), "/settingsenvio.conf");
  EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::Notice, programTitle(), kKeyAbsent}}));
}

TEST_F(Registry, StartupWithoutValueLooksInTheRootSilently) {
  writeKey("first", "Otro=1\n");
  TSettingsEnvio got;
  EXPECT_EQ(loadStartupSettings(notifier, where, got), "/settingsenvio.conf");
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(Registry, InvalidTypeStopsStartupWithEmptyValuesAndNoPeriod) {
  const QString erp = dir.filePath("erp");
  dir.write("erp/settingsenvio.conf", "uno\ndos\n");
  writeKey("first", "Directorio=@ByteArray(" + QFile::encodeName(erp) + ")\n");
  TSettingsEnvio got;
  got.linea1 = "old";
  got.automatico = "1";
  EXPECT_FALSE(runGuarded(notifier, [&] { loadStartupSettings(notifier, where, got); }));
  EXPECT_EQ(got, TSettingsEnvio{});
  EXPECT_EQ(notifier.shown,
            std::vector<Shown>({{Shown::ErrorReport, programTitle(), kInvalidType}}));
}

TEST_F(Registry, LongLineStopsStartupKeepingEarlierValues) {
  const QString erp = dir.filePath("erp");
  dir.write("erp/settingsenvio.conf", "uno\ndos\n" + QByteArray(1025, 'x') + "\ncuatro\n");
  writeKey("first", "Directorio=" + QFile::encodeName(erp) + "\n");
  TSettingsEnvio got;
  EXPECT_FALSE(runGuarded(notifier, [&] { loadStartupSettings(notifier, where, got); }));
  EXPECT_EQ(got.linea1, "uno");
  EXPECT_EQ(got.servidor, "dos");
  EXPECT_EQ(got.directorio, "");
  EXPECT_EQ(got.codusuario, "");
  EXPECT_EQ(notifier.shown,
            std::vector<Shown>({{Shown::ErrorReport, programTitle(), "Range check error."}}));
}

}  // namespace
}  // namespace zavelo::settings

#endif
