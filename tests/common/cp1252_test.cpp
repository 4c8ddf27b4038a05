#include "common/cp1252.h"

#include <gtest/gtest.h>

namespace zavelo {
namespace {

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  EXPECT_EQ(toCp1252(fromCp1252(all)), all);
}

TEST(Cp1252, HighRangeIsWindowsNotLatin1) {
  EXPECT_EQ(fromCp1252("\x80"), QString(QChar(0x20AC)));
  EXPECT_EQ(fromCp1252("\xE9"), QString(QChar(0xE9)));
  EXPECT_EQ(toCp1252(QString(QChar(0x20AC))), QByteArray("\x80"));
  EXPECT_EQ(toCp1252(u"Compa\u00F1\u00EDa"), QByteArray("Compa\xF1\xED" "a"));
  EXPECT_EQ(toCp1252(QString(QChar(0x4E2D))), QByteArray("?"));
}

}  // namespace
}  // namespace zavelo
