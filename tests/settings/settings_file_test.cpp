// The settings file reader: every byte-level rule through a real file, and again fed one byte
// at a time (the file is read in pieces, so no rule may depend on where a piece ends); then the
// opening rules (absent, held by another process, not a regular file).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <initializer_list>
#include <optional>

#include "common/error.h"
#include "settings/settings_file.h"
#include "settings/settings_parser.h"
#include "support/error_of.h"
#include "support/temp_dir.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zavelo::settings {
namespace {

using Values = std::array<QByteArray, 9>;

TSettingsEnvio record(std::initializer_list<QByteArray> lines) {
  TSettingsEnvio s;
  int i = 0;
  for (const QByteArray& line : lines) s.*settingsLines[i++] = line;
  return s;
}

const TSettingsEnvio kNine = record({"Sucursal centro", "srv.example:3050", "C:\\reportes", "ADMIN",
                                     "s3cr3t", "001", "ZAV", "a@x.com;b@y.com", "1"});

QByteArray nineLines(const QByteArray& end) {
  QByteArray bytes;
  for (const auto field : settingsLines) bytes += kNine.*field + end;
  return bytes;
}

// A literal with its zero bytes.
template <size_t N>
QByteArray raw(const char (&bytes)[N]) {
  return QByteArray(bytes, N - 1);
}

struct Case {
  const char* name;
  QByteArray bytes;
  TSettingsEnvio expected;
  bool rangeError = false;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

const QByteArray k1024(1024, 'a');
const QByteArray k1025(1025, 'b');

std::vector<Case> cases() {
  return {
      {"CrLf", nineLines("\r\n"), kNine},
      {"LfOnly", nineLines("\n"), kNine},
      // A CR takes the next byte with it, whatever it is.
      {"CrThenOtherByte", "uno\rXdos\r;tres\n", record({"uno", "dos", "tres"})},
      // CR CR LF: the CR swallows the second CR, the LF ends an empty line 2.
      {"CrCrLf", "uno\r\r\ndos\ntres\n", record({"uno", "", "dos", "tres"})},
      // A CR as the very last byte still ends its line; there is nothing left to swallow.
      {"CrAsLastByte", "uno\ndos\r", record({"uno", "dos"})},
      {"EmptySecondLine", "uno\n\ntres\ncuatro\n", record({"uno", "", "tres", "cuatro"})},
      {"NinthLineWithoutEnd", nineLines("\n").chopped(1),
       record({kNine.linea1, kNine.servidor, kNine.directorio, kNine.codusuario, kNine.clave,
               kNine.compania, kNine.marca, kNine.destinatarios, ""})},
      {"NinthLineOneBlank", "1\n2\n3\n4\n5\n6\n7\n8\n1 \n",
       record({"1", "2", "3", "4", "5", "6", "7", "8", "1 "})},
      {"NinthLineZeroOne", "1\n2\n3\n4\n5\n6\n7\n8\n01\r\n",
       record({"1", "2", "3", "4", "5", "6", "7", "8", "01"})},
      {"TwelveLines", nineLines("\r\n") + "diez\r\nonce\r\ndoce\r\n", kNine},
      {"EmptyFile", "", TSettingsEnvio{}},
      {"OnlyLineEnds", "\r\n\n\r\n\r\n\n\n\r\n\n\r\n\n\r\n", TSettingsEnvio{}},
      // Blanks, tabs and Windows-1252 letters are kept as they are.
      {"BytesKept", " a\tb \n\xE1\xF1\x80\xFF\n", record({" a\tb ", "\xE1\xF1\x80\xFF"})},
      {"ByteOrderMarkInLineOne", "\xEF\xBB\xBFuno\ndos\n", record({"\xEF\xBB\xBFuno", "dos"})},
      {"NulInLineSeven", raw("1\n2\n3\n4\n5\n6\nZA\0V\n8\n9\n"),
       record({"1", "2", "3", "4", "5", "6", "ZA", "8", "9"})},
      {"NulOpensTheLine", raw("\0abc\nx\n"), record({"", "x"})},
      {"Line1024Characters", "uno\n" + k1024 + "\r\ntres\n", record({"uno", k1024, "tres"})},
      {"Line1025Characters", "uno\ndos\n" + k1025 + "\ncuatro\n5\n6\n7\n8\n9\n",
       record({"uno", "dos"}), true},
      // The 1025th character fails at once, even without a line end after it.
      {"Line1025CharactersAtEnd", "uno\n" + k1025, record({"uno"}), true},
      // Lines after the ninth fill nothing but are still limited.
      {"Line1025CharactersAfterNinth", nineLines("\n") + "diez\n" + k1025 + "\n", kNine, true},
      // Longer than one piece of the file: the limit holds far into the file.
      {"LongFileLongLineLate",
       nineLines("\r\n") + (QByteArray(1000, 'c') + "\r\n").repeated(100) + k1025, kNine, true},
      {"LongFileFine", nineLines("\r\n") + (QByteArray(1000, 'c') + "\r\n").repeated(100), kNine},
  };
}

class SettingsBytes : public ::testing::TestWithParam<Case> {};

void expectValues(const TSettingsEnvio& got, const TSettingsEnvio& expected) {
  for (size_t i = 0; i < settingsLines.size(); ++i) {
    EXPECT_EQ(got.*settingsLines[i], expected.*settingsLines[i]) << "line " << i + 1;
  }
}

TEST_P(SettingsBytes, ReadFromFile) {
  const Case& c = GetParam();
  test::TempDir dir;
  dir.write("settingsenvio.conf", c.bytes);
  // Values left from before must not survive.
  TSettingsEnvio got = record({"old", "old", "old", "old", "old", "old", "old", "old", "old"});
  SettingsFileRead read;
  const auto error = test::caught([&] { cargarsettings(dir.path(), got, &read); });
  if (c.rangeError) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), QStringLiteral("Range check error"));
    EXPECT_EQ(error->kind(), Error::Kind::Settings);
    EXPECT_EQ(read.state, SettingsFileState::Unreadable);
  } else {
    EXPECT_FALSE(error) << error->message().toStdString();
    EXPECT_EQ(read.state, SettingsFileState::Read);
  }
  expectValues(got, c.expected);
  EXPECT_EQ(got.automaticMode(), c.expected.automatico == "1");
}

