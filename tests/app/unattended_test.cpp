// The program as a scheduler sees it: the real ZadiRod started as a child process, with its own
// registry stand-in, settings file, data, home and temporary folders, no display, a company
// database on the Firebird server and the SMTP server on loopback. Each start is judged only by
// what can be seen from outside: its exit status (and that it ended by itself, not by a
// signal), the files in the output folder, the mails received, the journal and standard error.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <array>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#ifndef Q_OS_WIN
#include <signal.h>
#endif

#include "app/run_lock.h"
#include "common/cp1252.h"
#include "fixtures/company_db.h"
#include "mail/received_mail.h"
#include "support/qt_print.h"
#include "support/startup_files.h"
#include "support/temp_dir.h"

namespace zavelo {
namespace {

using test::CompanyDb;
using test::FbMode;
using test::RealSmtpServer;
using test::ReceivedMail;

constexpr char kSender[] = "reportes@acme.example";
constexpr char kMailUser[] = "reportes";
// Distinctive enough that any appearance in a journal is a leak, not a coincidence.
constexpr char kMailPass[] = "Correo-Secreto-5820";
constexpr char kCompany[] = "Distribuidora Caf\xE9 S.A.";
const QByteArray kRecipients = "ana@cliente.example; luis@cliente.example";
const QStringList kTo{"ana@cliente.example", "luis@cliente.example"};

// A whole run (start, connection, two files, two mails) takes about a second here; the limit is
// for a loaded machine. A program still there after it is killed and the test fails.
constexpr int kRunLimitMs = 120'000;
// Starts that must not get as far as a mail (a refused connection, a held lock) end well
// within this.
constexpr qint64 kPromptMs = 30'000;

// The child's time zone: five hours behind UTC all year (a POSIX rule, so no zone database is
// needed), so that the journal's offset is seen to be the local one and not UTC's.
constexpr char kZone[] = "<-05>5";
constexpr char kOffset[] = "-05:00";
QDate childToday() {
  return QDateTime::currentDateTimeUtc().addSecs(-5 * 3600).date();
}

QString esc(const QString& text) {
  return QRegularExpression::escape(text);
}

// How a child ended.
struct Finished {
  bool byItself = false;  // within the limit, without being killed
  QProcess::ExitStatus how = QProcess::CrashExit;
  int status = -1;
  QString out;
  QString err;
  qint64 ms = 0;
};

// One start of the real program.
class Child {
 public:
  void start(const QStringList& arguments, const QProcessEnvironment& environment,
             const QString& workingDirectory) {
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(workingDirectory);
    process_.setStandardInputFile(QProcess::nullDevice());
    timer_.start();
    process_.start(QStringLiteral(ZADIROD_PROGRAM), arguments);
    started_ = process_.waitForStarted(10'000);
    EXPECT_TRUE(started_) << "ZadiRod did not start: " << process_.errorString().toStdString();
  }

  bool running() const { return process_.state() != QProcess::NotRunning; }
  qint64 pid() const { return process_.processId(); }

  // Waits for the end; a program still running after limitMs is killed and the test fails.
  Finished finish(int limitMs) {
    Finished f;
    if (!started_) return f;
    f.byItself = process_.waitForFinished(limitMs);
    if (!f.byItself) {
      ADD_FAILURE() << "ZadiRod did not end by itself within " << limitMs << " ms; killed";
      kill();
    }
    f.ms = timer_.elapsed();
    f.how = process_.exitStatus();
    f.status = process_.exitCode();
    f.out = QString::fromUtf8(process_.readAllStandardOutput());
    f.err = QString::fromUtf8(process_.readAllStandardError());
    return f;
  }

  void kill() {
    if (!running()) return;
    process_.kill();
    process_.waitForFinished(10'000);
  }

  ~Child() { kill(); }

 private:
  QProcess process_;
  QElapsedTimer timer_;
  bool started_ = false;
};

void expectEnded(const Finished& f, int status) {
  EXPECT_TRUE(f.byItself);
  EXPECT_EQ(f.how, QProcess::NormalExit) << "ended by a signal; stderr: " << f.err.toStdString();
  EXPECT_EQ(f.status, status) << "stderr: " << f.err.toStdString();
}

// Every line of actual matches the pattern at the same place, as a whole.
void expectLines(const QStringList& actual, const QStringList& patterns) {
  bool same = actual.size() == patterns.size();
  for (qsizetype i = 0; same && i < actual.size(); ++i)
    same = QRegularExpression(QRegularExpression::anchoredPattern(patterns[i]))
               .match(actual[i])
               .hasMatch();
  EXPECT_TRUE(same) << "lines:\n  " << actual.join("\n  ").toStdString() << "\nexpected:\n  "
                    << patterns.join("\n  ").toStdString();
}

// A folder's files with their bytes and modification times.
struct FileState {
  QByteArray bytes;
  QDateTime modified;
  friend bool operator==(const FileState&, const FileState&) = default;
  friend void PrintTo(const FileState& f, std::ostream* os) {
    *os << f.bytes.size() << " bytes, modified "
        << f.modified.toString(Qt::ISODateWithMs).toStdString();
  }
};
QMap<QString, FileState> snapshot(const QString& folder) {
  QMap<QString, FileState> files;
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
    files.insert(info.fileName(), {test::readFile(info.filePath()),
                                   info.fileTime(QFileDevice::FileModificationTime)});
  return files;
}

struct Company {
  std::optional<QByteArray> port = std::nullopt;  // the SMTP server's when not set
  std::optional<QByteArray> user = std::nullopt;  // the ERP user (the test login when not set)
  QByteArray mailPass = kMailPass;
  QByteArray tls = "NO";  // the TLS switch
  bool named = true;      // the configuration holds the company's name
  bool account = true;    // the user has a mail account
};

// The nine settings lines; empty fields take the test's company and login.
struct Settings {
  std::optional<QByteArray> servidor = std::nullopt;
  std::optional<QByteArray> usuario = std::nullopt;  // the test login's when not set
  QByteArray compania = "01";
  std::optional<QByteArray> clave = std::nullopt;
  QByteArray marca = "07";
  QByteArray automatico = "";
  std::optional<QByteArray> directorio = std::nullopt;  // the output folder when not set
  QByteArray destinatarios = kRecipients;
  int lines = 9;  // the file holds the first lines only
};

class UnattendedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"xdg", "erp", "data", "home", "tmp", "runtime"})
      ASSERT_TRUE(QDir().mkpath(dir(QString::fromLatin1(name))));
    ASSERT_TRUE(QDir().mkpath(out()));
    // Qt wants the runtime folder to be its owner's alone.
    QFile::setPermissions(dir("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  QString dir(const QString& name) const { return temp.filePath(name); }
  // The output folder has a name beyond ASCII, as Spanish folder names do: the settings file
  // names it in Windows-1252, the file system in UTF-8.
  QString out() const { return dir(QStringLiteral("salida-a\u00f1o")); }
  QString journalPath() const { return dir("data") + "/ZadiRod/zadirod.log"; }
  QStringList files() const { return QDir(out()).entryList(QDir::Files, QDir::Name); }

  void startServer(QStringList options = {}) {
    options += {"--auth", QString::fromLatin1(kMailUser) + ':' + kMailPass};
    server = std::make_unique<RealSmtpServer>(options);
    ASSERT_NE(server->port(), 0);
  }

  void makeCompany(const Company& c = {}) {
    company = std::make_unique<CompanyDb>(dir("empresa"));
    const QByteArray port = c.port ? *c.port : QByteArray::number(server ? server->port() : 25);
    company->generalConfig("PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO", port)
        .generalConfig("USAR SSL PARA ENVIO DE CORREO ELECTRONICO", c.tls)
        .user(c.user.value_or(test::fbTestLogin().user),
              c.account ? QByteArray(kSender) : QByteArray(), "127.0.0.1", kMailUser, c.mailPass);
    if (c.named) company->generalConfig("NOMBRE COMPANIA", kCompany);
    const QString error = company->build();
    ASSERT_EQ(error, "") << error.toStdString();
  }

  void writeSettings(const Settings& s = {}) {
    const test::FbLogin login = test::fbTestLogin();
    settingsPassword = s.clave.value_or(login.password);
    const QList<QByteArray> lines{"linea1",
                                  s.servidor.value_or(company->servidor(FbMode::Server)),
                                  s.directorio.value_or(toCp1252(out())),
                                  s.usuario.value_or(login.user),
                                  settingsPassword,
                                  s.compania,
                                  s.marca,
                                  s.destinatarios,
                                  s.automatico};
    test::writeStartupFiles(dir("xdg"), dir("erp"), lines.mid(0, s.lines));
  }

  // The child's environment: every folder it may write to is the test's own; no display.
  QProcessEnvironment environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      env.remove(QString::fromLatin1(name));
    env.insert("XDG_CONFIG_DIRS", dir("xdg"));
    env.insert("XDG_DATA_HOME", dir("data"));
    env.insert("HOME", dir("home"));
    env.insert("TMPDIR", dir("tmp"));
    env.insert("XDG_RUNTIME_DIR", dir("runtime"));
    // The short date form is year first (2025/08/11), as where the program is deployed.
    env.insert("LC_ALL", "ja_JP.UTF-8");
    env.insert("LANG", "ja_JP.UTF-8");
    env.insert("TZ", kZone);
    return env;
  }

  void launch(Child& child, const QStringList& arguments, const QProcessEnvironment& env) {
    if (!earliest.isValid()) earliest = QDateTime::currentDateTimeUtc();
    child.start(arguments, env, dir("home"));
  }
  Finished finish(Child& child, int limitMs = kRunLimitMs) {
    const Finished f = child.finish(limitMs);
    latest = QDateTime::currentDateTimeUtc();
    return f;
  }
  Finished run(const QStringList& arguments, std::optional<QProcessEnvironment> env = {},
               int limitMs = kRunLimitMs) {
    Child child;
    launch(child, arguments, env ? *env : environment());
    return finish(child, limitMs);
  }
  static QStringList unattended(const QString& first, const QString& last) {
    return {"--desatendido", "--desde", first, "--hasta", last};
  }

  // The journal's lines without their stamps. Each stamp is the child's local time with its
  // offset, to the second, within the test's starts; no password and no AUTH exchange appears
  // anywhere in the file.
  QStringList journal(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      ADD_FAILURE() << "no journal at " << path.toStdString();
      return {};
    }
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.endsWith('\n'));
    for (const QByteArray& secret :
         {QByteArray(kMailPass), QByteArray(kMailPass).toBase64(), QByteArray(kMailUser).toBase64(),
          settingsPassword, settingsPassword.toBase64()})
      EXPECT_FALSE(bytes.contains(secret)) << "the journal holds " << secret.toStdString();

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    EXPECT_FALSE(utf8.hasError()) << "the journal is not UTF-8";
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}([+-]\d{2}:\d{2})) (.+)$)"));
    QStringList texts;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
      const QRegularExpressionMatch m = form.match(line);
      if (!m.hasMatch()) {
        ADD_FAILURE() << "journal line without its stamp: " << line.toStdString();
        continue;
      }
      EXPECT_EQ(m.captured(2), QString::fromLatin1(kOffset)) << line.toStdString();
      const QDateTime at = QDateTime::fromString(m.captured(1), Qt::ISODate);
      EXPECT_TRUE(at.isValid() && at >= earliest.addSecs(-1) && at <= latest.addSecs(1))
          << line.toStdString() << " is not between "
          << earliest.toString(Qt::ISODate).toStdString() << " and "
          << latest.toString(Qt::ISODate).toStdString();
      texts.append(m.captured(3));
    }
    return texts;
  }

  QList<ReceivedMail> stopAndRead() {
    server->stop();
    return test::receivedMails(*server);
  }

  // The journal lines of one written file and its mail.
  QStringList fileLines(const char* kind, const QString& isoDay, const QString& name,
                        const QString& connection = QStringLiteral("sin TLS")) const {
    const QString path = out() + '/' + name;
    const QByteArray bytes = test::readFile(path);
    const QString of = QStringLiteral("%1 del %2 \\(%3\\)").arg(kind, isoDay, esc(path));
    return {QStringLiteral("Archivo escrito: %1, %2 l\u00edneas, %3 bytes")
                .arg(of)
                .arg(bytes.count("\r\n"))
                .arg(bytes.size()),
            QStringLiteral("Correo enviado: %1; conexi\u00f3n %2; respuesta del servidor: 250 "
                           "2\\.0\\.0 OK queued")
                .arg(of, connection)};
  }
  QString startLine(const QString& first, const QString& last) const {
    return QStringLiteral("Inicio: ZadiRod [0-9.]+, arranque desatendido del %1 al %2")
        .arg(first, last);
  }
  QString settingsLine() const {
    return QStringLiteral("Configuraci\u00f3n: %1, modo desatendido")
        .arg(esc(dir("erp") + "/settingsenvio.conf"));
  }
  QString connectionLine() const {
    return QStringLiteral("Conexi\u00f3n: base de datos %1, usuario %2")
        .arg(esc(QFile::decodeName(company->databaseString(FbMode::Server))),
             esc(QString::fromLatin1(test::fbTestLogin().user)));
  }

  test::TempDir temp;
  std::unique_ptr<RealSmtpServer> server;
  std::unique_ptr<CompanyDb> company;
  QByteArray settingsPassword;
  QDateTime earliest;
  QDateTime latest;
};

