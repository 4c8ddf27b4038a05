// The command line. Without arguments the program is the interactive one; a scheduler starts it
// with --desatendido, optionally over a range of days and with a journal of its own.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

namespace zavelo {

struct StartOptions {
  bool unattended = false;  // --desatendido
  QDate firstDay;           // --desde, or today
  QDate lastDay;            // --hasta, or today
  QString journal;          // --registro, or empty
  bool strictTls = false;   // --tls-estricto (or --certificados)
  QString certificates;     // --certificados: PEM certificates trusted beside the system's
  bool check = false;       // --probar
};

struct CommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  StartOptions options;
  // What to print: the help or version text, or why the command line was refused.
  QString text;
};

// The longest range of days one unattended start may cover.
constexpr int kMaxRangeDays = 366;

// Reads the arguments (the program's name first); today fills in the dates not given.
CommandLine parseCommandLine(const QStringList& arguments, QDate today);

}  // namespace zavelo
