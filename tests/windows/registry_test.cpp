// The Windows code of start-up through the real Win32 calls: the ERP key read in the 32-bit
// view with every kind of value a registry can hold there, and the settings file opened without
// sharing. Under Wine in CI, on Windows by hand.
#include <gtest/gtest.h>

#include <QDir>
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
#include "support/test_registry_key.h"

#include <windows.h>

namespace zavelo::settings {
namespace {

using test::errorOf;
using test::kWideNul;
using test::RecordingNotifier;
using test::Shown;
using test::TestRegistryKey;
using test::utf16Bytes;

const QString kKeyAbsent = QStringLiteral(
    "No se encontr\u00f3 la Clave HKEY_LOCAL_MACHINE\\Software\\QVT\\Halvori2025\\Directorio");
const QString kInvalidType = QStringLiteral("Invalid data type for 'Directorio'");

TEST(WindowsRegistry, DefaultLocationIsTheErpKey) {
  const RegistryLocation where = defaultRegistryLocation();
  EXPECT_EQ(where.keyPath, "Software\\QVT\\Halvori2025");
  EXPECT_EQ(where.valueName, "Directorio");
}

struct ValueCase {
  const char* name;
  DWORD type;
  QByteArray bytes;  // exactly what is stored
  enum Outcome { Text, InvalidType } outcome;
  QString text = {};
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << c.name;
}

class WindowsRegistryValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WindowsRegistryValue, ReadsTheValueOfThe32BitView) {
  const ValueCase& c = GetParam();
  TestRegistryKey key;
  ASSERT_TRUE(key.setRaw("Directorio", c.type, c.bytes));
  // Written where a 32-bit ERP writes: not in the 64-bit view, which the program must not read.
  EXPECT_FALSE(key.existsIn64BitView());
  RegistryLocation where = defaultRegistryLocation();
  where.keyPath = key.path();
  RecordingNotifier notifier;
  QString got = "unset";
  const auto error = errorOf([&] { got = diraplicacion(notifier, where); });
  EXPECT_TRUE(notifier.shown.empty());
  if (c.outcome == ValueCase::Text) {
    EXPECT_EQ(error, std::nullopt);
    EXPECT_EQ(got, c.text);
  } else {
    EXPECT_EQ(error, kInvalidType);
  }
}

const QString kDir = QStringLiteral("C:\\Program Files (x86)\\Halvori");
const QString k64KiB(32 * 1024, u'd');  // 64 KiB of UTF-16

INSTANTIATE_TEST_SUITE_P(
    Types, WindowsRegistryValue,
    ::testing::ValuesIn(std::vector<ValueCase>{
        {"String", REG_SZ, utf16Bytes(kDir) + kWideNul, ValueCase::Text, kDir},
        // Stored without its terminator, as some writers do: the text is still whole.
        {"StringWithoutTerminator", REG_SZ, utf16Bytes(kDir), ValueCase::Text, kDir},
        {"EmptyString", REG_SZ, kWideNul, ValueCase::Text, ""},
        {"ZeroBytes", REG_SZ, QByteArray(), ValueCase::Text, ""},
        {"ExpandableIsNotExpanded", REG_EXPAND_SZ, utf16Bytes("%ProgramFiles%\\Halvori") + kWideNul,
         ValueCase::Text, "%ProgramFiles%\\Halvori"},
        {"EmbeddedNulEndsTheText", REG_SZ,
         utf16Bytes("C:\\Halvori") + kWideNul + utf16Bytes("x") + kWideNul, ValueCase::Text,
         "C:\\Halvori"},
        {"BeyondWindows1252", REG_SZ,
         utf16Bytes(QStringLiteral("C:\\\u0394\u65e5\u0416")) + kWideNul, ValueCase::Text,
         QStringLiteral("C:\\\u0394\u65e5\u0416")},
        {"Of64KiB", REG_SZ, utf16Bytes(k64KiB) + kWideNul, ValueCase::Text, k64KiB},
        {"Dword", REG_DWORD, QByteArray("\x01\x00\x00\x00", 4), ValueCase::InvalidType},
        {"MultiString", REG_MULTI_SZ, utf16Bytes(kDir) + kWideNul + kWideNul,
         ValueCase::InvalidType},
        {"Binary", REG_BINARY, QByteArray("C:\\x", 4), ValueCase::InvalidType},
        // An empty value of another type is still a value of length zero: no error.
        {"EmptyBinary", REG_BINARY, QByteArray(), ValueCase::Text, ""},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowsRegistry, KeyAbsentShowsTheNotice) {
  TestRegistryKey key;
  RegistryLocation where = defaultRegistryLocation();
  where.keyPath = key.path();
  key.remove();
  RecordingNotifier notifier;
  EXPECT_EQ(diraplicacion(notifier, where), "");
  EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::Notice, programTitle(), kKeyAbsent}}));
}

