#include "settings/settings_parser.h"

#include <cstring>

#include "common/error.h"

namespace zavelo::settings {

SettingsReader::SettingsReader(TSettingsEnvio& out) : out_(out) {
  out_ = TSettingsEnvio{};
}

void SettingsReader::feed(QByteArrayView bytes) {
  for (const char c : bytes) {
    if (swallowNext_) {
      swallowNext_ = false;
      continue;
    }
    if (c == '\r' || c == '\n') {
      endLine();
      swallowNext_ = c == '\r';
    } else if (length_ == maxLineLength) {
      throw Error(Error::Kind::Settings, QStringLiteral("Range check error"));
    } else {
      line_[length_++] = c;
    }
  }
}

void SettingsReader::endLine() {
  if (lineCount_ < int(settingsLines.size())) {
    const void* nul = std::memchr(line_.data(), 0, size_t(length_));
    const qsizetype valueLength = nul ? static_cast<const char*>(nul) - line_.data() : length_;
    out_.*settingsLines[lineCount_] = QByteArray(line_.data(), valueLength);
    ++lineCount_;
  }
  length_ = 0;
}

}  // namespace zavelo::settings
