// The run journal as a file: its lines, its time stamps, its rollover, what it never holds and
// how it fails.
#include "app/journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <variant>

#include "app/observed_notifier.h"
#include "common/handler_abandoned.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo {
namespace {

using exporting::Kind;
using exporting::RunEvent;
using Type = RunEvent::Type;
using P = ProgramEvent::Type;
// An event of either stream, as the journal hears both.
using Event = std::variant<ProgramEvent, RunEvent>;

QStringList linesOf(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

TEST(JournalText, OneSpanishLinePerEvent) {
  const QDate day(2025, 8, 11);
  const struct {
    Event event;
    const char* text;
  } cases[] = {
      {RunEvent{
           .type = Type::Connecting, .text = "localhost:/d/datos/01/halvori.fdb", .detail = "ANA"},
       "Conexi\u00f3n: base de datos localhost:/d/datos/01/halvori.fdb, usuario ANA"},
      {RunEvent{.type = Type::FileWritten,
                .kind = Kind::Inventory,
                .day = day,
                .path = "/r/inventarios11082025.txt",
                .rows = 6,
                .bytes = 310},
       "Archivo escrito: inventarios del 2025-08-11 (/r/inventarios11082025.txt), 6 l\u00edneas, "
       "310 bytes"},
      {RunEvent{.type = Type::FileNotWritten,
                .kind = Kind::Sales,
                .day = day,
                .path = "/r/ventas11082025.txt",
                .text = "No space left on device"},
       "Archivo NO escrito: ventas del 2025-08-11 (/r/ventas11082025.txt): No space left on "
       "device"},
      {RunEvent{
           .type = Type::MailSent, .kind = Kind::Sales, .day = day, .path = "v", .text = "250 OK"},
       "Correo enviado: ventas del 2025-08-11 (v); respuesta del servidor: 250 OK"},
      // How the mail's connection went stands before the reply.
      {RunEvent{.type = Type::MailSent,
                .kind = Kind::Inventory,
                .day = day,
                .path = "i",
                .text = "250 OK",
                .detail = "TLS 1.3, certificado verificado"},
       "Correo enviado: inventarios del 2025-08-11 (i); conexi\u00f3n TLS 1.3, certificado "
       "verificado; respuesta del servidor: 250 OK"},
      // A reply of several lines, ended by a line break, stays on one line.
      {RunEvent{.type = Type::MailFailed,
                .kind = Kind::Inventory,
                .day = day,
                .path = "i",
                .text = "Message refused\r\nby policy\n"},
       "Correo NO enviado (error): inventarios del 2025-08-11 (i): Message refused / by policy"},
      {RunEvent{.type = Type::MailNotAttempted, .kind = Kind::Inventory, .day = day, .path = "i"},
       "Correo NO enviado (no intentado): inventarios del 2025-08-11 (i): el usuario no tiene "
       "cuenta de correo"},
      {RunEvent{.type = Type::RunStopped, .text = "Range check error"},
       "Corrida detenida por un error: Range check error"},
      // What the error was follows its text: its kind and, from the database, its code.
      {RunEvent{.type = Type::RunStopped,
                .text = "Dynamic SQL Error\nTable unknown",
                .error = Error::Kind::Database,
                .firebirdCode = 335544569},
       "Corrida detenida por un error: Dynamic SQL Error / Table unknown (error de base de datos, "
       "c\u00f3digo ISC 335544569)"},
      {RunEvent{.type = Type::RunStopped,
                .text = "'SMTP' is not a valid integer value",
                .error = Error::Kind::Settings},
       "Corrida detenida por un error: 'SMTP' is not a valid integer value (error de "
       "configuraci\u00f3n)"},
      {ProgramEvent{.type = P::MessageBox,
                    .text = "No se encontr\u00f3 la Clave",
                    .box = ProgramEvent::Box::Notice},
       "Mensaje (aviso): No se encontr\u00f3 la Clave"},
      {ProgramEvent{.type = P::StartRefused,
                    .text = "no se puede crear la carpeta /x:\nNot a directory"},
       "Arranque detenido: no se puede crear la carpeta /x: / Not a directory"},
      {ProgramEvent{.type = P::Stopped, .text = "SIGTERM"},
       "Detenido por la se\u00f1al SIGTERM: el programa termina"},
      {ProgramEvent{.type = P::ProgramEnded, .exitStatus = 3}, "Fin: estado de salida 3"},
  };
  // A file is named as the system writes its paths: with backslashes on Windows.
  for (const auto& c : cases) {
    QString expected = QString::fromUtf8(c.text);
    expected.replace(QStringLiteral("(/r/"),
                     u'(' + QDir::toNativeSeparators(QStringLiteral("/r/")));
    EXPECT_EQ(std::visit([](const auto& e) { return journalText(e); }, c.event), expected);
  }
}

TEST(Journal, LinesStartWithTheLocalTimeAndItsOffset) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  const QDate day(2026, 12, 10);
  const struct {
    QDateTime time;
    const char* stamp;
  } cases[] = {
      {QDateTime(day, QTime(6, 5, 4), QTimeZone(-5 * 3600)), "2026-12-10T06:05:04-05:00 "},
      {QDateTime(day, QTime(23, 59, 59), QTimeZone(0)), "2026-12-10T23:59:59+00:00 "},
      {QDateTime(day, QTime(1, 0), QTimeZone(5 * 3600 + 1800)), "2026-12-10T01:00:00+05:30 "},
  };
  for (const auto& c : cases) {
    journal.setClock([&] { return c.time; });
    journal.write(QStringLiteral("l\u00ednea"));
  }
  const QStringList lines = linesOf(journal.path());
  ASSERT_EQ(lines.size(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(lines[i], QString::fromUtf8(cases[i].stamp) + QStringLiteral("l\u00ednea"));
  // The machine's own clock gives the same form.
  journal.setClock([] { return QDateTime::currentDateTime(); });
  journal.write("ahora");
  EXPECT_TRUE(
      QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d ahora$")
          .match(linesOf(journal.path()).last())
          .hasMatch())
      << linesOf(journal.path()).last().toStdString();
}

TEST(Journal, RollsOverAtOneMebibyteKeepingOneEarlierFile) {
  test::TempDir dir;
  Journal journal(dir.filePath("zadirod.log"));
  const QString text(200, u'x');
  for (int i = 0; i < 12000; ++i) journal.write(text);  // about 2.6 MB in all
  const QFileInfo current(journal.path());
  const QFileInfo earlier(journal.path() + ".1");
  ASSERT_TRUE(earlier.exists());
  EXPECT_LE(current.size(), Journal::kRolloverBytes);
  EXPECT_LE(earlier.size(), Journal::kRolloverBytes);
  EXPECT_GT(earlier.size(), Journal::kRolloverBytes - 300);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
  // Whole lines on both sides of the cut.
  for (const QString& path : {current.filePath(), earlier.filePath()})
    for (const QString& line : linesOf(path))
      EXPECT_TRUE(line.endsWith(text)) << path.toStdString();
}

// A password that is an ordinary word is masked in what came from outside, and the program's
// own words stay as they are.
TEST(Journal, MaskingNeverTouchesTheProgramsOwnWords) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  journal.addSecret("de");
  journal.record({.type = P::MessageBox, .text = "clave de acceso"});
  journal.record({.type = P::ProgramStarted,
                  .text = "ZadiRod 1.0, arranque desatendido del 2025-08-11 al 2025-08-11"});
  journal.record(
      {.type = P::SettingsRead, .text = "/erp/settingsenvio.conf", .detail = "desatendido"});
  journal.record({.type = P::ProgramEnded, .exitStatus = 2});
  const QStringList lines = linesOf(journal.path());
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[0].endsWith(" Mensaje (error): clave ******** acceso"))
      << lines[0].toStdString();
  EXPECT_TRUE(
      lines[1].endsWith(" Inicio: ZadiRod 1.0, arranque desatendido del 2025-08-11 al 2025-08-11"))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].endsWith(
      QStringLiteral(" Configuraci\u00f3n: /erp/settingsenvio.conf, modo desatendido")))
      << lines[2].toStdString();
  EXPECT_TRUE(lines[3].endsWith(" Fin: estado de salida 2")) << lines[3].toStdString();
}