// The start a scheduler makes every night: today's two reports, here for a day given.
TEST_F(UnattendedTest, EverythingSentEndsWithStatusZeroAndAJournalOfEveryStep) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const Finished f = run(unattended("2025-08-11", "2025-08-11"));
  expectEnded(f, 0);

  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 2);
  test::expectReportMail(mails[0], true, "2025/08/11", kCompany, kSender, kTo,
                         "inventarios11082025.txt",
                         test::readFile(out() + "/inventarios11082025.txt"));
  test::expectReportMail(mails[1], false, "2025/08/11", kCompany, kSender, kTo,
                         "ventas11082025.txt", test::readFile(out() + "/ventas11082025.txt"));

  // The journal is where the application's local data go, and nowhere else.
  QStringList journals;
  for (QDirIterator it(temp.path(), {"*.log", "*.log.1"}, QDir::Files,
                       QDirIterator::Subdirectories);
       it.hasNext();)
    journals.append(it.next());
  EXPECT_EQ(journals, QStringList{journalPath()});
  expectLines(journal(journalPath()),
              QStringList{startLine("2025-08-11", "2025-08-11"), settingsLine(), connectionLine(),
                          "Corrida: desde el 2025-08-11"} +
                  fileLines("inventarios", "2025-08-11", "inventarios11082025.txt") +
                  fileLines("ventas", "2025-08-11", "ventas11082025.txt") +
                  QStringList{"Corrida terminada: el \u00faltimo correo intentado sali\u00f3",
                              "Fin: estado de salida 0"});
  // Nothing said on stderr about the run; the lock is in the user's runtime folder, not in the
  // temporary folder every user can write.
  EXPECT_FALSE(f.err.contains("ZadiRod:")) << f.err.toStdString();
  EXPECT_EQ(f.out, "") << "cron mails whatever a job prints";
  EXPECT_EQ(QDir(dir("tmp")).entryList({"zadirod-*"}, QDir::Files), QStringList{});
  EXPECT_EQ(QDir(dir("runtime")).entryList({"zadirod-*.lock"}, QDir::Files).size(), 1);
  std::cout << "[ timing ] a whole unattended run took " << f.ms << " ms\n";
}

// A range of days catches up the nights the machine was off: over a year's end, and over the
// 29th of February of a leap year.
struct DayRange {
  const char* name;
  std::array<const char*, 3> days;
  friend void PrintTo(const DayRange& r, std::ostream* os) { *os << r.name; }
};

class DayRangeTest : public UnattendedTest, public ::testing::WithParamInterface<DayRange> {};

