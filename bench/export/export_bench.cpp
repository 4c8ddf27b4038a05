// One day's export of a million rows, three ways, through the Firebird server and embedded:
//   program  this program's export path (exportDay: result set fetched whole, then the file
//            written through a temporary that replaces the target), driven without a window;
//   isql     isql-fb writing the same statement's output to a file, what a user would run;
//   minimal  a bare fetch-and-write loop over the Firebird OO API: the physical limit.
// Each way runs in a process of its own, so that its wall time and peak memory (the maximum
// resident set that wait4 reports) are its alone. POSIX only, like the tools it compares.
//
//   export_bench [--rows N] [--reps R]
// Targets: program wall time at most 1.2x minimal and below isql; program peak memory at most
// 2x the size of the file it writes.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/notifier.h"
#include "db/data_module.h"
#include "db/field.h"
#include "db/link.h"
#include "db/result_set.h"
#include "export/daily_export.h"
#include "export/export_file.h"
#include "fixtures/company_db.h"

extern char** environ;

namespace {

using namespace zavelo;

constexpr const char* kDateText = "2025/08/11";

class PrintingNotifier : public Notifier {
 public:
  void errorReport(const QString& title, const QString& text) override { print(title, text); }
  void notice(const QString& title, const QString& text) override { print(title, text); }
  void errorBox(const QString& title, const QString& text) override { print(title, text); }

 private:
  static void print(const QString& title, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
  }
};

// The program's way, in the child process: connect as the selection window does, then one
// inventory export as the generation window makes it.
int runProgramWay(const QStringList& args) {
  // servidor company user password directory brand
  if (args.size() != 6) return 2;
  PrintingNotifier notifier;
  try {
    db::Tfdm dm(notifier);
    dm.conectarbase(args[0].toLocal8Bit(), args[1].toLocal8Bit(), args[2].toLocal8Bit(),
                    args[3].toLocal8Bit());
    db::Link PSku(dm.QSku, true);
    db::ResultSet CSku(PSku);
    db::Field CSkuCADENA(CSku, "CADENA");
    const exporting::DayExport result = exporting::exportDay(
        CSku, CSkuCADENA, exporting::Kind::Inventory, kDateText, args[5].toLocal8Bit(), args[4]);
    if (result.error) {
      std::fprintf(stderr, "%s\n", qPrintable(*result.error));
      return 1;
    }
  } catch (const Error& e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.message()));
    return 1;
  }
  return 0;
}

struct Measure {
  double seconds = 0;
  long maxRssKiB = 0;
  bool ok = false;
};

// Runs a program to its end and measures it: wall time from spawn to reaped, and its peak
// resident set.
Measure measure(const QStringList& command) {
  std::vector<QByteArray> storage;
  for (const QString& a : command) storage.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);

  Measure m;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    return m;
  }
  int status = 0;
  rusage usage{};
  // Bounded: a way that has not ended after ten minutes (a stalled connection, say) is
  // killed and counts as failed.
  const auto deadline = start + std::chrono::minutes(10);
  pid_t ended = 0;
  while ((ended = wait4(pid, &status, WNOHANG, &usage)) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      std::fprintf(stderr, "%s did not end within ten minutes\n", argv[0]);
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      return m;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended != pid) return m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.maxRssKiB = usage.ru_maxrss;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!m.ok) std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
  return m;
}

