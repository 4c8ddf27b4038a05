// What a run of the daily export needs from the program, as one value: the days, the brand,
// the user whose mail account sends, the branch, the folder and recipients of the settings,
// how the run was started and who hears it. The selection window fills it from its edits and
// settings when the generation window is opened; the generation window reads only this. A test
// builds one without any window.
#pragma once

#include <QByteArray>
#include <QDate>

#include "export/run_event.h"

namespace zavelo::exporting {

struct RunContext {
  QDate firstDay{};
  // Read again before every pass of the run: a run goes on while its day is not past it.
  QDate lastDay{};
  QByteArray brandCode{};      // the brand whose lines are exported, Windows-1252
  QByteArray userCode{};       // the user whose mail account sends the reports, Windows-1252
  QByteArray agencia{};        // the chosen branch's SUCU_ID in decimal; empty until chosen
  QByteArray directorio{};     // the folder the files are written to (settings line 3)
  QByteArray destinatarios{};  // the mails' recipients (settings line 8)
  // The run starts by itself once the generation window is first active.
  bool automaticMode = false;
  // A scheduler's start: the program ends with the run whatever became of the mails, and a
  // mail server found unreachable is not tried again in the same run.
  bool unattended = false;
  // Hears the run's events; may be empty.
  RunListener listener{};
};

}  // namespace zavelo::exporting
