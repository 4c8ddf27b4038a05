#include "common/trim.h"

namespace zavelo {

bool isBlank(char c, Blanks blanks) {
  switch (blanks) {
    case Blanks::SpaceAndTab:
      return c == ' ' || c == '\t';
    case Blanks::SpaceTabAndLineEnd:
      return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    case Blanks::UpToSpace:
      return static_cast<unsigned char>(c) <= 0x20;
  }
  return false;
}

QByteArray trimmed(QByteArrayView text, Blanks blanks) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isBlank(text[begin], blanks)) ++begin;
  while (end > begin && isBlank(text[end - 1], blanks)) --end;
  return text.sliced(begin, end - begin).toByteArray();
}

}  // namespace zavelo
