// Any bytes as a settings file: the reader must neither crash nor read out of bounds, must give
// the same values however the bytes are split into pieces, and must keep every value within
// one line's 1024 characters and free of line ends and zero bytes.
#include <cstdint>
#include <cstdlib>

#include "common/error.h"
#include "settings/settings_parser.h"

using zavelo::settings::settingsLines;
using zavelo::settings::SettingsReader;
using zavelo::settings::TSettingsEnvio;

namespace {

// The values and whether the range error stopped the reading.
struct Result {
  TSettingsEnvio values;
  bool rangeError = false;
};

Result readInPieces(QByteArrayView bytes, qsizetype piece) {
  Result r;
  try {
    SettingsReader reader(r.values);
    for (qsizetype at = 0; at < bytes.size(); at += piece)
      reader.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
  } catch (const zavelo::Error&) {
    r.rangeError = true;
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const Result whole = readInPieces(bytes, std::max<qsizetype>(bytes.size(), 1));
  // The first byte also picks a piece size, so that splits land everywhere.
  const qsizetype piece = size > 0 ? data[0] % 7 + 1 : 1;
  const Result pieces = readInPieces(bytes, piece);
  if (!(whole.values == pieces.values) || whole.rangeError != pieces.rangeError) std::abort();
  for (const auto field : settingsLines) {
    const QByteArray& value = whole.values.*field;
    if (value.size() > SettingsReader::maxLineLength || value.contains('\r') ||
        value.contains('\n') || value.contains('\0'))
      std::abort();
  }
  return 0;
}
