// The nine local settings, one per line of settingsenvio.conf, exactly as the file holds them.
#pragma once

#include <QByteArray>
#include <array>

namespace zavelo::settings {

// Each value is 8-bit Windows-1252 text taken byte for byte from its line: never converted,
// trimmed or checked. A value whose line is absent is empty.
struct TSettingsEnvio {
  QByteArray linea1;         // free text, read by nothing
  QByteArray servidor;       // database server, first part of the database path
  QByteArray directorio;     // output directory of the report files
  QByteArray codusuario;     // ERP user code, also the database user
  QByteArray clave;          // database password
  QByteArray compania;       // company code, names the company database
  QByteArray marca;          // brand code given to the export procedures
  QByteArray destinatarios;  // mail recipients
  QByteArray automatico;     // "1" exactly selects the unattended run

  // Only the one character "1" means automatic mode; "1 ", "01" and "" are all interactive.
  bool automaticMode() const { return automatico == "1"; }

  friend bool operator==(const TSettingsEnvio&, const TSettingsEnvio&) = default;
};

// The fields in line order: line n of the file fills settingsLines[n - 1].
inline constexpr std::array<QByteArray TSettingsEnvio::*, 9> settingsLines = {
    &TSettingsEnvio::linea1,     &TSettingsEnvio::servidor,      &TSettingsEnvio::directorio,
    &TSettingsEnvio::codusuario, &TSettingsEnvio::clave,         &TSettingsEnvio::compania,
    &TSettingsEnvio::marca,      &TSettingsEnvio::destinatarios, &TSettingsEnvio::automatico};

}  // namespace zavelo::settings