TEST_P(DayRangeTest, ThreeDaysGiveSixFilesAndSixMailsInDayOrder) {
  const std::array<const char*, 3>& days = GetParam().days;
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  expectEnded(run(unattended(days[0], days[2])), 0);

  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 6);
  QStringList expected{startLine(days[0], days[2]), settingsLine(), connectionLine(),
                       QStringLiteral("Corrida: desde el %1").arg(days[0])};
  QStringList names;
  int i = 0;
  for (const char* iso : days) {
    const QByteArray day(iso);
    const QByteArray dateText = day.left(4) + '/' + day.mid(5, 2) + '/' + day.mid(8, 2);
    const QString suffix = QString::fromLatin1(day.mid(8, 2) + day.mid(5, 2) + day.left(4));
    for (const bool inventory : {true, false}) {
      const QString name = (inventory ? "inventarios" : "ventas") + suffix + ".txt";
      SCOPED_TRACE(name.toStdString());
      names.append(name);
      test::expectReportMail(mails[i], inventory, dateText, kCompany, kSender, kTo, name,
                             test::readFile(out() + '/' + name));
      EXPECT_EQ(mails[i].session, i + 1);
      expected += fileLines(inventory ? "inventarios" : "ventas", iso, name);
      ++i;
    }
  }
  names.sort();
  EXPECT_EQ(files(), names);
  expected +=
      {"Corrida terminada: el \u00faltimo correo intentado sali\u00f3", "Fin: estado de salida 0"};
  expectLines(journal(journalPath()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, DayRangeTest,
    ::testing::Values(DayRange{"YearEnd", {"2025-12-30", "2025-12-31", "2026-01-01"}},
                      DayRange{"LeapDay", {"2024-02-28", "2024-02-29", "2024-03-01"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct StopCase {
  const char* what;
  Settings settings;
  Company company;
  bool registry;      // the registry stand-in names the ERP folder
  const char* box;    // the kind of box the journal names
  QStringList said;   // fragments of the box's text
  bool connecting;    // a connection was attempted
  bool stopped;       // a run had started and was stopped
  QStringList files;  // written before the stop
  // What stopped a run after its text in the journal: " (error de base de datos, ...)".
  const char* stopKind;
};

// Starts that cannot make their reports; closedPort: a port of loopback nothing listens on.
std::vector<StopCase> stopCases(quint16 closedPort) {
  return {
      {"registry key missing",
       {},
       {},
       false,
       "aviso",
       {"No se encontr\u00f3 la Clave HKEY_LOCAL_MACHINE\\Software\\QVT\\Halvori2025\\Directorio"},
       false,
       false,
       {},
       ""},
      {"no server in the settings",
       {.servidor = ""},
       {},
       true,
       "error",
       {"Faltan datos de origen", "settingsenvio.conf"},
       false,
       false,
       {},
       ""},
      {"company whose database does not exist",
       {.compania = "99"},
       {},
       true,
       "error",
       {"I/O error during \"open\" operation for file", "/datos/99/halvori.fdb",
        "No such file or directory"},
       true,
       false,
       {},
       ""},
      {"server that refuses the connection",
       {.servidor = "127.0.0.1/" + QByteArray::number(closedPort) + ":/nada"},
       {},
       true,
       "error",
       {"Unable to complete network request to host \"127.0.0.1\"",
        "Failed to establish a connection"},
       true,
       false,
       {},
       ""},
      {"report procedure that fails",
       {.marca = "FALLA"},
       {},
       true,
       "error",
       {"Marca con falla de prueba"},
       true,
       true,
       {},
       " (error de base de datos, c\u00f3digo ISC "},
      // The mailing's own configuration box: the run goes no further than the first mail.
      {"company name missing from the configuration",
       {},
       {.named = false},
       true,
       "error de configuraci\u00f3n",
       {"No se encontr\u00f3 la configuraci\u00f3n NOMBRE COMPANIA"},
       true,
       true,
       {"inventarios11082025.txt"},
       ""},
  };
}

// The journal and stderr of a start that stopped: the box's text once, the connection attempt
// and the run's stop as far as they went, and the end with status 2.
void expectStopRecorded(const StopCase& c, const QStringList& lines, const QString& err) {
  const QString all = lines.join('\n');
  for (const QString& fragment : c.said) {
    EXPECT_TRUE(all.contains(fragment)) << "journal:\n" << all.toStdString();
    EXPECT_TRUE(err.contains(fragment)) << "stderr:\n" << err.toStdString();
  }
  // The text the box would have shown, once, and the end.
  EXPECT_EQ(
      lines.filter(QRegularExpression(QStringLiteral("^Mensaje \\(%1\\): ").arg(c.box))).size(), 1)
      << all.toStdString();
  EXPECT_EQ(lines.filter(QRegularExpression("^Mensaje ")).size(), 1) << all.toStdString();
  EXPECT_EQ(lines.value(lines.size() - 1), "Fin: estado de salida 2");
  // The connection attempt is recorded whether it opens or not.
  EXPECT_EQ(lines.filter(QRegularExpression("^Conexi\u00f3n: base de datos ")).size(),
            c.connecting ? 1 : 0)
      << all.toStdString();
  EXPECT_EQ(lines.filter(QRegularExpression("^Corrida detenida por un error: ")).size(),
            c.stopped ? 1 : 0)
      << all.toStdString();
  // What stopped the run is named after its text.
  if (c.stopped && *c.stopKind) {
    EXPECT_EQ(lines
                  .filter(QRegularExpression("^Corrida detenida por un error: .*" +
                                             QRegularExpression::escape(c.stopKind)))
                  .size(),
              1)
        << all.toStdString();
  }
}

// Starts that cannot make their reports: no settings to start from, no connection, or a run
// stopped by a database error after it connected. No box waits for a click: the box's text
// goes to the journal and to stderr, and the program ends by itself with status 2.
TEST_F(UnattendedTest, StartsThatStopOnAnErrorEndByThemselvesWithStatusTwo) {
  // A port on loopback that nothing listens on (taken and given back).
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    closedPort = probe.serverPort();
  }
  ASSERT_NO_FATAL_FAILURE(startServer());
  for (const StopCase& c : stopCases(closedPort)) {
    SCOPED_TRACE(c.what);
    QFile::remove(journalPath());
    for (const QString& name : files()) QFile::remove(out() + '/' + name);
    ASSERT_NO_FATAL_FAILURE(makeCompany(c.company));
    ASSERT_NO_FATAL_FAILURE(writeSettings(c.settings));
    if (!c.registry) {
      ASSERT_TRUE(QFile::remove(dir("xdg") + "/QVT/Halvori2025.conf"));
    }
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, 2);
    EXPECT_LT(f.ms, kPromptMs);
    expectStopRecorded(c, journal(journalPath()), f.err);
    EXPECT_EQ(files(), c.files);
  }
  EXPECT_EQ(stopAndRead().size(), 0);
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}

// The journal's settings line says truthfully what became of the settings file: read, not
// there, or there but not read (a line of 10,000 characters).
TEST_F(UnattendedTest, TheSettingsLineTellsAMissingFileFromOneThatCouldNotBeRead) {
  const QString path = dir("erp") + "/settingsenvio.conf";
  const struct {
    const char* what;
    std::optional<QByteArray> file;  // the settings file's bytes; none: no file
    QString line;
    int status;
  } cases[] = {
      {"read", std::nullopt, QString(), 0},
      {"missing", std::nullopt,
       QStringLiteral("Configuraci\u00f3n: sin archivo de configuraci\u00f3n (%1 no existe), modo "
                      "desatendido")
           .arg(path),
       2},
      {"a line of 10,000 characters", "linea1\r\n" + QByteArray(10000, 'x') + "\r\n",
       QStringLiteral("Configuraci\u00f3n: %1 no se pudo leer, modo desatendido").arg(path), 2},
  };
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(journalPath());
    ASSERT_NO_FATAL_FAILURE(writeSettings());
    if (c.status != 0) {
      ASSERT_TRUE(QFile::remove(path));
      if (c.file) temp.write("erp/settingsenvio.conf", *c.file);
    }
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, c.status);
    const QStringList lines = journal(journalPath());
    // (A box that the reading of the settings gave comes first.)
    const QString expected =
        c.status == 0 ? QStringLiteral("Configuraci\u00f3n: %1, modo desatendido").arg(path)
                      : c.line;
    EXPECT_EQ(lines.filter(QRegularExpression("^Configuraci\u00f3n: ")), QStringList{expected});
  }
}

// Reports that were made but did not reach their recipients, or were not made at all: the run
// goes on to its end, the program ends by itself and says so with status 1, also where the
// run's last mail went out after an earlier one failed.
TEST_F(UnattendedTest, ReportsNotWrittenOrNotMailedEndWithStatusOne) {
  enum class Mail { Sent, Refused, NotAttempted, None };
  struct Report {
    bool written;
    Mail mail;
  };
  struct Case {
    const char* what;
    QStringList serverOptions;
    Company company;
    bool outputFolder;  // the output folder is there on the night of the run
    Report inventory, sales;
    bool lastSent;  // the run's last attempted mail went out
  } cases[] = {
      {"inventory mail refused at DATA, sales mail sent",
       {"--refuse-subject", "inventarios"},
       {},
       true,
       {true, Mail::Refused},
       {true, Mail::Sent},
       true},
      {"sales mail refused at DATA",
       {"--refuse-subject", "ventas"},
       {},
       true,
       {true, Mail::Sent},
       {true, Mail::Refused},
       false},
      {"user without a mail account",
       {},
       {.account = false},
       true,
       {true, Mail::NotAttempted},
       {true, Mail::NotAttempted},
       false},
      {"output folder gone", {}, {}, false, {false, Mail::None}, {false, Mail::None}, false},
  };
  // The journal the case must leave, line by line, with the files written and the mails that
  // went out (inventory or not) in their order.
  struct Outcome {
    QStringList journal;
    QStringList written;
    QList<bool> sent;
  };
  const auto expectedOf = [&](const Case& c) {
    QStringList expected{startLine("2025-08-11", "2025-08-11"), settingsLine(), connectionLine(),
                         "Corrida: desde el 2025-08-11"};
    QStringList written;
    QList<bool> sent;  // inventory or not, of each mail that went out
    for (const bool inventory : {true, false}) {
      const Report& r = inventory ? c.inventory : c.sales;
      const QString kind = inventory ? "inventarios" : "ventas";
      const QString name = kind + "11082025.txt";
      const QString path = out() + '/' + name;
      const QString of = QStringLiteral("%1 del 2025-08-11 \\(%2\\)").arg(kind, esc(path));
      if (r.written) {
        written += name;
        const QStringList lines =
            fileLines(inventory ? "inventarios" : "ventas", "2025-08-11", name);
        expected += lines[0];
        if (r.mail == Mail::Sent) expected += lines[1];
      } else {
        expected += QStringLiteral("Archivo NO escrito: %1: .*%2.*").arg(of, esc(path));
      }
      if (r.mail == Mail::Sent) sent += inventory;
      if (r.mail == Mail::Refused)
        expected += QStringLiteral(
                        "Correo NO enviado \\(error\\): %1: .*Message refused for its "
                        "subject.*")
                        .arg(of);
      if (r.mail == Mail::NotAttempted)
        expected += QStringLiteral(
                        "Correo NO enviado \\(no intentado\\): %1: el usuario no tiene "
                        "cuenta de correo")
                        .arg(of);
    }
    expected += {c.lastSent ? "Corrida terminada: el \u00faltimo correo intentado sali\u00f3"
                            : "Corrida terminada: el \u00faltimo correo intentado no sali\u00f3 "
                              "\\(o no hubo correo\\)",
                 "Fin: estado de salida 1"};
    return Outcome{expected, written, sent};
  };
  // The mails the server received, each the report of its file.
  const auto expectMails = [&](const QList<bool>& sent) {
    const QList<ReceivedMail> mails = stopAndRead();
    ASSERT_EQ(mails.size(), sent.size());
    for (qsizetype i = 0; i < mails.size(); ++i) {
      const QString name = (sent[i] ? "inventarios" : "ventas") + QStringLiteral("11082025.txt");
      test::expectReportMail(mails[i], sent[i], "2025/08/11", kCompany, kSender, kTo, name,
                             test::readFile(out() + '/' + name));
    }
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(journalPath());
    QDir(out()).removeRecursively();
    if (c.outputFolder) {
      ASSERT_TRUE(QDir().mkpath(out()));
    }
    ASSERT_NO_FATAL_FAILURE(startServer(c.serverOptions));
    ASSERT_NO_FATAL_FAILURE(makeCompany(c.company));
    ASSERT_NO_FATAL_FAILURE(writeSettings());
    expectEnded(run(unattended("2025-08-11", "2025-08-11")), 1);

    const Outcome expected = expectedOf(c);
    expectLines(journal(journalPath()), expected.journal);
    EXPECT_EQ(files(), expected.written);
    expectMails(expected.sent);
  }
}

// The journal moves aside to zadirod.log.1 when the next line would take it past 1 MiB; one
// earlier file is kept, the one before it goes.
TEST_F(UnattendedTest, JournalRollsOverAtOneMebibyte) {
  struct Case {
    const char* what;
    qint64 room;  // bytes left below 1 MiB before the run
    bool rolls;
  } cases[] = {
      {"room for the whole run", 16384, false},
      {"no room for the first line", 10, true},
  };
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QByteArray line = "2025-01-01T00:00:00-05:00 Fin: estado de salida 0\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QByteArray earlier;
    while (earlier.size() + line.size() <= 1024 * 1024 - c.room) earlier += line;
    earlier += QByteArray(1024 * 1024 - c.room - earlier.size() - 1, 'x') + '\n';
    ASSERT_EQ(earlier.size(), 1024 * 1024 - c.room);
    temp.write("data/ZadiRod/zadirod.log", earlier);
    temp.write("data/ZadiRod/zadirod.log.1", "una noche anterior\n");
    for (const QString& name : files()) QFile::remove(out() + '/' + name);

    expectEnded(run(unattended("2025-08-11", "2025-08-11")), 0);
    const QByteArray now = test::readFile(journalPath());
    EXPECT_EQ(QDir(dir("data/ZadiRod")).entryList(QDir::Files),
              (QStringList{"zadirod.log", "zadirod.log.1"}));
    if (c.rolls) {
      EXPECT_EQ(test::readFile(journalPath() + ".1"), earlier);
      const QStringList lines = journal(journalPath());
      EXPECT_EQ(lines.size(), 10);
      EXPECT_TRUE(lines.value(0).startsWith("Inicio: ")) << lines.join('\n').toStdString();
    } else {
      EXPECT_EQ(test::readFile(journalPath() + ".1"), "una noche anterior\n");
      EXPECT_TRUE(now.startsWith(earlier));
      const QList<QByteArray> added = now.mid(earlier.size()).split('\n');
      EXPECT_EQ(added.size(), 11);  // ten lines and what follows the last line end
      EXPECT_TRUE(added.value(9).endsWith(" Fin: estado de salida 0"));
    }
  }
}