// Control characters from outside are written as \xNN: every line stays text.
TEST(Journal, ControlCharactersAreWrittenEscaped) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  journal.record({.type = Type::MailFailed,
                  .path = "C:\\reportes\\i.txt",
                  .text = QString::fromLatin1("550 \x1b[31mno\x00 \x7f\t\x85"
                                              "fin",
                                              19)});
  const QByteArray bytes = test::readFile(journal.path());
  for (const char c : bytes.chopped(1))
    EXPECT_TRUE(c == '\t' || static_cast<unsigned char>(c) >= 0x20) << int(c);
  EXPECT_TRUE(
      bytes.endsWith("Correo NO enviado (error):  del  (C:\\reportes\\i.txt): 550 \\x1b[31mno\\x00 "
                     "\\x7f\t\\x85fin\n"))
      << bytes.toStdString();
}

// A reply of a mebibyte of control characters: one line of text, cut to a size one reads,
// with what was left out counted.
TEST(Journal, AHugeTextIsCutAndItsRestCounted) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  const RunEvent event{.type = Type::MailFailed, .text = "5" + QString(1024 * 1024, QChar(0x1b))};
  journal.record(event);
  const QStringList lines = linesOf(journal.path());
  ASSERT_EQ(lines.size(), 1);
  // Each ESC is written as the four characters \x1b.
  const qsizetype whole = journalText(event).size() + 3 * 1024 * 1024;
  const QString kept = lines[0].mid(lines[0].indexOf(' ') + 1);
  EXPECT_TRUE(kept.startsWith("Correo NO enviado (error):  del  (): 5\\x1b\\x1b"));
  EXPECT_EQ(kept.size(),
            Journal::kMaxLineLength + QStringLiteral(" \u2026 (%1 caracteres m\u00e1s)")
                                          .arg(whole - Journal::kMaxLineLength)
                                          .size());
  EXPECT_TRUE(kept.endsWith(
      QStringLiteral(" \u2026 (%1 caracteres m\u00e1s)").arg(whole - Journal::kMaxLineLength)))
      << kept.right(60).toStdString();
}

