// What the program reads at start-up, written for a test: the registry stand-in and the
// settings file it points at.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "settings/registry.h"

namespace zavelo::test {

// Writes the registry stand-in below xdgDir (on Windows a registry key of the test's own in
// the 32-bit view, kept until the program ends), naming erpDir as the ERP folder, and
// erpDir/settingsenvio.conf with the lines, each ended by CR LF; gives the location that
// finds them.
settings::RegistryLocation writeStartupFiles(const QString& xdgDir, const QString& erpDir,
                                             const QList<QByteArray>& lines);

}  // namespace zavelo::test