// Passwords beyond ASCII, as the ERP holds them in Windows-1252 ("ñ", "ú"): the database login's
// from the settings file (the server holds it as UTF-8) and the mail account's from the users
// table (the server wants the same bytes) both work.
TEST_F(UnattendedTest, PasswordsBeyondAsciiForTheDatabaseAndTheMailAccount) {
  const QByteArray mailPass =
      "Correo-\xF1"
      "and\xFA";
  server = std::make_unique<RealSmtpServer>(
      QStringList{"--auth", QString::fromLatin1(kMailUser) + ':' + fromCp1252(mailPass),
                  "--auth-encoding", "cp1252"});
  ASSERT_NE(server->port(), 0);
  const test::FbLogin login = test::fbBeyondAsciiLogin();
  ASSERT_NO_FATAL_FAILURE(makeCompany({.user = login.user, .mailPass = mailPass}));
  ASSERT_NO_FATAL_FAILURE(writeSettings({.usuario = login.user, .clave = login.password}));
  expectEnded(run(unattended("2025-08-11", "2025-08-11")), 0);
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(stopAndRead().size(), 2);
}

// Neither the database password nor the mail account's password (nor the AUTH exchange) ever
// reaches the journal, whether the connection or the login is what fails. journal() checks
// the file for them.
TEST_F(UnattendedTest, NoPasswordReachesTheJournal) {
  struct Case {
    const char* what;
    std::optional<QByteArray> clave;  // settings line 5
    QByteArray serverPassword;        // what the SMTP server wants
    int status;
  } cases[] = {
      {"wrong database password", "Clave-Errada-7391", kMailPass, 2},
      {"mail login refused", std::nullopt, "otra-clave", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(journalPath());
    server = std::make_unique<RealSmtpServer>(
        QStringList{"--auth", QString::fromLatin1(kMailUser) + ':' + c.serverPassword});
    ASSERT_NE(server->port(), 0);
    ASSERT_NO_FATAL_FAILURE(makeCompany());
    ASSERT_NO_FATAL_FAILURE(writeSettings({.clave = c.clave}));
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, c.status);
    const QStringList lines = journal(journalPath());
    EXPECT_EQ(lines.value(lines.size() - 1),
              QStringLiteral("Fin: estado de salida %1").arg(c.status));
    // The mail login was tried with the account's password: the server saw both mails' AUTH.
    if (c.status == 1) {
      EXPECT_EQ(lines.filter("Correo NO enviado (error)").size(), 2)
          << lines.join('\n').toStdString();
      EXPECT_TRUE(server->sessionLog(1).contains("AUTH LOGIN"));
    }
    for (const QByteArray& secret : {QByteArray(kMailPass), settingsPassword})
      EXPECT_FALSE(f.err.contains(QString::fromLatin1(secret))) << f.err.toStdString();
    const QString kept = company->root();
    company.reset();
    QDir(kept).removeRecursively();
    for (const QString& name : files()) QFile::remove(out() + '/' + name);
  }
}

// A mail server that cannot be reached: the first mail fails, the run's later mails are not
// attempted (each journalled with the reason), every file is still written, and the program
// ends at once with status 1 instead of trying every mail of a catch-up run.
TEST_F(UnattendedTest, AnUnreachableMailServerEndsTheMailingOfTheRun) {
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    closedPort = probe.serverPort();
  }
  ASSERT_NO_FATAL_FAILURE(makeCompany({.port = QByteArray::number(closedPort)}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const Finished f = run(unattended("2025-08-11", "2025-08-13"));
  expectEnded(f, 1);
  EXPECT_LT(f.ms, kPromptMs);
  EXPECT_EQ(files().size(), 6);

  QStringList expected{startLine("2025-08-11", "2025-08-13"), settingsLine(), connectionLine(),
                       "Corrida: desde el 2025-08-11"};
  bool first = true;
  for (const char* iso : {"2025-08-11", "2025-08-12", "2025-08-13"}) {
    const QByteArray day(iso);
    const QString suffix = QString::fromLatin1(day.mid(8, 2) + day.mid(5, 2) + day.left(4));
    for (const char* kind : {"inventarios", "ventas"}) {
      const QString name = QString::fromLatin1(kind) + suffix + ".txt";
      const QString of =
          QStringLiteral("%1 del %2 \\(%3\\)").arg(kind, iso, esc(out() + '/' + name));
      expected += fileLines(kind, iso, name)[0];
      expected += first ? QStringLiteral(
                              "Correo NO enviado \\(error\\): %1: Socket Error # "
                              "10061 / Connection refused\\.")
                              .arg(of)
                        : QStringLiteral(
                              "Correo NO enviado \\(no intentado\\): %1: el servidor "
                              "de correo no respondi\u00f3 a un correo anterior de "
                              "esta corrida: Socket Error # 10061 / Connection "
                              "refused\\.")
                              .arg(of);
      first = false;
    }
  }
  expected +=
      {"Corrida terminada: el \u00faltimo correo intentado no sali\u00f3 \\(o no hubo "
       "correo\\)",
       "Fin: estado de salida 1"};
  expectLines(journal(journalPath()), expected);
}

#ifndef Q_OS_WIN  // XDG folders, POSIX permissions, LC_ALL: Linux only
// A scheduler's start where the short date form is not year first (cron's C locale gives
// "10 Dec 2026") would name and date the files wrongly: it stops before it connects, with
// status 2, and says what it found and how to set the form. Nothing is written or mailed.
TEST_F(UnattendedTest, ADateFormThatIsNotYearFirstStopsAnUnattendedStart) {
  const struct {
    const char* locale;
    const char* dateForm;  // the short form of the child's today, as QDate::toString writes it
  } cases[] = {{"C", "d MMM yyyy"}, {"en_GB.UTF-8", "dd/MM/yyyy"}};
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    QFile::remove(journalPath());
    QProcessEnvironment env = environment();
    env.insert("LC_ALL", c.locale);
    env.insert("LANG", c.locale);
    const QDate before = childToday();
    const Finished f = run(unattended("2025-08-11", "2025-08-11"), env);
    const QDate after = childToday();
    expectEnded(f, 2);
    EXPECT_LT(f.ms, kPromptMs);
    EXPECT_EQ(files(), QStringList{});
    const QDate today = f.err.contains(before.toString(Qt::ISODate)) ? before : after;
    const QString why =
        QStringLiteral(
            "la forma corta de la fecha de este equipo da \u00ab%1\u00bb para el %2; "
            "una corrida desatendida necesita a\u00f1o, mes y d\u00eda en ese orden "
            "(%3). En Linux se fija con LC_TIME, por ejemplo LC_TIME=ja_JP.UTF-8; en "
            "Windows, en la configuraci\u00f3n regional (formato de fecha corta)")
            .arg(QLocale::c().toString(today, QString::fromLatin1(c.dateForm)),
                 today.toString(Qt::ISODate), today.toString("yyyy/MM/dd"));
    EXPECT_TRUE(f.err.contains("ZadiRod: " + why + "; este arranque termina sin hacer nada"))
        << f.err.toStdString();
    expectLines(journal(journalPath()),
                {startLine("2025-08-11", "2025-08-11"), settingsLine(),
                 "Arranque detenido: " + esc(why), "Fin: estado de salida 2"});
  }
  EXPECT_EQ(stopAndRead().size(), 0);
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}
#endif