QByteArray sha256(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(&f);
  return hash.result().toHex().left(16);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (!args.isEmpty() && args[0] == "--program-way") return runProgramWay(args.mid(1));

  int rows = 1000000;
  int reps = 3;
  for (int i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == "--rows") rows = args[i + 1].toInt();
    if (args[i] == "--reps") reps = args[i + 1].toInt();
  }
  const QString self = QCoreApplication::applicationFilePath();
  const QString minimal = QFileInfo(self).absolutePath() + "/export_bench_minimal";
  const QString isql = qEnvironmentVariable("ZAVELO_ISQL", QStringLiteral("isql-fb"));
  const QByteArray brand = "N:" + QByteArray::number(rows);
  // The statement and file name the program itself makes.
  const QByteArray sql = exporting::exportStatement(exporting::Kind::Inventory, kDateText, brand);
  const test::FbLogin login = test::fbTestLogin();

  QTemporaryDir temp(QDir::tempPath() + "/zavelo-bench-XXXXXX");
  std::printf("export of %d rows, %d runs per way (median wall time, largest peak memory)\n\n",
              rows, reps);
  std::printf("%-9s %-8s %9s %10s %10s %9s %9s %9s\n", "mode", "way", "wall s", "peak MiB",
              "file MiB", "vs min", "vs isql", "mem/file");

  bool allOk = true;
  for (const test::FbMode mode : {test::FbMode::Server, test::FbMode::Embedded}) {
    // A database per mode: the server opens its files exclusively.
    test::CompanyDb company(temp.filePath(test::fbModeName(mode)));
    const QString built = company.build();
    if (!built.isEmpty()) {
      std::fprintf(stderr, "cannot build the database: %s\n", qPrintable(built));
      return 1;
    }
    const QString out = temp.filePath(QString(test::fbModeName(mode)) + "-out");
    QDir().mkpath(out);
    const QString programFile =
        out + "/" +
        exporting::exportFileName(exporting::reportKind(exporting::Kind::Inventory).filePrefix,
                                  kDateText);
    const QString minimalFile = out + "/minimal.txt";
    const QString isqlFile = out + "/isql.txt";
    const QString script = out + "/statement.sql";
    {
      QFile f(script);
      if (!f.open(QIODevice::WriteOnly)) return 1;
      f.write("SET HEADING OFF;\n" + sql + ";\n");
    }
    const QString database = QString::fromLocal8Bit(company.databaseString(mode));

    const std::map<QString, QStringList> commands = {
        {"program",
         {self, "--program-way", QString::fromLocal8Bit(company.servidor(mode)),
          QString::fromLocal8Bit(company.company()), QString::fromLocal8Bit(login.user),
          QString::fromLocal8Bit(login.password), out, QString::fromLocal8Bit(brand)}},
        {"isql",
         {isql, "-q", "-user", QString::fromLocal8Bit(login.user), "-password",
          QString::fromLocal8Bit(login.password), "-o", isqlFile, "-i", script, database}},
        {"minimal",
         {minimal, database, QString::fromLocal8Bit(login.user),
          QString::fromLocal8Bit(login.password), QString::fromLocal8Bit(sql), minimalFile}},
    };
    std::map<QString, std::vector<double>> times;
    std::map<QString, long> peak;
    // Interleaved, so that a slow moment of the machine hits every way alike.
    for (int r = 0; r < reps; ++r) {
      for (const QString way : {"minimal", "program", "isql"}) {
        QFile::remove(way == "program" ? programFile : way == "isql" ? isqlFile : minimalFile);
        const Measure m = measure(commands.at(way));
        allOk = allOk && m.ok;
        times[way].push_back(m.seconds);
        peak[way] = std::max(peak[way], m.maxRssKiB);
      }
    }
    const std::map<QString, QString> files = {
        {"program", programFile}, {"isql", isqlFile}, {"minimal", minimalFile}};
    const double tMin = median(times["minimal"]);
    const double tIsql = median(times["isql"]);
    for (const QString way : {"program", "minimal", "isql"}) {
      const double t = median(times[way]);
      const double fileMiB = QFileInfo(files.at(way)).size() / 1048576.0;
      const double peakMiB = peak[way] / 1024.0;
      std::printf("%-9s %-8s %9.2f %10.1f %10.1f %8.2fx %8.2fx %8.2fx\n", test::fbModeName(mode),
                  qPrintable(way), t, peakMiB, fileMiB, t / tMin, t / tIsql, peakMiB / fileMiB);
    }
    const bool same = sha256(programFile) == sha256(minimalFile) && !sha256(programFile).isEmpty();
    std::printf("%-9s program and minimal files identical: %s\n\n", test::fbModeName(mode),
                same ? "yes" : "NO");
    allOk = allOk && same;
  }
  return allOk ? 0 : 1;
}