TEST(WindowsRegistry, ValueAbsentIsEmptyWithoutMessage) {
  TestRegistryKey key;
  ASSERT_TRUE(key.setString("Otro", "C:\\x"));
  ASSERT_TRUE(key.setString("directorio2", "C:\\x"));
  RegistryLocation where = defaultRegistryLocation();
  where.keyPath = key.path();
  RecordingNotifier notifier;
  EXPECT_EQ(diraplicacion(notifier, where), "");
  EXPECT_TRUE(notifier.shown.empty());
}

TEST(WindowsRegistry, KeyOnlyInThe64BitViewIsAbsent) {
  // What a 64-bit writer would leave: the ERP's 32-bit view does not have it.
  const QString path = QStringLiteral("Software\\ZaveloTests\\Only64");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(path.utf16()), 0, nullptr,
                            0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const QByteArray dir = utf16Bytes(kDir) + kWideNul;
  RegSetValueExW(key, L"Directorio", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.constData()),
                 DWORD(dir.size()));
  RegCloseKey(key);
  RegistryLocation where = defaultRegistryLocation();
  where.keyPath = path;
  RecordingNotifier notifier;
  EXPECT_EQ(diraplicacion(notifier, where), "");
  EXPECT_EQ(notifier.shown, std::vector<Shown>({{Shown::Notice, programTitle(), kKeyAbsent}}));
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(path.utf16()), KEY_WOW64_64KEY, 0);
}

// --- From the key to the settings file -------------------------------------------------------

const QByteArray kNineLines = "uno\r\nsrv\r\nC:\\salida\r\nUSR\r\npw\r\n01\r\nZAV\r\nm@x\r\n1\r\n";

class WindowsStartup : public ::testing::Test {
 protected:
  RegistryLocation where() const {
    RegistryLocation w = defaultRegistryLocation();
    w.keyPath = key.path();
    return w;
  }
  test::TempDir dir;
  TestRegistryKey key;
  RecordingNotifier notifier;
};