#ifndef Q_OS_WIN
// SIGTERM (as timeout or a service manager sends it) and SIGINT (Ctrl+C) end a run at once and
// cleanly, also with the embedded database engine loaded: the run is waiting for a mail server
// that never greets, after its inventory file; it stops there, leaves no half file, journals
// the stop and ends by itself with status 2.
TEST_F(UnattendedTest, SigtermAndSigintEndAnEmbeddedRunAtOnceAndCleanly) {
  const struct {
    const char* name;
    int signal;
  } cases[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  ASSERT_NO_FATAL_FAILURE(makeCompany({.port = QByteArray::number(silent.serverPort())}));
  ASSERT_NO_FATAL_FAILURE(writeSettings({.servidor = company->servidor(FbMode::Embedded)}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(journalPath());
    for (const QString& name : QDir(out()).entryList(QDir::Files | QDir::Hidden))
      QFile::remove(out() + '/' + name);
    Child child;
    launch(child, unattended("2025-08-11", "2025-08-12"), environment());
    ASSERT_TRUE(silent.waitForNewConnection(60'000)) << "the run never reached the mail";
    ASSERT_EQ(::kill(pid_t(child.pid()), c.signal), 0);
    QElapsedTimer timer;
    timer.start();
    const Finished f = finish(child, 30'000);
    expectEnded(f, 2);
    std::cout << "[ timing ] ended " << timer.elapsed() << " ms after " << c.name << "\n";
    // The inventory file, whole; nothing else, not even a temporary file.
    EXPECT_EQ(QDir(out()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"inventarios11082025.txt"});
    const QStringList lines = journal(journalPath());
    EXPECT_EQ(lines
                  .filter(QRegularExpression("^Corrida detenida por un error: detenido por la "
                                             "se\u00f1al " +
                                             QString::fromLatin1(c.name) + "$"))
                  .size(),
              1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{QStringLiteral("Detenido por la se\u00f1al %1: el programa termina")
                               .arg(QString::fromLatin1(c.name)),
                           "Fin: estado de salida 2"}))
        << lines.join('\n').toStdString();
    while (silent.hasPendingConnections()) delete silent.nextPendingConnection();
  }
}
#endif

// A second unattended start for the same output folder while another holds it: it ends at
// once with status 3 and touches no file. The holder is first the real program in the middle
// of its run, then a lock taken by the test itself; the file of a lock whose program was killed
// stays, and holds nothing.
TEST_F(UnattendedTest, SecondStartWhileTheFolderIsHeldEndsWithStatusThreeAndTouchesNothing) {
  // A mail server that takes the connection and never greets: the first run waits there,
  // after its inventory file is written, with the folder held.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  ASSERT_NO_FATAL_FAILURE(makeCompany({.port = QByteArray::number(silent.serverPort())}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QString lockPath = RunLock(toCp1252(out()), dir("runtime")).path();
  const QString lockName = QFileInfo(lockPath).fileName();
  ASSERT_EQ(QFileInfo(lockPath).absolutePath(), dir("runtime"));

  // The second start keeps its journal apart from the first's.
  const auto second = [&] {
    QProcessEnvironment env = environment();
    env.insert("XDG_DATA_HOME", dir("data2"));
    QFile::remove(dir("data2") + "/ZadiRod/zadirod.log");
    const QMap<QString, FileState> before = snapshot(out());
    const Finished f = run(unattended("2025-08-11", "2025-08-11"), env);
    expectEnded(f, 3);
    EXPECT_LT(f.ms, kPromptMs);
    EXPECT_EQ(snapshot(out()), before) << "the output folder changed";
    EXPECT_TRUE(f.err.contains("otra corrida desatendida usa la carpeta " + out()))
        << f.err.toStdString();
    expectLines(journal(dir("data2") + "/ZadiRod/zadirod.log"),
                {startLine("2025-08-11", "2025-08-11"), settingsLine(),
                 QStringLiteral("Otra corrida desatendida est\u00e1 en curso \\(%1\\): este "
                                "arranque no hace nada")
                     .arg(esc(lockPath)),
                 "Fin: estado de salida 3"});
  };

  const auto heldByARunningProgram = [&] {
    SCOPED_TRACE("held by a running ZadiRod");
    Child first;
    launch(first, unattended("2025-08-11", "2025-08-11"), environment());
    ASSERT_TRUE(silent.waitForNewConnection(60'000)) << "the first run never reached the mail";
    EXPECT_EQ(files(), QStringList{"inventarios11082025.txt"});
    EXPECT_TRUE(QFile::exists(lockPath)) << "no lock at " << lockPath.toStdString();
    EXPECT_EQ(QDir(dir("runtime")).entryList({"zadirod-*.lock"}, QDir::Files),
              QStringList{lockName});
    second();
    EXPECT_TRUE(first.running()) << "the first run ended while the second started";
    first.kill();
  };
  const auto leftBehindByAKilledRun = [&] {
    SCOPED_TRACE("left behind by a killed run");
    // A scheduler that stops a task kills it: the lock file stays, but its process is gone
    // and with it the lock, so the next night's start is not turned away. Its mails find no
    // server.
    EXPECT_TRUE(QFile::exists(lockPath));
    silent.close();
    QFile::remove(journalPath());
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, 1);
    EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
    const QStringList lines = journal(journalPath());
    EXPECT_EQ(lines.filter("Otra corrida").size(), 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^Archivo escrito: ")).size(), 2)
        << lines.join('\n').toStdString();
    // The first mail finds no server; the second is not attempted.
    EXPECT_EQ(lines.filter(QRegularExpression("^Correo NO enviado \\(error\\): ")).size(), 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^Correo NO enviado \\(no intentado\\): ")).size(), 1)
        << lines.join('\n').toStdString();
  };
  const auto heldByTheTest = [&] {
    SCOPED_TRACE("held by the test");
    // A clean folder with a report from an earlier night, and the lock of a live process.
    for (const QString& name : files()) QFile::remove(out() + '/' + name);
    QFile::remove(lockPath);
    {
      QFile old(out() + "/inventarios11082025.txt");
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write("INV|anterior\r\n");
      ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                  QFileDevice::FileModificationTime));
    }
    RunLock held(toCp1252(out()), dir("runtime"));
    ASSERT_EQ(held.tryLock(), RunLock::State::Taken) << held.error().toStdString();
    second();
    EXPECT_TRUE(QFile::exists(lockPath)) << "the second start took the lock away";
    // Still held: another taker is turned away.
    EXPECT_EQ(RunLock(toCp1252(out()), dir("runtime")).tryLock(), RunLock::State::HeldElsewhere);
  };
  const auto anotherFolderHeld = [&] {
    SCOPED_TRACE("another folder held");
    // The lock is the folder's, not the machine's: a run for another folder holds nothing
    // here. Its mails find no server.
    RunLock other(toCp1252(dir("otra-salida")), dir("runtime"));
    ASSERT_EQ(other.tryLock(), RunLock::State::Taken) << other.error().toStdString();
    ASSERT_NE(other.path(), lockPath);
    QFile::remove(journalPath());
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, 1);
    EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
    EXPECT_EQ(journal(journalPath()).filter("Otra corrida").size(), 0);
  };

  ASSERT_NO_FATAL_FAILURE(heldByARunningProgram());
  ASSERT_NO_FATAL_FAILURE(leftBehindByAKilledRun());
  ASSERT_NO_FATAL_FAILURE(heldByTheTest());
  ASSERT_NO_FATAL_FAILURE(anotherFolderHeld());
}

// What a lock file holds is never read: a file left by a crash, an empty one, garbage written
// by someone, or another program's lock text naming a live process turn no start away.
TEST_F(UnattendedTest, LeftoverLockFilesNeverTurnAStartAway) {
  const struct {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"empty", ""},
      {"garbage", QByteArray("\x00\xff\x1b[2J basura\n", 14).repeated(100)},
      {"another program's lock of a live process",
       QByteArray::number(QCoreApplication::applicationPid()) + "\nZadiRod\nlocalhost\n"},
  };
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QString lockPath = RunLock(toCp1252(out()), dir("runtime")).path();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const QString& name : files()) QFile::remove(out() + '/' + name);
    QFile::remove(journalPath());
    {
      QFile left(lockPath);
      ASSERT_TRUE(left.open(QIODevice::WriteOnly | QIODevice::Truncate));
      ASSERT_EQ(left.write(c.bytes), c.bytes.size());
    }
    const Finished f = run(unattended("2025-08-11", "2025-08-11"));
    expectEnded(f, 0);
    EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
    EXPECT_EQ(journal(journalPath()).filter("Otra corrida").size(), 0);
  }
  EXPECT_EQ(stopAndRead().size(), 2 * int(std::size(cases)));
}

#ifndef Q_OS_WIN  // XDG folders, POSIX permissions, LC_ALL: Linux only
// Where the lock lives: the user's runtime folder, or the application's data folder made for
// the user alone. A folder that cannot be made, or one that other users may write, stops the
// start before it connects, with status 2 and the reason on stderr and in the journal.
TEST_F(UnattendedTest, TheLockFolderIsTheUsersOwnOrTheStartStopsWithStatusTwo) {
  temp.write("un-archivo", "no es una carpeta\n");
  ASSERT_TRUE(QDir().mkpath(dir("compartida")));
  ASSERT_TRUE(QFile::setPermissions(dir("compartida"), QFileDevice::Permissions(0x7777)));
  const struct {
    const char* what;
    const char* runtime;  // XDG_RUNTIME_DIR below the test's folder; none: not set
    const char* data;     // XDG_DATA_HOME below the test's folder
    const char* lockFolder;
    int status;
    const char* said;  // why the lock could not be taken
  } cases[] = {
      {"the runtime folder", "runtime", "data", "runtime", 0, nullptr},
      {"no runtime folder: the data folder", nullptr, "data", "data/ZadiRod", 0, nullptr},
      {"a runtime folder that is not there is made", "no-existe", "data", "no-existe", 0, nullptr},
      {"a data folder that cannot be made", nullptr, "un-archivo/datos", "un-archivo/datos/ZadiRod",
       2, "no se puede crear la carpeta %1: Not a directory"},
      {"a runtime folder others may write", "compartida", "data", "compartida", 2,
       "la carpeta %1 no es solo de este usuario (otros pueden escribir en ella)"},
  };
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QString journalFile = dir("corrida.log");
  int mails = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const QString& name : files()) QFile::remove(out() + '/' + name);
    QFile::remove(journalFile);
    QDir(dir("data")).removeRecursively();
    QProcessEnvironment env = environment();
    env.remove("XDG_RUNTIME_DIR");
    if (c.runtime) env.insert("XDG_RUNTIME_DIR", dir(QString::fromLatin1(c.runtime)));
    env.insert("XDG_DATA_HOME", dir(QString::fromLatin1(c.data)));
    const QString folder = dir(QString::fromLatin1(c.lockFolder));
    const QString lockPath = RunLock(toCp1252(out()), folder).path();

    const Finished f =
        run(unattended("2025-08-11", "2025-08-11") + QStringList{"--registro", journalFile}, env);
    expectEnded(f, c.status);
    const QStringList lines = journal(journalFile);
    if (c.status == 0) {
      mails += 2;
      EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
      EXPECT_TRUE(QFileInfo(lockPath).isFile()) << lockPath.toStdString();
      // A folder the program made is its user's alone.
      if (QByteArray(c.lockFolder) != "runtime") {
        EXPECT_EQ(QFileInfo(folder).permissions() & QFileDevice::Permissions(0x0077),
                  QFileDevice::Permissions())
            << "others may enter " << folder.toStdString();
      }
    } else {
      EXPECT_LT(f.ms, kPromptMs);
      EXPECT_EQ(files(), QStringList{});
      const QString said = QString::fromLatin1(c.said).arg(folder);
      const QString why =
          QStringLiteral("no se puede tomar el bloqueo de las corridas desatendidas (%1): %2")
              .arg(lockPath, said);
      EXPECT_TRUE(f.err.contains("ZadiRod: " + why + "; este arranque termina sin hacer nada"))
          << f.err.toStdString();
      expectLines(lines, {startLine("2025-08-11", "2025-08-11"), settingsLine(),
                          "Arranque detenido: " + esc(why), "Fin: estado de salida 2"});
    }
  }
  EXPECT_EQ(stopAndRead().size(), mails);
}
#endif

