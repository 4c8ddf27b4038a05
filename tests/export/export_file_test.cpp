#include "export/export_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "support/temp_dir.h"

#ifdef __linux__
#include <sys/fsuid.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace zavelo::exporting {
namespace {

using test::readFile;
using test::TempDir;
// An export file's lines as a test gives them: the bytes, or nullopt for a NULL row.
using Lines = std::vector<std::optional<QByteArray>>;

// Writes the lines through the writer's line source, as the export hands over a result set.
std::optional<QString> writeLines(const QString& directory, const QString& fileName,
                                  const Lines& lines) {
  auto it = lines.begin();
  return writeExportFile(directory, fileName, [&](LineView& line) {
    if (it == lines.end()) return false;
    line = *it ? LineView(**it) : std::nullopt;
    ++it;
    return true;
  });
}

// Every entry of a folder, hidden ones included, so that a left-over temporary shows up.
QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name);
}

TEST(ExportStatement, ProcedureWithQuotedDateAndBrand) {
  EXPECT_EQ(exportStatement(Kind::Inventory, "2025/08/11", "07"),
            "select CADENA from ZAVELO_INVENTARIO('2025/08/11','07')");
  EXPECT_EQ(exportStatement(Kind::Sales, "2025/08/11", "07"),
            "select CADENA from ZAVELO_VENTAS('2025/08/11','07')");
  EXPECT_EQ(exportStatement(Kind::Sales, "2025-08-11", "D'A"),
            "select CADENA from ZAVELO_VENTAS('2025-08-11','D''A')");
  // Neither value is trimmed or changed; an empty brand is the empty literal.
  EXPECT_EQ(exportStatement(Kind::Inventory, "11/08/2025", " ab "),
            "select CADENA from ZAVELO_INVENTARIO('11/08/2025',' ab ')");
  EXPECT_EQ(exportStatement(Kind::Inventory, "2025/08/11", ""),
            "select CADENA from ZAVELO_INVENTARIO('2025/08/11','')");
}

TEST(ExportStatusCaption, SalesHasNoBlankBeforeTheDate) {
  EXPECT_EQ(exportStatusCaption(Kind::Inventory, "2025/08/11"),
            "Generando archivo Inventario 2025/08/11. espere un momento...");
  EXPECT_EQ(exportStatusCaption(Kind::Sales, "2025/08/11"),
            "Generando archivo Ventas2025/08/11. espere un momento...");
}

