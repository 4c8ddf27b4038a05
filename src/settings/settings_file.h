// Reading settingsenvio.conf from the ERP directory.
#pragma once

#include <QString>

#include "settings/settings_envio.h"

namespace zavelo::settings {

// The settings file of an ERP directory: the directory text as given, the platform's separator
// ("\" on Windows, "/" elsewhere) and "settingsenvio.conf". Nothing is added, removed or
// normalised, so an empty directory gives the file in the root of the current drive.
QString settingsFilePath(const QString& directory);

// What became of the settings file, for whoever tells the story of a start or checks it.
enum class SettingsFileState {
  NotLooked,   // no directory to look in
  Missing,     // no file of that name
  Unreadable,  // there, but it could not be opened or read to its end (or a line was too long)
  Read,
};
struct SettingsFileRead {
  QString path;  // the file looked at
  SettingsFileState state = SettingsFileState::NotLooked;
  bool opened = false;  // it could be opened
  int lines = 0;        // the lines complete when the reading ended
};

// Reads the settings file of the ERP directory into out, which is emptied first.
//
// The file is opened for reading only, never created, and held exclusively while it is read
// (Windows: no sharing; elsewhere: a non-blocking exclusive flock, which bars the processes that
// lock the file the same way). A file that can't be opened, is not a regular file or is held by
// another process leaves every value empty, without a message. Exactly the file's size in bytes
// is read (see SettingsReader for the line rules); a read that fails midway ends the file there.
// A line over 1024 characters closes the file and throws zavelo::Error("Range check error"),
// with the values of the earlier lines kept and the others empty.
//
// Returns the path it looked at; read, when given, says what became of the file, also when an
// error is thrown.
QString cargarsettings(const QString& directory, TSettingsEnvio& out,
                       SettingsFileRead* read = nullptr);

}  // namespace zavelo::settings
