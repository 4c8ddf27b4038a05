// The configuration lookup: the value of one row, the "Error" box when there is none, and a
// failing statement passed on without a box.
#include "common/cp1252.h"
#include "db/fb_client.h"
#include "db_fixture.h"
#include "support/error_of.h"

namespace zavelo::db {
namespace {

class ConfiguracionTest : public DbTest {};

const QByteArray kPuerto = "PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO";
const QByteArray kSsl = "USAR SSL PARA ENVIO DE CORREO ELECTRONICO";
const QByteArray kNombre = "NOMBRE COMPANIA";

TEST_P(ConfiguracionTest, LooksUpOneRow) {
  test::CompanyDb c = company();
  c.generalConfig(kPuerto, "2525")
      .config("CORREO", "GENERAL", kSsl, "NO")  // another module: not this row
      .generalConfig(kSsl, "SI")
      .generalConfig(kNombre, std::nullopt)
      .generalConfig("DOBLE", "primero")
      .generalConfig("DOBLE", "segundo")
      .generalConfig("ACENTO",
                     "Compa\xF1\xED"
                     "a \x80 S.A.");
  ASSERT_EQ(c.build(), "");
  Tfdm dm(notifier);
  connect(dm, c);

  struct Case {
    QByteArray propiedad;
    QByteArray expected;
    bool box;
  };
  const Case cases[] = {
      {kPuerto, "2525", false},
      {kSsl, "SI", false},
      {kNombre, "", false},         // NULL value: empty, no box
      {"DOBLE", "primero", false},  // the first row delivered wins
      {"ACENTO",
       "Compa\xF1\xED"
       "a \x80 S.A.",
       false},
      {"NO EXISTE", "", true},
      {"ACENT\xC9", "", true},
  };
  for (const Case& k : cases) {
    notifier.shown.clear();
    EXPECT_EQ(dm.configuracion("GENERAL", "GENERAL", k.propiedad), k.expected)
        << k.propiedad.toStdString();
    EXPECT_EQ(dm.QConfiguracion.sql(),
              "select conf_valor from configuracion where conf_modulo = 'GENERAL' and "
              "conf_categoria = 'GENERAL' and conf_propiedad = '" +
                  k.propiedad + "'");
    if (k.box) {
      ASSERT_EQ(notifier.shown.size(), 1u) << k.propiedad.toStdString();
      EXPECT_EQ(notifier.shown[0],
                (test::Shown{test::Shown::ErrorBox, "Error",
                             QString::fromUtf8("No se encontró la configuración ") +
                                 fromCp1252(k.propiedad)}));
    } else {
      EXPECT_TRUE(notifier.shown.empty()) << k.propiedad.toStdString();
    }
  }
  EXPECT_EQ(fromCp1252("ACENT\xC9"), QString::fromUtf8("ACENTÉ"));
}

TEST_P(ConfiguracionTest, OpensAClosedConnectionWithItsParameters) {
  test::CompanyDb c = company();
  c.generalConfig(kPuerto, "587");
  ASSERT_EQ(c.build(), "");
  Tfdm dm(notifier);
  const test::FbLogin login = test::fbTestLogin();
  dm.Halvori.params().setValue("Database", c.databaseString(mode()));
  dm.Halvori.params().setValue("User_Name", login.user);
  dm.Halvori.params().setValue("Password", login.password);
  EXPECT_EQ(dm.configuracion("GENERAL", "GENERAL", kPuerto), "587");
  EXPECT_TRUE(dm.Halvori.isOpen());
}

TEST_P(ConfiguracionTest, FailingStatementRaisesWithoutABox) {
  test::CompanyDb c = company();
  c.generalConfig(kPuerto, "25").sql("DROP TABLE configuracion;");
  ASSERT_EQ(c.build(), "");
  Tfdm dm(notifier);
  connect(dm, c);
  const std::optional<Error> error =
      test::caught([&] { dm.configuracion("GENERAL", "GENERAL", kPuerto); });
  ASSERT_TRUE(error) << "no error without the table";
  EXPECT_TRUE(error->message().contains("CONFIGURACION")) << error->message().toStdString();
  // A database error, with the client's code for it (Dynamic SQL Error).
  EXPECT_EQ(error->kind(), Error::Kind::Database);
  EXPECT_EQ(error->firebirdCode(), isc_dsql_error);
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_TRUE(dm.Halvori.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Modes, ConfiguracionTest,
                         ::testing::Values(test::FbMode::Server, test::FbMode::Embedded), modeName);

}  // namespace
}  // namespace zavelo::db
