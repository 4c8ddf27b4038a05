#include "settings/startup_settings.h"

#include "settings/settings_file.h"

namespace zavelo::settings {

QString loadStartupSettings(Notifier& notifier, const RegistryLocation& where, TSettingsEnvio& out,
                            SettingsFileRead* read) {
  out = TSettingsEnvio{};
  const QString directory = diraplicacion(notifier, where);
  if (read) *read = SettingsFileRead{.path = settingsFilePath(directory)};
  return cargarsettings(directory, out, read);
}

}  // namespace zavelo::settings
