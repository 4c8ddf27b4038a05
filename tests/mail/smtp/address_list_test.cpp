// Reading address-list texts, and the client settings that need no server.
#include <gtest/gtest.h>

#include "mail/smtp/address_list.h"
#include "mail/smtp/smtp_client.h"
#include "support/qt_print.h"

namespace zavelo::smtp {
namespace {

struct ListCase {
  const char* text;
  // The entries as the To and Cc fields show them, and the addresses RCPT TO uses.
  QList<QByteArray> shown;
  QList<QByteArray> addresses;
};

void PrintTo(const ListCase& c, std::ostream* os) {
  PrintTo(QByteArray(c.text), os);
}

class AddressListParse : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressListParse, Entries) {
  const ListCase& c = GetParam();
  const AddressList list = AddressList::parse(c.text);
  QList<QByteArray> shown;
  for (const MailAddress& a : list.entries()) shown.append(a.text);
  EXPECT_EQ(shown, c.shown) << c.text;
  EXPECT_EQ(list.addresses(), c.addresses) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressListParse,
    ::testing::Values(
        ListCase{"", {}, {}}, ListCase{"  \t ", {}, {}},
        ListCase{"ana@example.com", {"ana@example.com"}, {"ana@example.com"}},
        ListCase{" ana@example.com , luis@example.com ",
                 {"ana@example.com", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{"ana@example.com;luis@example.com",
                 {"ana@example.com", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{";ana@example.com;; , ;luis@example.com;",
                 {"ana@example.com", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{
            "Ana Perez <ana@example.com>", {"Ana Perez <ana@example.com>"}, {"ana@example.com"}},
        ListCase{"  Luis   < luis@example.com >  ",
                 {"Luis   < luis@example.com >"},
                 {"luis@example.com"}},
        ListCase{"<solo@example.com>", {"<solo@example.com>"}, {"solo@example.com"}},
        ListCase{"\"Perez, Ana; jefa\" <ana@example.com>, luis@example.com",
                 {"\"Perez, Ana; jefa\" <ana@example.com>", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{"\"a:b <x@y>\" <ana@example.com>",
                 {"\"a:b <x@y>\" <ana@example.com>"},
                 {"ana@example.com"}},
        ListCase{"Ventas: ana@example.com, luis@example.com;",
                 {"ana@example.com", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{"ana@example.com (Ana; la (de, ventas)), luis@example.com",
                 {"ana@example.com (Ana; la (de, ventas))", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        ListCase{"(nota: x) ana@example.com", {"(nota: x) ana@example.com"}, {"ana@example.com"}},
        ListCase{
            "Ana (<no>) <ana@example.com>", {"Ana (<no>) <ana@example.com>"}, {"ana@example.com"}},
        ListCase{"ana\\,b@example.com, luis@example.com",
                 {"ana\\,b@example.com", "luis@example.com"},
                 {"ana\\,b@example.com", "luis@example.com"}},
        ListCase{"\"Ana\r\n Perez\" <ana@example.com>\r\n, luis@exa\nmple.com",
                 {"\"Ana Perez\" <ana@example.com>", "luis@example.com"},
                 {"ana@example.com", "luis@example.com"}},
        // Words before a bare address are its name, as mail programs read them.
        ListCase{"P\xE9rez luis@example.com, Ana Maria Soto  ana@example.com",
                 {"P\xE9rez luis@example.com", "Ana Maria Soto  ana@example.com"},
                 {"luis@example.com", "ana@example.com"}},
        // Without an "@" in the last word there is no address to take: the blank stays in it
        // (and the client refuses it); a blank inside quotes belongs to the address.
        ListCase{"Luis Perez", {"Luis Perez"}, {"Luis Perez"}},
        ListCase{"\"luis perez\"@example.com",
                 {"\"luis perez\"@example.com"},
                 {"\"luis perez\"@example.com"}},
        ListCase{" , ,\t;  ,, ", {}, {}},
        ListCase{"\"Ana \\\" Perez, x\" <ana@example.com>",
                 {"\"Ana \\\" Perez, x\" <ana@example.com>"},
                 {"ana@example.com"}}));

TEST(AddressList, NameBeforeABareAddress) {
  const AddressList list = AddressList::parse("  Jos\xE9 P\xE9rez\t luis@example.com (jefe) ");
  ASSERT_EQ(list.size(), 1);
  EXPECT_EQ(list.entries()[0].name, "Jos\xE9 P\xE9rez");
  EXPECT_EQ(list.entries()[0].address, "luis@example.com");
}

TEST(AddressList, OnlyPrintableAsciiWithoutBlanksIsSendable) {
  const struct {
    QByteArray address;
    bool sendable;
  } cases[] = {
      {"luis@example.com", true},
      {"o'brien+x@example.com", true},
      {"", false},
      {"P\xE9rez luis@example.com", false},
      {"luis perez@example.com", false},
      {"luis\t@example.com", false},
      {"jos\xE9@example.com", false},
      {"luis@example.com\x7F", false},
      {QByteArray("luis@\0example.com", 18), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(isSendableAddress(c.address), c.sendable) << c.address.toStdString();
}

TEST(AddressList, SemicolonsGiveTheSameListAsCommas) {
  const QByteArray commas = "a@example.com, B <b@example.com>, c@example.com";
  QByteArray semicolons = commas;
  semicolons.replace(',', ';');
  EXPECT_EQ(AddressList::parse(commas).entries(), AddressList::parse(semicolons).entries());
}

TEST(AddressList, SetTextReplacesTheEntries) {
  AddressList list;
  list.setText("a@example.com, b@example.com");
  list.setText("c@example.com");
  EXPECT_EQ(list.addresses(), QList<QByteArray>({"c@example.com"}));
  list.setText("   ");
  EXPECT_TRUE(list.isEmpty());
}

struct PortCase {
  quint16 before;
  quint16 afterFirstSwitch;
};

void PrintTo(const PortCase& c, std::ostream* os) {
  *os << c.before;
}

class TlsSwitchPort : public ::testing::TestWithParam<PortCase> {};

TEST_P(TlsSwitchPort, MovesOnlyOnTheFirstSwitch) {
  SmtpClient client;
  EXPECT_EQ(client.tlsMode(), TlsMode::Off);
  EXPECT_EQ(client.transport(), nullptr);
  client.setPort(GetParam().before);
  client.switchToExplicitTls();
  EXPECT_EQ(client.tlsMode(), TlsMode::Explicit);
  EXPECT_NE(client.transport(), nullptr);
  EXPECT_EQ(client.port(), GetParam().afterFirstSwitch);
  // Later switches, whatever the port then, change nothing.
  client.setPort(GetParam().before);
  client.switchToExplicitTls();
  EXPECT_EQ(client.port(), GetParam().before);
  EXPECT_EQ(client.tlsMode(), TlsMode::Explicit);
}

INSTANTIATE_TEST_SUITE_P(Ports, TlsSwitchPort,
                         ::testing::Values(PortCase{25, 587}, PortCase{465, 587},
                                           PortCase{587, 587}, PortCase{2525, 2525},
                                           PortCase{0, 0}));

TEST(SmtpClientSettings, DefaultsAndTheTransportGiven) {
  SmtpClient client;
  EXPECT_EQ(client.port(), 25);
  EXPECT_TRUE(client.host().isEmpty());
  TlsLayer layer;
  client.setTransport(&layer);
  client.switchToExplicitTls();
  EXPECT_EQ(client.transport(), &layer);  // the layer given is kept
  EXPECT_EQ(client.port(), 587);
  EXPECT_FALSE(client.connected());
  EXPECT_FALSE(SmtpClient::greetingName().isEmpty());
}

}  // namespace
}  // namespace zavelo::smtp
