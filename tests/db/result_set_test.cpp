// In-memory result sets over the report procedures and the branches table, and how column
// values of each type read.
#include "db/result_set.h"

#include <type_traits>
#include <utility>

#include "db/field.h"
#include "db/link.h"
#include "db_fixture.h"
#include "support/error_of.h"

namespace zavelo::db {
namespace {

class ResultSetTest : public DbTest {
 protected:
  void SetUp() override {
    buildStandard();
    connect(dm, *db);
  }

  QList<Value> cadenas(ResultSet& set) {
    QList<Value> rows;
    for (set.first(); !set.eof(); set.next()) rows.append(CSkuCADENA.value());
    return rows;
  }

  Tfdm dm{notifier};
  Link PSku{dm.QSku, true};
  ResultSet CSku{PSku};
  Field CSkuCADENA{CSku, "CADENA"};
};

// The count and the cursor are 64-bit: a set of more than 2^31 rows must not wrap silently.
static_assert(std::is_same_v<decltype(std::declval<ResultSet&>().recordCount()), qint64>);
static_assert(std::is_same_v<decltype(std::declval<ResultSet&>().currentRow()), qint64>);

TEST_P(ResultSetTest, ProcedureRowsArriveAsTheirBytes) {
  CSku.setCommandText("select CADENA from ZAVELO_INVENTARIO('2025/08/11','ZAV')");
  CSku.open();
  EXPECT_EQ(dm.QSku.sql(), CSku.commandText());
  EXPECT_EQ(CSku.currentRow(), 0);
  const QList<Value> expected = {
      QByteArray("INV|2025/08/11|ZAV"),
      QByteArray("SKU001|2025/08/11|12"),
      std::nullopt,
      QByteArray("Caf\xE9 molido|2025/08/11"),
      QByteArray("O'Brien|2025/08/11"),
      QByteArray("LARGA|2025/08/11|").leftJustified(255, '#'),
  };
  EXPECT_EQ(cadenas(CSku), expected);
  EXPECT_TRUE(CSku.eof());
  EXPECT_EQ(CSku.currentRow(), 5) << "next() past the end stays on the last row";
  EXPECT_EQ(CSku.recordCount(), 6);
  CSku.first();
  EXPECT_EQ(CSku.value(0), expected[0]);
  CSku.next();
  CSku.next();
  EXPECT_TRUE(CSkuCADENA.isNull());
  EXPECT_EQ(CSkuCADENA.asText(), "");
}

TEST_P(ResultSetTest, ProcedureArgumentsCarryQuotes) {
  CSku.setCommandText("select CADENA from ZAVELO_VENTAS('2025/08/11','A''B')");
  CSku.open();
  ASSERT_FALSE(CSku.eof());
  EXPECT_EQ(CSkuCADENA.asText(), "VEN|2025/08/11|A'B");
}

// The system only reads, but the ERP's procedures it calls may write work rows of their own:
// the statement's transaction must let them.
TEST_P(ResultSetTest, AProcedureThatWritesRuns) {
  CSku.setCommandText("select CADENA from ZAVELO_INVENTARIO('2025/08/11','ANOTAR')");
  CSku.open();
  EXPECT_EQ(cadenas(CSku), QList<Value>{QByteArray("ANOTADO|2025/08/11")});
}

TEST_P(ResultSetTest, NoRowsAndFailingProcedure) {
  CSku.setCommandText("select CADENA from ZAVELO_VENTAS('2025/08/11','VACIA')");
  CSku.open();
  EXPECT_TRUE(CSku.isOpen());
  EXPECT_TRUE(CSku.eof());
  EXPECT_EQ(CSku.recordCount(), 0);
  EXPECT_EQ(CSku.currentRow(), -1);
  EXPECT_EQ(CSkuCADENA.value(), std::nullopt);
  CSku.close();

  CSku.setCommandText("select CADENA from ZAVELO_INVENTARIO('2025/08/11','FALLA')");
  const std::optional<QString> error = test::errorOf([&] { CSku.open(); });
  ASSERT_TRUE(error) << "the procedure's exception was lost";
  EXPECT_TRUE(error->contains("Marca con falla de prueba")) << error->toStdString();
  EXPECT_FALSE(CSku.isOpen());
  EXPECT_THROW(CSkuCADENA.value(), Error);
  // The connection is still usable after a failed statement.
  CSku.setCommandText("select CADENA from ZAVELO_INVENTARIO('2025/08/12','N:3')");
  CSku.open();
  EXPECT_EQ(CSku.recordCount(), 3);
}

TEST_P(ResultSetTest, BranchesLocateInsertAndInteger) {
  Link PAgencias(dm.TAgencia, false);
  ResultSet CAgencias(PAgencias);
  Field CAgenciasSUCU_ID(CAgencias, "SUCU_ID");
  Field CAgenciasSUCU_NOMBRE(CAgencias, "SUCU_NOMBRE");
  // The link allows no statement of the set's own: the query's text runs.
  CAgencias.setCommandText("select 1 from rdb$database");
  CAgencias.open();
  EXPECT_EQ(dm.TAgencia.sql(), "SELECT * FROM SUCURSALES");
  ASSERT_EQ(CAgencias.recordCount(), 3);

  EXPECT_EQ(CAgenciasSUCU_ID.asInteger(), 1);
  EXPECT_EQ(CAgencias.value("sucu_nombre"), QByteArray("Central"));
  EXPECT_TRUE(CAgencias.locate("SUCU_NOMBRE", "Caf\xE9 Sur"));
  EXPECT_EQ(CAgencias.currentRow(), 2);
  EXPECT_EQ(CAgenciasSUCU_ID.asInteger(), 3);
  EXPECT_FALSE(CAgencias.locate("SUCU_NOMBRE", "caf\xE9 sur")) << "locate is exact";
  EXPECT_FALSE(CAgencias.locate("SUCU_NOMBRE", "Caf\xC9 Sur"));
  EXPECT_EQ(CAgencias.currentRow(), 2) << "a failed locate does not move";
  EXPECT_TRUE(CAgencias.locate("SUCU_ID", "2"));
  EXPECT_EQ(CAgenciasSUCU_NOMBRE.asText(), "Norte");

  CAgencias.insertRow(0, {{"SUCU_ID", QByteArray::number(0)}, {"SUCU_NOMBRE", "TODAS"}});
  EXPECT_EQ(CAgencias.recordCount(), 4);
  EXPECT_EQ(CAgencias.currentRow(), 0);
  EXPECT_EQ(CAgenciasSUCU_ID.asInteger(), 0);
  EXPECT_EQ(CAgencias.value("SUCU_DIRECCION"), std::nullopt);
  EXPECT_TRUE(CAgencias.locate("SUCU_NOMBRE", "Norte"));
  EXPECT_EQ(CAgencias.currentRow(), 2);
  CAgencias.insertRow(99, {{"SUCU_NOMBRE", "Al final"}});
  EXPECT_EQ(CAgencias.currentRow(), 4);
  EXPECT_EQ(CAgenciasSUCU_ID.asInteger(), std::nullopt);

  EXPECT_THROW(CAgenciasSUCU_NOMBRE.asInteger(), Error);
  EXPECT_THROW(CAgencias.value("NO_EXISTE"), Error);
  EXPECT_THROW(CAgencias.insertRow(0, {{"NO_EXISTE", QByteArray("x")}}), Error);
  EXPECT_THROW(CAgencias.value(3), Error);

  // Rows added in memory never reach the database.
  CAgencias.close();
  CAgencias.open();
  EXPECT_EQ(CAgencias.recordCount(), 3);
}

TEST_P(ResultSetTest, ColumnTypesReadAsText) {
  dm.QSku.setSql(
      "select cast(-5 as smallint) a, cast(123456789012 as bigint) b, "
      "cast(-1.05 as numeric(15,2)) c, cast(0.07 as numeric(9,3)) d, cast('ab' as char(5)) e, "
      "cast(null as integer) f, cast('x' || ascii_char(233) as blob sub_type text) g, "
      "rpad(cast('' as blob sub_type text), 100000, 'z') h, date '2025-08-11' i, "
      "timestamp '2025-08-11 07:08:09' j, 0.5e0 k, true l, 2147483647 m "
      "from rdb$database");
  const Query::Result r = dm.QSku.openFetchAllAndClose();
  ASSERT_EQ(r.columns,
            (QList<QByteArray>{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M"}));
  ASSERT_EQ(r.rows.size(), 1u);
  const std::vector<Value> expected = {
      QByteArray("-5"),         QByteArray("123456789012"),
      QByteArray("-1.05"),      QByteArray("0.070"),
      QByteArray("ab   "),      std::nullopt,
      QByteArray("x\xE9"),      QByteArray(100000, 'z'),
      QByteArray("2025-08-11"), QByteArray("2025-08-11 07:08:09"),
      QByteArray("0.5"),        QByteArray("True"),
      QByteArray("2147483647"),
  };
  EXPECT_EQ(r.rows[0].values(), expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, ResultSetTest,
                         ::testing::Values(test::FbMode::Server, test::FbMode::Embedded), modeName);

}  // namespace
}  // namespace zavelo::db