TEST_F(WindowsStartup, ReadsTheSettingsOfTheErpFolder) {
  const QString erp = QDir::toNativeSeparators(dir.filePath("erp"));
  dir.write("erp/settingsenvio.conf", kNineLines);
  ASSERT_TRUE(key.setString("Directorio", erp));
  TSettingsEnvio got;
  EXPECT_EQ(loadStartupSettings(notifier, where(), got), erp + "\\settingsenvio.conf");
  EXPECT_EQ(got.servidor, "srv");
  EXPECT_EQ(got.directorio, "C:\\salida");
  EXPECT_TRUE(got.automaticMode());
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(WindowsStartup, UnicodeFolderNameBeyondWindows1252) {
  // Greek, Cyrillic and CJK letters: no 8-bit code page holds this name, so only the wide
  // calls reach the folder.
  const QString name = QStringLiteral("erp \u0394\u0416\u65e5\u672c \u00f1");
  const QString erp = QDir::toNativeSeparators(dir.filePath(name));
  dir.write(name + "/settingsenvio.conf", kNineLines);
  ASSERT_TRUE(QFile::exists(dir.filePath(name + "/settingsenvio.conf")));
  ASSERT_TRUE(key.setString("Directorio", erp));
  TSettingsEnvio got;
  EXPECT_EQ(loadStartupSettings(notifier, where(), got), erp + "\\settingsenvio.conf");
  EXPECT_EQ(got.marca, "ZAV");
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(WindowsStartup, Directorio64KiBLongFindsNoFileAndShowsNothing) {
  ASSERT_TRUE(key.setString("Directorio", "C:\\" + k64KiB));
  TSettingsEnvio got;
  got.linea1 = "old";
  EXPECT_EQ(loadStartupSettings(notifier, where(), got), "C:\\" + k64KiB + "\\settingsenvio.conf");
  EXPECT_EQ(got, TSettingsEnvio{});
  EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(WindowsStartup, InvalidTypesStopBeforeTheFile) {
  dir.write("erp/settingsenvio.conf", kNineLines);
  const QString erp = QDir::toNativeSeparators(dir.filePath("erp"));
  const QByteArray multi = utf16Bytes(erp) + kWideNul + kWideNul;
  for (const auto& [type, bytes] : {std::pair<DWORD, QByteArray>{REG_MULTI_SZ, multi},
                                    {REG_BINARY, utf16Bytes(erp)},
                                    {REG_DWORD, QByteArray(4, '\x07')}}) {
    ASSERT_TRUE(key.setRaw("Directorio", type, bytes));
    TSettingsEnvio got;
    got.linea1 = "old";
    EXPECT_EQ(errorOf([&] { loadStartupSettings(notifier, where(), got); }), kInvalidType)
        << "type " << type;
    EXPECT_EQ(got, TSettingsEnvio{}) << "type " << type;
  }
  EXPECT_TRUE(notifier.shown.empty());
}

// --- The settings file opened without sharing ------------------------------------------------

// Another handle on the file, as an editor or a second copy of the program would hold it.
class OtherHandle {
 public:
  OtherHandle(const QString& path, DWORD share) {
    handle_ =
        CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ,
                    share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~OtherHandle() { close(); }
  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (isOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(WindowsSettingsFile, HeldOpenByAnotherHandleGivesEmptyValuesWithoutMessage) {
  test::TempDir dir;
  const QString path = dir.write("settingsenvio.conf", kNineLines);
  // Even a holder that lets others read and write bars an open that shares nothing.
  for (const DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
    OtherHandle other(path, share);
    ASSERT_TRUE(other.isOpen());
    TSettingsEnvio got;
    got.linea1 = "old";
    cargarsettings(dir.path(), got);
    EXPECT_EQ(got, TSettingsEnvio{}) << "share " << share;
    other.close();
    cargarsettings(dir.path(), got);
    EXPECT_EQ(got.linea1, "uno") << "share " << share;
    EXPECT_TRUE(got.automaticMode());
  }
}

TEST(WindowsSettingsFile, ReleasedAfterReadingAndAfterAnError) {
  test::TempDir dir;
  for (const QByteArray& bytes : {kNineLines, "uno\n" + QByteArray(1025, 'x')}) {
    const QString path = dir.write("settingsenvio.conf", bytes);
    TSettingsEnvio got;
    errorOf([&] { cargarsettings(dir.path(), got); });
    // Nobody may hold it any longer: an open that shares nothing succeeds.
    OtherHandle after(path, 0);
    EXPECT_TRUE(after.isOpen()) << "the reader still holds the file";
  }
}

TEST(WindowsSettingsFile, NeitherCreatedNorAFolderRead) {
  test::TempDir dir;
  TSettingsEnvio got;
  got.linea1 = "old";
  EXPECT_EQ(cargarsettings(dir.path(), got), dir.path() + "\\settingsenvio.conf");
  EXPECT_EQ(got, TSettingsEnvio{});
  EXPECT_FALSE(QFile::exists(dir.filePath("settingsenvio.conf")));
  ASSERT_TRUE(QDir(dir.path()).mkpath("d/settingsenvio.conf"));
  cargarsettings(dir.filePath("d"), got);
  EXPECT_EQ(got, TSettingsEnvio{});
}

}  // namespace
}  // namespace zavelo::settings
