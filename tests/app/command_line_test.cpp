// The command line read as the program reads it: what starts, what is printed, what is refused.
#include "app/command_line.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/qt_print.h"

namespace zavelo {
namespace {

using Action = CommandLine::Action;

const QDate kToday(2026, 12, 10);

CommandLine parse(const QStringList& args) {
  return parseCommandLine(QStringList{QStringLiteral("ZadiRod")} + args, kToday);
}

TEST(CommandLine, WithoutArgumentsTheInteractiveProgram) {
  const CommandLine line = parse({});
  EXPECT_EQ(line.action, Action::Run);
  EXPECT_FALSE(line.options.unattended);
  EXPECT_TRUE(line.options.journal.isEmpty());
}

TEST(CommandLine, StartsThatAreTaken) {
  const struct {
    QStringList args;
    bool unattended;
    QDate first;
    QDate last;
    QString journal;
  } cases[] = {
      {{"--desatendido"}, true, kToday, kToday, {}},
      {{"--desatendido", "--desde", "2026-12-01"}, true, {2026, 12, 1}, kToday, {}},
      {{"--desatendido", "--desde=2026-12-01", "--hasta=2026-12-03"},
       true,
       {2026, 12, 1},
       {2026, 12, 3},
       {}},
      // One day; and the longest range, 366 days of a leap year.
      {{"--desatendido", "--desde", "2024-02-29", "--hasta", "2024-02-29"},
       true,
       {2024, 2, 29},
       {2024, 2, 29},
       {}},
      {{"--desatendido", "--desde", "2024-01-01", "--hasta", "2024-12-31"},
       true,
       {2024, 1, 1},
       {2024, 12, 31},
       {}},
      {{"--registro", "corrida.log"}, false, kToday, kToday, "corrida.log"},
      {{"--desatendido", "--registro", "c:/x/z.log"}, true, kToday, kToday, "c:/x/z.log"},
  };
  for (const auto& c : cases) {
    const CommandLine line = parse(c.args);
    ASSERT_EQ(line.action, Action::Run) << c.args.join(' ') << ": " << line.text.toStdString();
    EXPECT_EQ(line.options.unattended, c.unattended) << c.args.join(' ');
    EXPECT_EQ(line.options.firstDay, c.first) << c.args.join(' ');
    EXPECT_EQ(line.options.lastDay, c.last) << c.args.join(' ');
    EXPECT_EQ(line.options.journal, c.journal) << c.args.join(' ');
  }
}

// Every refusal says what was wrong; nothing connects after it.
TEST(CommandLine, RefusedWithAClearMessage) {
  const struct {
    QStringList args;
    const char* says;
  } cases[] = {
      {{"--desatendido", "--desde", ""}, "Fecha no v\u00e1lida en --desde: \u00ab\u00bb"},
      {{"--desatendido", "--desde", "ayer"}, "Fecha no v\u00e1lida en --desde: \u00abayer\u00bb"},
      {{"--desatendido", "--hasta", "2025-02-29"}, "Fecha no v\u00e1lida en --hasta"},
      {{"--desatendido", "--desde", "2025-13-01"}, "Fecha no v\u00e1lida"},
      {{"--desatendido", "--desde", "2025-1-01"}, "Fecha no v\u00e1lida"},
      {{"--desatendido", "--desde", " 2025-01-01"}, "Fecha no v\u00e1lida"},
      {{"--desatendido", "--desde", "2025-01-01T00:00"}, "Fecha no v\u00e1lida"},
      {{"--desatendido", "--desde", "2025-03-02", "--hasta", "2025-03-01"},
       "Rango invertido: --desde 2025-03-02 es posterior a --hasta 2025-03-01"},
      {{"--desatendido", "--desde", "1999-01-01", "--hasta", "2026-05-18"},
       "Rango demasiado largo: 10000 d\u00edas; el m\u00e1ximo es 366"},
      {{"--desatendido", "--desde", "2025-01-01", "--hasta", "2026-01-02"},
       "Rango demasiado largo: 367"},
      {{"--desde", "2025-01-01"}, "--desde y --hasta solo valen con --desatendido"},
      {{"--hasta", "2025-01-01"}, "--desde y --hasta solo valen con --desatendido"},
      {{"--desatendido", "--desde"}, "--desde"},
      {{"--registro="}, "--registro necesita el nombre de un archivo"},
      {{"--otra"}, "Opci\u00f3n desconocida: --otra"},
      {{"-x"}, "Opci\u00f3n desconocida: -x"},
      {{"extra"}, "Argumento no reconocido: \u00abextra\u00bb"},
      {{"--certificados="}, "--certificados necesita el nombre de un archivo"},
      {{"--probar", "--desde", "2025-01-01"}, "--probar no admite --desde ni --hasta"},
      {{"--probar", "--desatendido", "--hasta", "2025-01-01"},
       "--probar no admite --desde ni --hasta"},
      {{"--probar", "--desatendido"}, "--probar y --desatendido no van juntos"},
  };
  for (const auto& c : cases) {
    const CommandLine line = parse(c.args);
    EXPECT_EQ(line.action, Action::Refuse) << c.args.join(' ');
    EXPECT_TRUE(line.text.contains(QString::fromUtf8(c.says)))
        << c.args.join(' ') << ": " << line.text.toStdString();
  }
}

// The TLS options and the check: --certificados implies strict TLS; both combine with a
// scheduled start and with --probar.
TEST(CommandLine, TlsOptionsAndTheCheck) {
  const struct {
    QStringList args;
    bool unattended;
    bool check;
    bool strict;
    QString certificates;
  } cases[] = {
      {{"--desatendido"}, true, false, false, {}},
      {{"--desatendido", "--tls-estricto"}, true, false, true, {}},
      {{"--desatendido", "--certificados", "ca.pem"}, true, false, true, "ca.pem"},
      {{"--probar"}, false, true, false, {}},
      {{"--probar", "--tls-estricto", "--registro", "p.log"}, false, true, true, {}},
      {{"--probar", "--certificados=ca.pem"}, false, true, true, "ca.pem"},
  };
  for (const auto& c : cases) {
    const CommandLine line = parse(c.args);
    ASSERT_EQ(line.action, Action::Run) << c.args.join(' ') << ": " << line.text.toStdString();
    EXPECT_EQ(line.options.unattended, c.unattended) << c.args.join(' ');
    EXPECT_EQ(line.options.check, c.check) << c.args.join(' ');
    EXPECT_EQ(line.options.strictTls, c.strict) << c.args.join(' ');
    EXPECT_EQ(line.options.certificates, c.certificates) << c.args.join(' ');
  }
}

TEST(CommandLine, HelpAndVersionArePrinted) {
  const CommandLine help = parse({"--help"});
  EXPECT_EQ(help.action, Action::Help);
  for (const char* option : {"--desatendido", "--desde", "--hasta", "--registro", "--tls-estricto",
                             "--certificados", "--probar", "--version"})
    EXPECT_TRUE(help.text.contains(QLatin1String(option))) << option;
  EXPECT_EQ(parse({"--version"}).action, Action::Version);
  EXPECT_TRUE(parse({"--version"}).text.startsWith("ZadiRod"));
}

// The help is the program's own text, not the parser's: Spanish titles, each option on a line
// of its own with its value's name and the start of its description, nothing wider than a
// console of 80 columns.
TEST(CommandLine, HelpIsSpanishThroughout) {
  const QString help = parse({"--help"}).text;
  const QStringList lines = help.split(u'\n');
  EXPECT_EQ(lines.first(), "Uso: ZadiRod [opciones]");
  EXPECT_TRUE(lines.contains("Opciones:")) << help.toStdString();
  for (const char* english : {"Usage", "Options:", "Displays", "help on commandline"})
    EXPECT_FALSE(help.contains(QLatin1String(english))) << english;
  for (const QString& line : lines) EXPECT_LE(line.size(), 79) << line.toStdString();
  for (const char* start : {"  --desatendido  ", "  --desde AAAA-MM-DD  ", "  --hasta AAAA-MM-DD  ",
                            "  --registro ARCHIVO  ", "  -h, --help  ", "  -v, --version  "}) {
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) {
      return l.startsWith(QLatin1String(start));
    });
    ASSERT_NE(line, lines.end()) << start;
    EXPECT_NE(line->simplified().size(), QString::fromLatin1(start).simplified().size())
        << "no description: " << start;
  }
  // A description too long for one line goes on below, under its own column.
  const auto first = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
    return l.startsWith(QLatin1String("  --desatendido  "));
  });
  ASSERT_NE(first, lines.end());
  ASSERT_NE(first + 1, lines.end());
  const qsizetype column = first->indexOf(u"Arranque de un programador");
  const QString& next = *(first + 1);
  EXPECT_TRUE(next.startsWith(QString(column, u' ')) && next.size() > column &&
              next.at(column) != u' ')
      << help.toStdString();
}

}  // namespace
}  // namespace zavelo