TEST_P(SettingsBytes, FedOneByteAtATime) {
  const Case& c = GetParam();
  TSettingsEnvio got = record({"old", "old", "old"});
  const auto error = test::errorOf([&] {
    SettingsReader reader(got);
    for (qsizetype i = 0; i < c.bytes.size(); ++i) reader.feed(c.bytes.sliced(i, 1));
  });
  EXPECT_EQ(error.has_value(), c.rangeError);
  expectValues(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsBytes, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsMode, OnlyOneMeansAutomatic) {
  for (const char* text : {"", "0", "1 ", " 1", "01", "11", "1\t", "S"}) {
    TSettingsEnvio s;
    s.automatico = text;
    EXPECT_FALSE(s.automaticMode()) << text;
  }
  TSettingsEnvio s;
  s.automatico = "1";
  EXPECT_TRUE(s.automaticMode());
}

TEST(SettingsPath, PlainConcatenation) {
  const QString sep = QDir::separator();
  EXPECT_EQ(settingsFilePath(""), sep + "settingsenvio.conf");
  EXPECT_EQ(settingsFilePath("/opt/h"), "/opt/h" + sep + "settingsenvio.conf");
  // A trailing separator is kept, not merged.
  EXPECT_EQ(settingsFilePath("/opt/h/"), "/opt/h/" + sep + "settingsenvio.conf");
  EXPECT_EQ(settingsFilePath(" x "), " x " + sep + "settingsenvio.conf");
}

TEST(SettingsOpen, AbsentFileGivesEmptyValues) {
  test::TempDir dir;
  TSettingsEnvio got = kNine;
  SettingsFileRead read;
  EXPECT_EQ(cargarsettings(dir.path(), got, &read),
            dir.path() + QDir::separator() + "settingsenvio.conf");
  EXPECT_EQ(read.state, SettingsFileState::Missing);
  EXPECT_EQ(got, TSettingsEnvio{});
  EXPECT_FALSE(QFile::exists(dir.filePath("settingsenvio.conf"))) << "must not create it";
}

#ifndef Q_OS_WIN
// flock and FIFOs: how the file is held elsewhere than on Windows.
TEST(SettingsOpen, NotARegularFileGivesEmptyValues) {
  test::TempDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("d/settingsenvio.conf"));
  TSettingsEnvio got = kNine;
  SettingsFileRead read;
  cargarsettings(dir.filePath("d"), got, &read);
  EXPECT_EQ(got, TSettingsEnvio{});
  EXPECT_EQ(read.state, SettingsFileState::Unreadable);  // there, but no file to read

  // A FIFO of that name must neither block the open nor be read.
  ASSERT_TRUE(QDir(dir.path()).mkpath("p"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("p/settingsenvio.conf")).constData(), 0600), 0);
  got = kNine;
  cargarsettings(dir.filePath("p"), got);
  EXPECT_EQ(got, TSettingsEnvio{});
}

// Holds an exclusive lock on a file from another process until stopped.
class Locker {
 public:
  explicit Locker(const QString& path) {
    const QString python = qEnvironmentVariable("ZAVELO_PYTHON", "python3");
    // The child ends on its own after 60 s, or as soon as its input closes.
    process_.start(python, {"-c",
                            "import fcntl, signal, sys\n"
                            "signal.alarm(60)\n"
                            "f = open(sys.argv[1], 'rb')\n"
                            "fcntl.flock(f, fcntl.LOCK_EX)\n"
                            "print('locked', flush=True)\n"
                            "sys.stdin.read()\n",
                            path});
  }
  bool waitLocked() {
    if (!process_.waitForStarted(10000)) return false;
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(10000)) return false;
    }
    return process_.readLine().trimmed() == "locked";
  }
  void stop() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000)) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  ~Locker() { stop(); }

 private:
  QProcess process_;
};

TEST(SettingsOpen, FileHeldByAnotherProcessGivesEmptyValues) {
  test::TempDir dir;
  const QString path = dir.write("settingsenvio.conf", nineLines("\r\n"));
  Locker locker(path);
  ASSERT_TRUE(locker.waitLocked());
  TSettingsEnvio got = kNine;
  cargarsettings(dir.path(), got);
  EXPECT_EQ(got, TSettingsEnvio{});

  // Once the other process lets go, the same file reads in full.
  locker.stop();
  cargarsettings(dir.path(), got);
  EXPECT_EQ(got, kNine);
}

TEST(SettingsOpen, FileIsReleasedAfterReadingAndAfterAnError) {
  test::TempDir dir;
  for (const QByteArray& bytes : {nineLines("\n"), "uno\n" + k1025}) {
    const QString path = dir.write("settingsenvio.conf", bytes);
    TSettingsEnvio got;
    test::errorOf([&] { cargarsettings(dir.path(), got); });
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the reader still holds the file";
    ::close(fd);
  }
}

#endif

}  // namespace
}  // namespace zavelo::settings