// A journal named on the command line: written there, or, where it cannot be written, the run
// goes on and says so once on stderr. As root any folder is writable, so a folder that cannot
// be written is a path whose parent is a regular file.
struct JournalPathCase {
  const char* what;
  const char* path;  // below the test's folder; none: the default journal
  bool writable;
  friend void PrintTo(const JournalPathCase& c, std::ostream* os) { *os << c.what; }
};

class JournalPathTest : public UnattendedTest,
                        public ::testing::WithParamInterface<JournalPathCase> {};

TEST_P(JournalPathTest, TheRunGoesOnWhereverTheJournalIsNamed) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  temp.write("un-archivo", "no es una carpeta\n");
  ASSERT_TRUE(QDir().mkpath(dir("una-carpeta")));
  QStringList arguments = unattended("2025-08-11", "2025-08-11");
  QProcessEnvironment env = environment();
  QString path;
  if (GetParam().path) {
    path = dir(QString::fromLatin1(GetParam().path));
    arguments += {"--registro", path};
  } else {
    // No --registro: the application's data folder is where a file stands.
    env.insert("XDG_DATA_HOME", dir("un-archivo/datos"));
    path = dir("un-archivo/datos/ZadiRod/zadirod.log");
  }

  const Finished f = run(arguments, env);
  expectEnded(f, 0);
  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  EXPECT_EQ(stopAndRead().size(), 2);
  EXPECT_FALSE(QFile::exists(journalPath())) << "--registro names the journal";
  if (GetParam().writable) {
    const QStringList lines = journal(path);
    EXPECT_EQ(lines.size(), 10) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.value(lines.size() - 1), "Fin: estado de salida 0");
    EXPECT_FALSE(f.err.contains("registro")) << f.err.toStdString();
  } else {
    EXPECT_FALSE(QFileInfo(path).isFile());
    EXPECT_EQ(f.err.count("no se puede escribir el registro"), 1) << f.err.toStdString();
    EXPECT_TRUE(f.err.contains(path)) << f.err.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JournalPathTest,
    ::testing::Values(JournalPathCase{"Writable", "corrida.log", true},
                      JournalPathCase{"MissingFolder", "no-existe/corrida.log", false},
                      JournalPathCase{"ParentIsAFile", "un-archivo/corrida.log", false},
                      JournalPathCase{"IsAFolder", "una-carpeta", false},
                      JournalPathCase{"DefaultUnderAFile", nullptr, false}),
    [](const auto& info) { return std::string(info.param.what); });

// Strict TLS asked for on the command line: a server that cannot prove who it is never hears
// the account (the files are still written, the run ends with status 1); given the server's
// own certificate, the mails go and the journal says the certificate was verified. Without
// the option the default TLS stays: encrypted, the certificate unchecked, and the journal says
// so too.
struct StrictStart {
  const char* name;
  QStringList serverOptions;
  QByteArray tlsSwitch;
  QStringList arguments;  // {cert} stands for the server's certificate
  int status;
  // The journal's text after each mail's file (a pattern), or the connection when it went.
  QString failure;
  QString connection = {};
};
void PrintTo(const StrictStart& c, std::ostream* os) {
  *os << c.name;
}

class StrictTlsTest : public UnattendedTest, public ::testing::WithParamInterface<StrictStart> {};

TEST_P(StrictTlsTest, TheAccountGoesOnlyToAVerifiedServer) {
  const StrictStart& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(startServer(c.serverOptions));
  ASSERT_NO_FATAL_FAILURE(makeCompany({.tls = c.tlsSwitch}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QString certificate = server->folder() + "/cert.pem";
  QStringList arguments = unattended("2025-08-11", "2025-08-11");
  for (const QString& a : c.arguments) arguments += QString(a).replace("{cert}", certificate);
  expectEnded(run(arguments), c.status);

  EXPECT_EQ(files(), (QStringList{"inventarios11082025.txt", "ventas11082025.txt"}));
  const QList<ReceivedMail> mails = stopAndRead();
  QStringList expected{startLine("2025-08-11", "2025-08-11"), settingsLine(), connectionLine(),
                       "Corrida: desde el 2025-08-11"};
  for (const char* kind : {"inventarios", "ventas"}) {
    const QString name = QString::fromLatin1(kind) + "11082025.txt";
    const QStringList lines = fileLines(kind, "2025-08-11", name, c.connection);
    expected += lines[0];
    if (c.failure.isEmpty()) {
      expected += lines[1];
    } else {
      expected += QStringLiteral("Correo NO enviado \\(error\\): %1 del 2025-08-11 \\(%2\\): %3")
                      .arg(kind, esc(out() + '/' + name), c.failure);
    }
  }
  expected += c.failure.isEmpty()
                  ? QStringList{"Corrida terminada: el \u00faltimo correo intentado sali\u00f3",
                                "Fin: estado de salida 0"}
                  : QStringList{
                        "Corrida terminada: el \u00faltimo correo intentado no "
                        "sali\u00f3 \\(o no hubo correo\\)",
                        "Fin: estado de salida 1"};
  expectLines(journal(journalPath()), expected);

  EXPECT_EQ(mails.size(), c.failure.isEmpty() ? 2 : 0);
  for (int session : {1, 2}) {
    const QStringList log = server->sessionLog(session);
    SCOPED_TRACE(log.join(" | ").toStdString());
    EXPECT_FALSE(log.isEmpty());
    EXPECT_EQ(log.filter(QRegularExpression("^(AUTH|MAIL)")).isEmpty(), !c.failure.isEmpty());
  }
}

const QString kFingerprint = QStringLiteral("\\(huella SHA-256 ([0-9A-F]{2}:){31}[0-9A-F]{2}\\)");

INSTANTIATE_TEST_SUITE_P(
    Cases, StrictTlsTest,
    ::testing::Values(
        StrictStart{"SelfSignedRefused",
                    {"--make-cert"},
                    "SI",
                    {"--tls-estricto"},
                    1,
                    "TLS estricto: el certificado del servidor 127\\.0\\.0\\.1 no se pudo "
                    "verificar: el certificado es autofirmado y no est\u00e1 entre los de "
                    "confianza " +
                        kFingerprint + "\\. No se envi\u00f3 el usuario ni el correo\\."},
        StrictStart{"NoStartTlsRefused",
                    {},
                    "NO",
                    {"--tls-estricto"},
                    1,
                    "TLS estricto: el servidor 127\\.0\\.0\\.1 no ofrece STARTTLS\\. No se "
                    "envi\u00f3 el usuario ni el correo\\."},
        StrictStart{"OwnCertificateTrusted",
                    {"--make-cert"},
                    "SI",
                    {"--certificados", "{cert}"},
                    0,
                    {},
                    "TLS 1\\.[23], certificado verificado"},
        StrictStart{"DefaultLeavesTheCertificateUnchecked",
                    {"--make-cert"},
                    "SI",
                    {},
                    0,
                    {},
                    "TLS 1\\.2, certificado sin verificar"}),
    [](const auto& info) { return std::string(info.param.name); });

// Command lines that are refused before anything connects, and --help and --version. Nothing
// here gets as far as a connection, so one company, server and folder serve all cases.
TEST_F(UnattendedTest, CommandLinesAreRefusedWithAClearMessageAndNeverCrash) {
  struct Case {
    QStringList arguments;
    int status;
    QString said;  // on stderr for a refused line, on stdout otherwise
  } cases[] = {
      {{"--desatendido", "--desde="}, 2, "Fecha no v\u00e1lida en --desde: \u00ab\u00bb"},
      {{"--desatendido", "--hasta", ""}, 2, "Fecha no v\u00e1lida en --hasta: \u00ab\u00bb"},
      {{"--desatendido", "--desde"}, 2, "L\u00ednea de \u00f3rdenes no v\u00e1lida"},
      {{"--desatendido", "--registro="}, 2, "--registro necesita el nombre de un archivo"},
      {{"--desatendido", "--desde", "ma\u00f1ana"}, 2, "Fecha no v\u00e1lida en --desde"},
      {{"--desatendido", "--desde", "2025-8-11"}, 2, "Fecha no v\u00e1lida en --desde"},
      {{"--desatendido", "--hasta", "11/08/2025"}, 2, "Fecha no v\u00e1lida en --hasta"},
      {{"--desatendido", "--hasta", "2025-13-01"}, 2, "Fecha no v\u00e1lida en --hasta"},
      {{"--desatendido", "--desde", "2025-08-11T00:00"}, 2, "Fecha no v\u00e1lida en --desde"},
      {{"--desatendido", "--desde", "2025-02-29", "--hasta", "2025-03-01"},
       2,
       "Fecha no v\u00e1lida en --desde: \u00ab2025-02-29\u00bb"},
      {{"--desatendido", "--desde", "2025-08-12", "--hasta", "2025-08-11"},
       2,
       "Rango invertido: --desde 2025-08-12 es posterior a --hasta 2025-08-11"},
      {{"--desatendido", "--desde", "2000-01-01", "--hasta", "2027-05-18"},
       2,
       "Rango demasiado largo: 10000 d\u00edas; el m\u00e1ximo es 366"},
      {{"--desatendido", "--desde", "2024-01-01", "--hasta", "2025-01-01"},
       2,
       "Rango demasiado largo: 367 d\u00edas; el m\u00e1ximo es 366"},
      {{"--desatendido", "--nocturno"}, 2, "Opci\u00f3n desconocida: --nocturno"},
      {{"--desde", "2025-08-11"}, 2, "--desde y --hasta solo valen con --desatendido"},
      {{"--desatendido", "hoy"}, 2, "Argumento no reconocido: \u00abhoy\u00bb"},
      {{"--help"}, 0, "--desatendido"},
      {{"--version"}, 0, "ZadiRod "},
      {{"--desatendido", "--certificados", dir("home") + "/no-existe.pem"},
       2,
       "--certificados: no existe el archivo " + dir("home") + "/no-existe.pem"},
      {{"--desatendido", "--certificados", dir("home")},
       2,
       "--certificados: no se puede leer " + dir("home") + ": no es un archivo"},
      {{"--desatendido", "--certificados", dir("home") + "/texto.pem"},
       2,
       "--certificados: " + dir("home") + "/texto.pem no contiene ning\u00fan certificado PEM"},
      {{"--desatendido", "--certificados="}, 2, "--certificados necesita el nombre de un archivo"},
      {{"--probar", "--desde", "2025-08-11"}, 2, "--probar no admite --desde ni --hasta"},
      {{"--probar", "--hasta", "2025-08-11"}, 2, "--probar no admite --desde ni --hasta"},
      {{"--probar", "--desatendido"}, 2, "--probar y --desatendido no van juntos"},
  };
  temp.write("home/texto.pem", "-----BEGIN TEXT-----\nhola\n-----END TEXT-----\n");
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Finished f = run(c.arguments, std::nullopt, 60'000);
    expectEnded(f, c.status);
    EXPECT_LT(f.ms, kPromptMs);
    if (c.status != 0) {
      EXPECT_TRUE(f.err.contains("ZadiRod: " + c.said)) << f.err.toStdString();
      EXPECT_TRUE(f.err.contains("ZadiRod --help")) << f.err.toStdString();
    } else {
      EXPECT_TRUE(f.out.contains(c.said)) << f.out.toStdString();
    }
  }
  EXPECT_EQ(files(), QStringList{});
  EXPECT_TRUE(QDir(dir("data")).isEmpty()) << "a journal was written";
  EXPECT_EQ(stopAndRead().size(), 0);
  EXPECT_TRUE(server->sessionLog(1).isEmpty());
}

// Without arguments the program is the one it always was: line 9 "1" runs today's reports by
// itself and ends after the last mail, and no journal is written anywhere.
TEST_F(UnattendedTest, WithoutArgumentsAutomaticModeRunsTodayAndWritesNoJournal) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings({.automatico = "1"}));
  QProcessEnvironment env = environment();
  env.insert("QT_QPA_PLATFORM", "offscreen");  // no fallback without --desatendido
  // "Today" as the child will see it; a run across midnight is checked against both days.
  const QDate before = childToday();
  const Finished f = run({}, env);
  const QDate after = childToday();
  expectEnded(f, 0);

  const QStringList written = files();
  ASSERT_EQ(written.size(), 2) << written.join(' ').toStdString();
  const QDate day =
      written[0] == "inventarios" + before.toString("ddMMyyyy") + ".txt" ? before : after;
  const QString suffix = day.toString("ddMMyyyy");
  EXPECT_EQ(written, (QStringList{"inventarios" + suffix + ".txt", "ventas" + suffix + ".txt"}));
  const QList<ReceivedMail> mails = stopAndRead();
  ASSERT_EQ(mails.size(), 2);
  const QByteArray dateText = day.toString("yyyy/MM/dd").toLatin1();
  test::expectReportMail(mails[0], true, dateText, kCompany, kSender, kTo, written[0],
                         test::readFile(out() + '/' + written[0]));
  test::expectReportMail(mails[1], false, dateText, kCompany, kSender, kTo, written[1],
                         test::readFile(out() + '/' + written[1]));

  EXPECT_TRUE(QDir(dir("data")).isEmpty()) << "something was written to XDG_DATA_HOME";
  QStringList traces;
  for (QDirIterator it(temp.path(), {"*.log", "*.log.1", "zadirod*"}, QDir::Files,
                       QDirIterator::Subdirectories);
       it.hasNext();)
    traces.append(it.next());
  EXPECT_EQ(traces, QStringList{}) << "a journal or lock was left";
}

