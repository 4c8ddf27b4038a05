// The settings steps of start-up: the ERP directory, then the settings file in it.
#pragma once

#include <QString>

#include "common/notifier.h"
#include "settings/registry.h"
#include "settings/settings_envio.h"
#include "settings/settings_file.h"

namespace zavelo::settings {

// diraplicacion, then cargarsettings on the directory it gives; out is emptied first. A
// zavelo::Error from either (an invalid Directorio, a line over 1024 characters) goes to the
// caller, which reports it; after an invalid Directorio the file is not read and every value
// stays empty. Returns the path of the settings file it looked at. read, when given, gets that
// path and what became of the file as they become known, so that they are there also when an
// error is thrown.
QString loadStartupSettings(Notifier& notifier, const RegistryLocation& where, TSettingsEnvio& out,
                            SettingsFileRead* read = nullptr);

}  // namespace zavelo::settings
