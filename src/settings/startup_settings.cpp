#include "settings/startup_settings.h"

#include "settings/settings_file.h"

namespace zavelo::settings {

QString loadStartupSettings(Notifier& notifier, const RegistryLocation& where,
                            TSettingsEnvio& out) {
  out = TSettingsEnvio{};
  return cargarsettings(diraplicacion(notifier, where), out);
}

}  // namespace zavelo::settings
