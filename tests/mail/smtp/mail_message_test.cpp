// The message's body as lines and as one text.
#include <gtest/gtest.h>

#include "mail/smtp/mail_message.h"
#include "support/qt_print.h"

namespace zavelo::smtp {
namespace {

struct BodyCase {
  QByteArray text;
  QList<QByteArray> lines;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
  PrintTo(c.text, os);
}

class BodyText : public ::testing::TestWithParam<BodyCase> {};

TEST_P(BodyText, SplitsAtEveryKindOfLineEnd) {
  MailMessage m;
  m.setBodyText(GetParam().text);
  EXPECT_EQ(m.body(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Texts, BodyText,
                         ::testing::Values(BodyCase{"", {}}, BodyCase{"one", {"one"}},
                                           BodyCase{"one\r\n", {"one"}},
                                           BodyCase{"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
                                           BodyCase{"a\n\rb", {"a", "", "b"}},
                                           BodyCase{"a\r\r\nb", {"a", "", "b"}},
                                           BodyCase{"\r\n\r\n", {"", ""}}, BodyCase{"a\r", {"a"}}));

TEST(MailMessage, FooterIsAppendedAsFiveLines) {
  // The way the report mailing extends the body: as one text, then split again.
  MailMessage m;
  m.setBody({"Adjunto reporte de inventarios 2025/08/11 ACME"});
  QByteArray text = m.bodyText();
  EXPECT_EQ(text, "Adjunto reporte de inventarios 2025/08/11 ACME\r\n");
  text += "\r\r________________________\rMensaje.";
  m.setBodyText(text);
  EXPECT_EQ(m.body(), QList<QByteArray>({"Adjunto reporte de inventarios 2025/08/11 ACME", "", "",
                                         "________________________", "Mensaje."}));
}

TEST(MailMessage, PartsAndDate) {
  MailMessage m;
  EXPECT_TRUE(m.dateAtSend());
  m.addAttachment("a.txt");
  m.addAttachment("b.txt");
  EXPECT_EQ(m.attachments().size(), 2);
  m.clearParts();
  EXPECT_TRUE(m.attachments().isEmpty());
}

}  // namespace
}  // namespace zavelo::smtp
