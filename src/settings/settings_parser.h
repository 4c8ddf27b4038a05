// The line reader of settingsenvio.conf, apart from the file so that it can be fed any bytes.
#pragma once

#include <QByteArrayView>
#include <array>

#include "settings/settings_envio.h"

namespace zavelo::settings {

// Turns the file's bytes into the nine values, in pieces of any size as they are read.
//
// A CR or an LF ends a line; after a CR exactly one more byte is swallowed, whatever it is, so
// CR LF and LF both end one line. A line counts only when its end has been read, and its value
// is stored at once (up to its first zero byte) in the record, so an error in a later line
// leaves the earlier values in place. Lines after the ninth are still read, and still limited
// to 1024 characters, but fill nothing. Bytes after the last line end are dropped.
class SettingsReader {
 public:
  static constexpr qsizetype maxLineLength = 1024;

  // Empties the record; the reader fills it as lines complete.
  explicit SettingsReader(TSettingsEnvio& out);

  // Reads the next bytes of the file. The 1025th character of a line throws
  // zavelo::Error("Range check error"); the reader must not be fed again after that.
  void feed(QByteArrayView bytes);
  // The lines read to their end so far, up to the ninth (later ones fill nothing).
  int lines() const { return lineCount_; }

 private:
  void endLine();

  TSettingsEnvio& out_;
  std::array<char, maxLineLength> line_{};
  qsizetype length_ = 0;
  int lineCount_ = 0;
  bool swallowNext_ = false;  // the byte after a CR
};

}  // namespace zavelo::settings
