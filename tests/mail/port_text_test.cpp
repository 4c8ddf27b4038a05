// The port text of the configuration: what reads as a port, what is no whole number and what
// lies outside the range of a TCP port.
#include <gtest/gtest.h>

#include <QByteArray>
#include <optional>
#include <string>

#include "mail/port_text.h"
#include "support/error_of.h"
#include "support/qt_print.h"

namespace zavelo::mail {
namespace {

constexpr char kRange[] = "Range check error";

struct Case {
  QByteArray text;
  std::optional<quint16> port;  // nullopt: the error below
  QString error;
};

QString notInteger(const char* text) {
  return QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(text));
}

class PortText : public ::testing::TestWithParam<Case> {};

TEST_P(PortText, ReadsOrRefuses) {
  const Case& c = GetParam();
  if (c.port) {
    EXPECT_EQ(portFromText(c.text), *c.port) << c.text.toStdString();
    return;
  }
  EXPECT_EQ(test::errorOf([&] { portFromText(c.text); }), c.error) << c.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortText,
    ::testing::Values(
        // Decimal, with leading blanks and a sign.
        Case{"25", 25, {}}, Case{"587", 587, {}}, Case{"0", 0, {}}, Case{"65535", 65535, {}},
        Case{"   465", 465, {}}, Case{"+25", 25, {}}, Case{" -0", 0, {}}, Case{"0025", 25, {}},
        // Hexadecimal after each of its prefixes, in either letter case, with a sign.
        Case{"$19", 25, {}}, Case{"x24b", 587, {}}, Case{"X24B", 587, {}}, Case{"0x1D1", 465, {}},
        Case{"0X1d1", 465, {}}, Case{"  +$FFFF", 65535, {}},
        // No whole number: the text is named as it was given.
        Case{"", {}, notInteger("")}, Case{"25 ", {}, notInteger("25 ")},
        Case{"SMTP", {}, notInteger("SMTP")}, Case{"   ", {}, notInteger("   ")},
        Case{"+", {}, notInteger("+")}, Case{"-", {}, notInteger("-")},
        Case{"$", {}, notInteger("$")}, Case{"0x", {}, notInteger("0x")},
        Case{"25a", {}, notInteger("25a")}, Case{"2 5", {}, notInteger("2 5")},
        Case{"\t25", {}, notInteger("\t25")}, Case{"25.0", {}, notInteger("25.0")},
        Case{"$1G", {}, notInteger("$1G")}, Case{"0x-1", {}, notInteger("0x-1")},
        Case{"--25", {}, notInteger("--25")}, Case{"1e3", {}, notInteger("1e3")},
        // Beyond a 32-bit integer is no whole number either.
        Case{"2147483648", {}, notInteger("2147483648")},
        Case{"$100000000", {}, notInteger("$100000000")},
        // Whole numbers outside the port range.
        Case{"65536", {}, kRange}, Case{"-1", {}, kRange}, Case{"$10000", {}, kRange},
        Case{"2147483647", {}, kRange}, Case{"-2147483648", {}, kRange},
        Case{"$FFFFFFFF", {}, kRange}, Case{"-$10", {}, kRange}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::to_string(info.index); });

TEST(PortTextBytes, NamesTextBeyondAsciiAsTheUserSeesIt) {
  EXPECT_EQ(test::errorOf([] { portFromText("puerto\xE9"); }),
            QStringLiteral("'puerto\u00E9' is not a valid integer value"));
}

}  // namespace
}  // namespace zavelo::mail
