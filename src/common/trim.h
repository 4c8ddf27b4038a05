// Trimming 8-bit text: one loop for every layer, with the bytes each reader counts as blank.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace zavelo {

// The bytes a reader strips at either end of a text.
enum class Blanks {
  SpaceAndTab,         // ' ' and '\t': an SMTP reply's words
  SpaceTabAndLineEnd,  // ' ', '\t', '\r', '\n': an address entry, which may hold folded lines
  UpToSpace,           // every byte up to 0x20, the control characters and the blank: a parameter
};

bool isBlank(char c, Blanks blanks);

// The text without the leading and trailing bytes that are blanks of that kind.
QByteArray trimmed(QByteArrayView text, Blanks blanks);

}  // namespace zavelo