TEST(ExportFileName, DayMonthYearFromFixedPlaces) {
  struct Case {
    QByteArray prefix;
    QByteArray dateText;
    QByteArray name;
  } cases[] = {
      {"inventarios", "2025/08/11", "inventarios11082025.txt"},
      {"ventas", "2025/08/11", "ventas11082025.txt"},
      {"ventas", "2025-12-31", "ventas31122025.txt"},
      // Not parsed: a day-first text gives whatever stands there, separators included.
      {"inventarios", "11/08/2025", "inventarios25/211/0.txt"},
      {"ventas", "11.08.25", "ventas.211.0.txt"},
      // Ranges past the end give only what exists.
      {"ventas", "2025/08/1", "ventas1082025.txt"},
      {"ventas", "2025/8", "ventas82025.txt"},
      {"ventas", "20", "ventas20.txt"},
      {"ventas", "", "ventas.txt"},
      // Longer texts: the rest is ignored.
      {"ventas", "2025/08/11 lun", "ventas11082025.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(exportFileName(c.prefix, c.dateText), c.name) << c.dateText.data();
  }
}

TEST(WriteExportFile, LinesByteForByteEachEndedByCrLf) {
  const QByteArray row255(255, 'x');
  const QByteArray allBytes = [] {
    QByteArray b;
    for (int i = 1; i < 256; ++i) {
      if (i != '\r' && i != '\n') b.append(char(i));
    }
    return b;
  }();
  struct Case {
    const char* what;
    Lines lines;
    QByteArray bytes;
  } cases[] = {
      {"no rows: zero bytes", {}, ""},
      {"two rows", {"A;1", "B;2"}, "A;1\r\nB;2\r\n"},
      {"NULL: an empty line", {"a", std::nullopt, "b"}, "a\r\n\r\nb\r\n"},
      {"only a NULL", {std::nullopt}, "\r\n"},
      {"empty text", {QByteArray("")}, "\r\n"},
      {"Windows-1252 byte", {"caf\xE9"}, "caf\xE9\r\n"},
      {"255 characters", {row255}, row255 + "\r\n"},
      {"every byte but CR and LF", {allBytes}, allBytes + "\r\n"},
      {"blanks kept", {"  a  ", " "}, "  a  \r\n \r\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    EXPECT_EQ(writeLines(dir.path(), "ventas11082025.txt", c.lines), std::nullopt) << c.what;
    EXPECT_EQ(readFile(dir.filePath("ventas11082025.txt")), c.bytes) << c.what;
    EXPECT_EQ(entries(dir.path()), QStringList{"ventas11082025.txt"}) << c.what;
  }
}

TEST(WriteExportFile, ManyRowsAcrossBlocksKeepTheirOrder) {
  TempDir dir;
  Lines lines;
  QByteArray expected;
  for (int i = 0; i < 200000; ++i) {
    QByteArray row = QByteArray::number(i) + ";" + QByteArray(i % 40, char('a' + i % 26));
    expected += row + "\r\n";
    lines.push_back(i % 1000 == 999 ? Lines::value_type{} : Lines::value_type{row});
    if (i % 1000 == 999) expected.chop(row.size() + 2), expected += "\r\n";
  }
  ASSERT_EQ(writeLines(dir.path(), "inventarios01012025.txt", lines), std::nullopt);
  EXPECT_TRUE(readFile(dir.filePath("inventarios01012025.txt")) == expected);
}

TEST(WriteExportFile, ReplacesAnEarlierFileInsteadOfAppending) {
  TempDir dir;
  dir.write("ventas11082025.txt", QByteArray(5000, 'o'));
  ASSERT_EQ(writeLines(dir.path(), "ventas11082025.txt", Lines{"new"}), std::nullopt);
  EXPECT_EQ(readFile(dir.filePath("ventas11082025.txt")), "new\r\n");
  ASSERT_EQ(writeLines(dir.path(), "ventas11082025.txt", Lines{}), std::nullopt);
  EXPECT_EQ(readFile(dir.filePath("ventas11082025.txt")), "");
  EXPECT_EQ(entries(dir.path()), QStringList{"ventas11082025.txt"});
}

TEST(WriteExportFile, NewFileIsReadableByOthersLikeAnyFile) {
  // The temporary file's private mode must not carry over to the finished export.
  TempDir dir;
  ASSERT_EQ(writeLines(dir.path(), "ventas11082025.txt", {"a"}), std::nullopt);
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  EXPECT_EQ(QFileInfo(dir.filePath("ventas11082025.txt")).permissions(),
            QFileInfo(plain.fileName()).permissions());
}

// A failure names the file, leaves nothing behind and keeps an earlier file of that name.
TEST(WriteExportFile, FailuresLeaveNothingAndKeepEarlierFiles) {
  TempDir dir;
  dir.write("out/inventarios11082025.txt", "earlier\r\n");
  dir.write("afile", "a regular file");
  const QString longFolder = dir.filePath(QString(259 - dir.path().size() - 1 - 24, u'd'));
  ASSERT_TRUE(QDir().mkpath(longFolder));
  // Exactly at the limit this name fits (checked below); one more character does not.
  dir.write(longFolder.mid(dir.path().size() + 1) + "/inventarios11082025.txt", "earlier\r\n");

  struct Case {
    const char* what;
    QString directory;
    QString name;
    const char* reasonPart;
  } cases[] = {
      {"folder missing", dir.filePath("missing"), "inventarios11082025.txt", ""},
      {"parent is a regular file", dir.filePath("afile"), "inventarios11082025.txt", ""},
      {"name with slash (day-first date)", dir.filePath("out"), "inventarios25/211/0.txt",
       "separador"},
      {"name with backslash", dir.filePath("out"), "inventarios25\\211\\0.txt", "separador"},
      {"path over 259 characters", longFolder, "inventarios11082025.txtx", "259"},
  };
  for (const auto& c : cases) {
    const auto error = writeLines(c.directory, c.name, Lines{"new", "rows"});
    ASSERT_TRUE(error.has_value()) << c.what;
    EXPECT_TRUE(error->contains(c.directory + "/" + c.name))
        << c.what << ": " << error->toStdString();
    EXPECT_TRUE(error->contains(QString::fromUtf8(c.reasonPart))) << c.what;
    EXPECT_GT(error->size(), (c.directory + "/" + c.name).size() + 10) << "no reason given";
  }
  EXPECT_EQ(readFile(dir.filePath("out/inventarios11082025.txt")), "earlier\r\n");
  EXPECT_EQ(entries(dir.filePath("out")), QStringList{"inventarios11082025.txt"});
  EXPECT_EQ(readFile(dir.filePath("afile")), "a regular file");
  EXPECT_EQ(entries(longFolder), QStringList{"inventarios11082025.txt"});
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

  // The limit itself is allowed.
  ASSERT_EQ((longFolder + "/inventarios11082025.txt").size(), 259);
  EXPECT_EQ(writeLines(longFolder, "inventarios11082025.txt", Lines{"new"}), std::nullopt);
  EXPECT_EQ(readFile(longFolder + "/inventarios11082025.txt"), "new\r\n");
}

#ifdef Q_OS_WIN
// What stops a replacement on Windows: the earlier file open in another program that does not
// share deletion (a spreadsheet showing yesterday's export), or marked read-only. The earlier
// file stays whole and no temporary file is left beside it.
TEST(WriteExportFile, EarlierFileThatCannotBeReplacedOnWindowsIsKept) {
  for (const bool heldOpen : {true, false}) {
    SCOPED_TRACE(heldOpen ? "held open" : "read-only");
    TempDir dir;
    const QString path = dir.write("ventas11082025.txt", "earlier\r\n");
    const QString nativePath = QDir::toNativeSeparators(path);
    const auto native = reinterpret_cast<LPCWSTR>(nativePath.utf16());
    HANDLE other = INVALID_HANDLE_VALUE;
    if (heldOpen) {
      other = CreateFileW(native, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(other, INVALID_HANDLE_VALUE);
    } else {
      ASSERT_TRUE(SetFileAttributesW(native, FILE_ATTRIBUTE_READONLY));
    }
    const auto error = writeLines(dir.path(), "ventas11082025.txt", Lines{"new"});
    if (heldOpen) CloseHandle(other);
    SetFileAttributesW(native, FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(path)) << error->toStdString();
    EXPECT_EQ(readFile(path), "earlier\r\n");
    EXPECT_EQ(entries(dir.path()), QStringList{"ventas11082025.txt"});
  }
}
#endif

#ifdef __linux__
// Root writes anywhere, so the folder without write permission is tried with the file-system
// identity of an ordinary user (setfsuid drops the override capabilities for file access).
TEST(WriteExportFile, FolderWithoutWritePermission) {
  TempDir dir;
  dir.write("ro/ventas11082025.txt", "earlier\r\n");
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                    QFileDevice::ExeOther));
  ASSERT_TRUE(QFile::setPermissions(
      dir.filePath("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                              QFileDevice::ExeOther));
  const uid_t unprivileged = 65534;  // nobody
  const bool wasRoot = geteuid() == 0;
  if (wasRoot) setfsuid(unprivileged);
  const auto error = writeLines(dir.filePath("ro"), "ventas11082025.txt", Lines{"new"});
  if (wasRoot) setfsuid(0);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->contains("ventas11082025.txt")) << error->toStdString();
  EXPECT_EQ(readFile(dir.filePath("ro/ventas11082025.txt")), "earlier\r\n");
  EXPECT_EQ(entries(dir.filePath("ro")), QStringList{"ventas11082025.txt"});
  QFile::setPermissions(dir.filePath("ro"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A tiny tmpfs that fills up part way through the file. Needs root to mount it.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const QString& mountPoint) : mountPoint_(mountPoint) {
    QDir().mkpath(mountPoint);
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mountPoint});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0) {
      why_ = "cannot mount a tmpfs here: " + mount.readAllStandardError().trimmed() +
             mount.errorString().toUtf8();
      mount.kill();
      mount.waitForFinished(1000);
    }
  }
  ~SmallFileSystem() {
    if (!why_.isEmpty()) return;
    QProcess umount;
    umount.start("umount", {mountPoint_});
    if (!umount.waitForFinished(10000)) umount.kill();
  }
  const QByteArray& whyNot() const { return why_; }

 private:
  QString mountPoint_;
  QByteArray why_;
};

TEST(WriteExportFile, DiskFullLeavesNoHalfFile) {
  TempDir dir;
  const QString mountPoint = dir.filePath("small");
  SmallFileSystem fs(mountPoint);
  if (!fs.whyNot().isEmpty()) GTEST_SKIP() << fs.whyNot().toStdString();

  ASSERT_EQ(writeLines(mountPoint, "ventas10082025.txt", Lines{"earlier"}), std::nullopt);
  ASSERT_EQ(writeLines(mountPoint, "ventas11082025.txt", Lines{"earlier"}), std::nullopt);
  Lines big(2000, QByteArray(200, 'z'));  // about 400 KB on 64 KB
  const auto error = writeLines(mountPoint, "ventas11082025.txt", big);
  ASSERT_TRUE(error.has_value());
  // The system's own reason, not "Unknown error" (the disk first takes part of a block).
  EXPECT_EQ(*error, QStringLiteral("No se pudo escribir el archivo %1: No space left on device")
                        .arg(mountPoint + "/ventas11082025.txt"));
  EXPECT_EQ(readFile(mountPoint + "/ventas11082025.txt"), "earlier\r\n");
  EXPECT_EQ(entries(mountPoint), (QStringList{"ventas10082025.txt", "ventas11082025.txt"}));

  // A new name that does not fit leaves no file at all.
  EXPECT_EQ(writeLines(mountPoint, "ventas12082025.txt", big),
            QStringLiteral("No se pudo escribir el archivo %1: No space left on device")
                .arg(mountPoint + "/ventas12082025.txt"));
  EXPECT_EQ(entries(mountPoint), (QStringList{"ventas10082025.txt", "ventas11082025.txt"}));
}
#endif

}  // namespace
}  // namespace zavelo::exporting