// The end of a day is the window's own bookkeeping: the journal writes no line for it.
TEST(Journal, TheEndOfADayWritesNoLine) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  journal.record(RunEvent{.type = Type::RunStarted, .day = QDate(2025, 8, 11)});
  journal.record(RunEvent{.type = Type::DayEnded, .day = QDate(2025, 8, 11)});
  journal.record(RunEvent{.type = Type::RunEnded, .resultFlag = true});
  const QStringList lines = linesOf(journal.path());
  ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines[0].endsWith(" Corrida: desde el 2025-08-11"));
  EXPECT_TRUE(lines[1].endsWith(" Corrida terminada: el \u00faltimo correo intentado sali\u00f3"));
}

TEST(Journal, PasswordsNeverReachTheFile) {
  test::TempDir dir;
  Journal journal(dir.filePath("z.log"));
  journal.addSecret("s3cr3t");
  journal.addSecret("");  // nothing to hide
  journal.record({.type = P::MessageBox, .text = "login s3cr3t refused"});
  const QStringList lines = linesOf(journal.path());
  ASSERT_EQ(lines.size(), 1);
  EXPECT_FALSE(lines[0].contains("s3cr3t"));
  EXPECT_TRUE(lines[0].endsWith("login ******** refused")) << lines[0].toStdString();
}

// A journal that cannot be written says so once on standard error and never stops anything.
TEST(Journal, AnUnwritableJournalComplainsOnceOnStandardError) {
  test::TempDir dir;
  QFile blocker(dir.filePath("no-es-carpeta"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  for (const QString& path : {dir.filePath("falta/z.log"), dir.filePath("no-es-carpeta/z.log")}) {
    Journal journal(path);
    testing::internal::CaptureStderr();
    journal.write("uno");
    journal.write("dos");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(QString::fromStdString(err).count("no se puede escribir el registro"), 1) << err;
    EXPECT_FALSE(QFile::exists(path));
  }
}

TEST(ObservedNotifier, BoxesAreHeardAndShownWhenThereIsSomeoneToClickThem) {
  struct Shown : Notifier {
    QStringList seen;
    void errorReport(const QString&, const QString& t) override { seen << "report " + t; }
    void notice(const QString&, const QString& t) override { seen << "notice " + t; }
    void errorBox(const QString&, const QString& t) override { seen << "box " + t; }
  } shown;
  std::vector<ProgramEvent> heard;
  int ends = 0;
  ObservedNotifier notifier(
      &shown, [&](const ProgramEvent& e) { heard.push_back(e); }, [&] { ++ends; });
  notifier.errorReport("Zadirod", "a");
  notifier.notice("Zadirod", "b");
  notifier.errorBox("Error", "c");
  EXPECT_EQ(shown.seen, QStringList({"report a", "notice b", "box c"}));
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].box, ProgramEvent::Box::ErrorReport);
  EXPECT_EQ(heard[1].box, ProgramEvent::Box::Notice);
  EXPECT_EQ(heard[2].box, ProgramEvent::Box::ErrorBox);
  EXPECT_EQ(heard[2].text, "c");
  EXPECT_EQ(ends, 0);
}

TEST(ObservedNotifier, UnattendedNoBoxIsShownAndTheProgramIsAskedToEnd) {
  std::vector<ProgramEvent> heard;
  int ends = 0;
  ObservedNotifier notifier(
      nullptr, [&](const ProgramEvent& e) { heard.push_back(e); }, [&] { ++ends; });
  testing::internal::CaptureStderr();
  // The report comes once its handler has been left: nothing more to leave.
  notifier.errorReport("Zadirod", "I/O error for file x");
  // A box that would have let its handler go on leaves it instead.
  EXPECT_THROW(notifier.notice("Zadirod", "sin clave"), HandlerAbandoned);
  EXPECT_THROW(notifier.errorBox("Error", "sin puerto"), HandlerAbandoned);
  const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
  EXPECT_EQ(err, "Zadirod: I/O error for file x\nZadirod: sin clave\nError: sin puerto\n");
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(ends, 3);
}

}  // namespace
}  // namespace zavelo