// --registro alone asks for a journal of a start that is otherwise the usual one: automatic
// mode from line 9, today's reports, the end after the last mail, and no lock taken.
TEST_F(UnattendedTest, JournalOfAnAutomaticStartWithoutDesatendido) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings({.automatico = "1"}));
  QProcessEnvironment env = environment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  const QString path = dir("corrida.log");
  expectEnded(run({"--registro", path}, env), 0);
  EXPECT_EQ(files().size(), 2);
  EXPECT_EQ(stopAndRead().size(), 2);
  EXPECT_TRUE(QDir(dir("data")).isEmpty()) << "--registro names the journal";
  EXPECT_EQ(QDir(dir("tmp")).entryList({"zadirod-*"}, QDir::Files), QStringList{});
  EXPECT_EQ(QDir(dir("runtime")).entryList({"zadirod-*"}, QDir::Files), QStringList{});
  const QStringList lines = journal(path);
  ASSERT_EQ(lines.size(), 10) << lines.join('\n').toStdString();
  EXPECT_TRUE(QRegularExpression("^Inicio: ZadiRod [0-9.]+$").match(lines[0]).hasMatch())
      << lines[0].toStdString();
  EXPECT_EQ(lines[1], QStringLiteral("Configuraci\u00f3n: %1, modo autom\u00e1tico")
                          .arg(dir("erp") + "/settingsenvio.conf"));
  EXPECT_EQ(lines[9], "Fin: estado de salida 0");
}

}  // namespace
}  // namespace zavelo

namespace zavelo {
namespace {

// --probar: the checklist of the whole chain, judged from outside. It writes no report, sends
// no mail, shows no box and takes no lock; its lines say OK or FALLA with the reason.
class CheckTest : public UnattendedTest {
 protected:
  // The checklist's step lines (header and result left out), by step name.
  static QMap<QString, QString> steps(const Finished& f) {
    QMap<QString, QString> byStep;
    static const QRegularExpression form(QStringLiteral("^(OK|FALLA) +([^:]+): (.*)$"));
    for (const QString& line : f.out.split('\n', Qt::SkipEmptyParts)) {
      const QRegularExpressionMatch m = form.match(line);
      if (m.hasMatch()) byStep.insert(m.captured(2), m.captured(1) + ' ' + m.captured(3));
    }
    return byStep;
  }
  // Runs the check; nothing may change in the output folder, no journal appears unless asked
  // for, and no lock is taken.
  Finished check(const QStringList& extra = {}) {
    const QMap<QString, FileState> before = snapshot(out());
    const Finished f = run(QStringList{"--probar"} + extra, std::nullopt, kRunLimitMs);
    EXPECT_EQ(snapshot(out()), before) << "the output folder changed";
    EXPECT_TRUE(QDir(dir("tmp")).isEmpty()) << "something was left in the temporary folder";
    EXPECT_TRUE(QDir(dir("runtime")).isEmpty()) << "a lock was taken";
    EXPECT_TRUE(QDir(dir("data")).isEmpty()) << "a journal was written";
    EXPECT_TRUE(f.out.startsWith("ZadiRod ")) << f.out.toStdString();
    EXPECT_FALSE(f.out.contains(QString::fromLatin1(kMailPass)));
    EXPECT_FALSE(f.out.contains(QString::fromLatin1(settingsPassword)));
    return f;
  }
  void expectStep(const QMap<QString, QString>& got, const QString& step,
                  const QString& pattern) const {
    EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                    .match(got.value(step))
                    .hasMatch())
        << step.toStdString() << ": " << got.value(step).toStdString() << "\nexpected "
        << pattern.toStdString();
  }
  QStringList serverLog() {
    server->stop();
    return server->sessionLog(1);
  }
};

const QStringList kAllSteps{"Carpeta del ERP",
                            "Archivo de configuraci\u00f3n",
                            "Carpeta de salida",
                            "Destinatarios",
                            "Formato de fecha",
                            "Biblioteca cliente de Firebird",
                            "Base de datos",
                            "Configuraci\u00f3n de correo",
                            "Cuenta de correo",
                            "Procedimientos",
                            "Servidor de correo",
                            "Saludo del servidor",
                            "EHLO",
                            "STARTTLS",
                            "AUTH LOGIN",
                            "QUIT"};
const QStringList kMailSteps = kAllSteps.mid(10);
// The step names in the order of a map's keys.
QStringList sortedSteps() {
  QStringList sorted = kAllSteps;
  sorted.sort(Qt::CaseSensitive);
  return sorted;
}

TEST_F(CheckTest, EverythingRightIsAllOkAndTheServerHearsNoMail) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QString journalFile = dir("home") + "/probar.log";
  const Finished f = check({"--registro", journalFile});
  expectEnded(f, 0);
  const QMap<QString, QString> got = steps(f);
  EXPECT_EQ(got.keys(), sortedSteps()) << f.out.toStdString();
  for (const QString& step : kAllSteps)
    EXPECT_TRUE(got.value(step).startsWith("OK "))
        << step.toStdString() << ": " << got.value(step).toStdString();
  expectStep(got, "Carpeta de salida",
             "OK " + esc(out()) + ": se cre\u00f3 y se borr\u00f3 un archivo de prueba");
  expectStep(got, "Destinatarios",
             "OK ana@cliente\\.example, luis@cliente\\.example; copia a copias@halvori\\.example");
  expectStep(got, "Formato de fecha", "OK hoy es \\d{4}/\\d{2}/\\d{2}: .*");
  expectStep(got, "Biblioteca cliente de Firebird", "OK /.*libfbclient.*, versi\u00f3n 3\\.0.*");
  expectStep(got, "Base de datos",
             "OK " + esc(QFile::decodeName(company->databaseString(FbMode::Server))) +
                 ", usuario " + esc(QString::fromLatin1(test::fbTestLogin().user)) + ": conectado");
  expectStep(
      got, "Cuenta de correo",
      ".*remitente \u00abreportes@acme\\.example\u00bb, servidor \u00ab127\\.0\\.0\\.1\u00bb, "
      "usuario \u00abreportes\u00bb.*");
  expectStep(got, "STARTTLS", "OK no se pide .*sin cifrar");
  expectStep(got, "AUTH LOGIN", "OK aceptado: 235 .*");
  expectStep(got, "QUIT", "OK 221 .*");
  EXPECT_TRUE(f.out.contains("Resultado: todo en orden"));
  // The journal holds the same checklist, each line stamped.
  const QStringList lines = journal(journalFile);
  const QStringList printed = f.out.split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(lines, printed);

