// Trimming with each reader's blanks: only the ends, only those bytes.
#include "common/trim.h"

#include <gtest/gtest.h>

#include "support/qt_print.h"

namespace zavelo {
namespace {

TEST(Trim, EachKindOfBlanksAtTheEndsOnly) {
  const struct {
    QByteArray text;
    Blanks blanks;
    QByteArray expected;
  } cases[] = {
      {" \tAUTH LOGIN\t ", Blanks::SpaceAndTab, "AUTH LOGIN"},
      // A line end is no blank to a reply's words.
      {"\r\n x \r\n", Blanks::SpaceAndTab, "\r\n x \r\n"},
      {"\r\n Ana <a@b.c>\t\n", Blanks::SpaceTabAndLineEnd, "Ana <a@b.c>"},
      // Other control characters stay in an address entry: they make it unsendable.
      {"\x01 a@b.c \x7F", Blanks::SpaceTabAndLineEnd, "\x01 a@b.c \x7F"},
      {QByteArray("\x00\x1F localhost:/x \x0B", 17), Blanks::UpToSpace, "localhost:/x"},
      // Bytes beyond ASCII are never blanks (0xA0 is a no-break space in Windows-1252).
      {"\xA0x\xA0", Blanks::UpToSpace, "\xA0x\xA0"},
      {"  inside  blanks  ", Blanks::UpToSpace, "inside  blanks"},
      {" \t ", Blanks::SpaceAndTab, ""},
      {"", Blanks::UpToSpace, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(trimmed(c.text, c.blanks), c.expected) << c.text.toHex().toStdString();
}

}  // namespace
}  // namespace zavelo