  const QString ehlo = "EHLO ";
  const QStringList log = serverLog();
  ASSERT_EQ(log.size(), 3) << log.join(" | ").toStdString();
  EXPECT_TRUE(log[0].startsWith(ehlo));
  EXPECT_EQ(log[1], "AUTH LOGIN");
  EXPECT_EQ(log[2], "QUIT");
  EXPECT_EQ(server->sessionLog(2), QStringList{}) << "a second connection";
}

TEST_F(CheckTest, AWrongMailPasswordFailsTheAuthStepWithTheServersRefusal) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany({.mailPass = "otra-clave"}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const Finished f = check();
  expectEnded(f, 2);
  const QMap<QString, QString> got = steps(f);
  expectStep(got, "AUTH LOGIN", "FALLA rechazado: Authentication credentials invalid");
  expectStep(got, "QUIT", "OK 221 .*");
  EXPECT_TRUE(f.out.contains("Resultado: hay pasos con FALLA"));
  const QStringList log = serverLog();
  EXPECT_TRUE(log.filter(QRegularExpression("^(MAIL|RCPT|DATA)")).isEmpty())
      << log.join(" | ").toStdString();
}

TEST_F(CheckTest, AnUnreachableDatabaseSkipsTheMailSteps) {
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    closedPort = probe.serverPort();
  }
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  ASSERT_NO_FATAL_FAILURE(
      writeSettings({.servidor = "127.0.0.1/" + QByteArray::number(closedPort) + ":/nada"}));
  const Finished f = check();
  expectEnded(f, 2);
  const QMap<QString, QString> got = steps(f);
  EXPECT_EQ(got.keys(), sortedSteps());
  for (const QString& step : kAllSteps.mid(0, 6)) EXPECT_TRUE(got.value(step).startsWith("OK "));
  expectStep(got, "Base de datos",
             "FALLA 127\\.0\\.0\\.1/\\d+:/nada/datos/01/halvori\\.fdb, usuario .*: .*Unable to "
             "complete network request.*");
  for (const QString& step : kAllSteps.mid(7, 3))
    expectStep(got, step, "FALLA no se comprob\u00f3: sin conexi\u00f3n a la base de datos");
  for (const QString& step : kMailSteps)
    expectStep(got, step, "FALLA no se comprob\u00f3: sin los datos de la base de datos");
  EXPECT_EQ(serverLog(), QStringList{});
}

// The TLS switch "SI" against a server with a self-signed certificate: shown with its subject
// and fingerprint and "no verificado", which is fine by default; strict, it is a failure and
// the password is never sent; trusting that certificate makes it verified.
TEST_F(CheckTest, SelfSignedCertificateIsShownAndOnlyStrictModeFailsIt) {
  ASSERT_NO_FATAL_FAILURE(startServer({"--make-cert"}));
  ASSERT_NO_FATAL_FAILURE(makeCompany({.tls = "SI"}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const QList<QSslCertificate> certificate =
      QSslCertificate::fromPath(server->folder() + "/cert.pem", QSsl::Pem);
  ASSERT_EQ(certificate.size(), 1);
  const QString fingerprint =
      QString::fromLatin1(certificate[0].digest(QCryptographicHash::Sha256).toHex(':').toUpper());
  const QString shown =
      "sujeto \u00ablocalhost\u00bb, emisor \u00ablocalhost\u00bb, v\u00e1lido "
      "hasta [0-9T:-]+Z, huella SHA-256 " +
      fingerprint;

  const struct {
    const char* name;
    QStringList arguments;
    int status;
    QString startTls;
    QString auth;
  } cases[] = {
      {"default",
       {},
       0,
       "OK TLS 1\\.2; certificado: " + shown +
           "; no verificado: el certificado es autofirmado y no est\u00e1 entre los de "
           "confianza",
       "OK aceptado: 235 .*"},
      {"strict",
       {"--tls-estricto"},
       2,
       "FALLA TLS estricto: el certificado del servidor 127\\.0\\.0\\.1 no se pudo verificar: el "
       "certificado es autofirmado .*" +
           fingerprint + ".* Certificado: " + shown,
       "FALLA no se comprob\u00f3: sin STARTTLS no se manda la contrase\u00f1a"},
      {"trusted",
       {"--certificados", server->folder() + "/cert.pem"},
       0,
       "OK TLS 1\\.[23]; certificado: " + shown +
           "; verificado contra los certificados de "
           "confianza",
       "OK aceptado: 235 .*"},
  };
  int session = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Finished f = check(c.arguments);
    expectEnded(f, c.status);
    ++session;
    const QMap<QString, QString> got = steps(f);
    expectStep(got, "STARTTLS", c.startTls);
    expectStep(got, "AUTH LOGIN", c.auth);
    const QStringList log = server->sessionLog(session);
    EXPECT_TRUE(log.contains("STARTTLS")) << log.join(" | ").toStdString();
    EXPECT_EQ(log.contains("AUTH LOGIN"), c.status == 0) << log.join(" | ").toStdString();
    EXPECT_TRUE(log.filter(QRegularExpression("^(MAIL|RCPT|DATA)")).isEmpty());
  }
}

// What can be wrong before the database: each case fails its own step, says why, and the
// check goes on with what it can still check.
TEST_F(CheckTest, BadLocalSettingsFailTheirStepWithTheReason) {
  ASSERT_NO_FATAL_FAILURE(startServer());
  ASSERT_NO_FATAL_FAILURE(makeCompany());
  temp.write("home/un-archivo", "x");
  const struct {
    const char* name;
    Settings settings;
    QString step;
    QString pattern;
    bool mailChecked;  // the mail server steps still ran
  } cases[] = {
      {"missing output folder",
       {.directorio = toCp1252(dir("no-existe"))},
       "Carpeta de salida",
       "FALLA " + esc(dir("no-existe")) + " no existe",
       true},
      {"a file in the place of the output folder",
       {.directorio = toCp1252(dir("home") + "/un-archivo")},
       "Carpeta de salida",
       "FALLA " + esc(dir("home") + "/un-archivo") + " no es una carpeta",
       true},
      {"recipients of only separators",
       {.destinatarios = " ;, ; "},
       "Destinatarios",
       "FALLA la l\u00ednea 8 \\(\u00ab ;, ; \u00bb\\) no da ninguna direcci\u00f3n: los reportes "
       "ir\u00edan solo a la copia, copias@halvori\\.example",
       true},
      {"recipient with a blank inside the address",
       {.destinatarios = "ana@cliente.example, Luis <luis p\xE9rez@cliente.example>"},
       "Destinatarios",
       "FALLA direcci\u00f3n no v\u00e1lida en la l\u00ednea 8: .*luis "
       "p\u00e9rez@cliente\\.example.*",
       true},
      // The reader's limit: the file is read as far as the line that is too long.
      {"a recipients line of 2000 characters",
       {.destinatarios = QByteArray(2000, 'x')},
       "Archivo de configuraci\u00f3n",
       "FALLA " + esc(dir("erp") + "/settingsenvio.conf") +
           ": Range check error en la l\u00ednea 8",
       true},
      {"settings of five lines",
       {.lines = 5},
       "Archivo de configuraci\u00f3n",
       "FALLA " + esc(dir("erp") + "/settingsenvio.conf") + ": solo 5 de las 9 l\u00edneas",
       false},  // without the company code there is no database to read the account from
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(writeSettings(c.settings));
    const Finished f = check();
    expectEnded(f, 2);
    const QMap<QString, QString> got = steps(f);
    EXPECT_EQ(got.keys(), sortedSteps()) << f.out.toStdString();
    expectStep(got, c.step, c.pattern);
    EXPECT_EQ(got.value("AUTH LOGIN").startsWith("OK "), c.mailChecked)
        << got.value("AUTH LOGIN").toStdString();
  }
  const QStringList log = serverLog();
  EXPECT_TRUE(log.filter(QRegularExpression("^(MAIL|RCPT|DATA)")).isEmpty());
}

// A server that greets and hangs up: the greeting is OK, EHLO fails with the reason and the
// later steps say they were not checked.
TEST_F(CheckTest, AServerThatClosesAfterTheGreetingFailsTheEhloStep) {
  // Its own thread, since the test's waits for the program block this one.
  std::promise<quint16> listening;
  std::jthread rude([&listening] {
    QTcpServer listener;
    listening.set_value(listener.listen(QHostAddress::LocalHost) ? listener.serverPort() : 0);
    if (!listener.waitForNewConnection(60'000)) return;
    std::unique_ptr<QTcpSocket> socket(listener.nextPendingConnection());
    socket->write("220 hola y adi\xF3s\r\n");
    socket->waitForBytesWritten(5'000);
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState) socket->waitForDisconnected(5'000);
  });
  const quint16 port = listening.get_future().get();
  ASSERT_NE(port, 0);
  ASSERT_NO_FATAL_FAILURE(makeCompany({.port = QByteArray::number(port)}));
  ASSERT_NO_FATAL_FAILURE(writeSettings());
  const Finished f = check();
  rude.join();
  expectEnded(f, 2);
  const QMap<QString, QString> got = steps(f);
  expectStep(got, "Servidor de correo", "OK 127\\.0\\.0\\.1 puerto \\d+ \\(127\\.0\\.0\\.1\\)");
  expectStep(got, "Saludo del servidor", "OK 220 hola y adi\u00f3s");
  expectStep(got, "EHLO", "FALLA Connection Closed Gracefully\\.");
  for (const QString& step : kMailSteps.mid(3))
    expectStep(got, step, "FALLA no se comprob\u00f3: .*");
}

}  // namespace
}  // namespace zavelo
