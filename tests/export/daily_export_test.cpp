// One day's export on real company databases, through the Firebird server and embedded.
#include "export/daily_export.h"

#include <gtest/gtest.h>

#include <QDir>

#include "common/error.h"
#include "db/data_module.h"
#include "fixtures/company_db.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"

namespace zavelo::exporting {
namespace {

using test::FbMode;
using test::readFile;

class DailyExportTest : public ::testing::TestWithParam<FbMode> {
 protected:
  void SetUp() override {
    company = std::make_unique<test::CompanyDb>(temp.filePath("erp"));
    const QString error = company->build();
    ASSERT_EQ(error, "") << error.toStdString();
    const test::FbLogin login = test::fbTestLogin();
    dm.conectarbase(company->servidor(GetParam()), company->company(), login.user, login.password);
    out = temp.filePath("salida");
    QDir().mkpath(out);
  }

  test::TempDir temp;
  test::RecordingNotifier notifier;
  db::Tfdm dm{notifier};
  std::unique_ptr<test::CompanyDb> company;
  QString out;
  db::Link PSku{dm.QSku, true};
  db::ResultSet CSku{PSku};
  db::Field CSkuCADENA{CSku, "CADENA"};
};

TEST_P(DailyExportTest, WritesTheRowsAndClosesTheSet) {
  const DayExport result = exportDay(CSku, CSkuCADENA, Kind::Sales, "2025/08/11", "N:2", out);
  EXPECT_EQ(result.error, std::nullopt);
  EXPECT_EQ(result.path, out + "/ventas11082025.txt");
  EXPECT_EQ(readFile(result.path),
            "VEN|2025/08/11|FAC0000001|SKU0000001|7|29.25\r\n"
            "VEN|2025/08/11|FAC0000002|SKU0000002|14|58.25\r\n");
  EXPECT_FALSE(CSku.isOpen());
  EXPECT_EQ(CSku.commandText(), "select CADENA from ZAVELO_VENTAS('2025/08/11','N:2')");

  // An open set is closed first, so the new statement runs.
  CSku.open();
  const DayExport again = exportDay(CSku, CSkuCADENA, Kind::Inventory, "2025/08/12", "VACIA", out);
  EXPECT_EQ(again.error, std::nullopt);
  EXPECT_EQ(readFile(out + "/inventarios12082025.txt"), "");
}

TEST_P(DailyExportTest, DatabaseErrorsLeaveTheFileUntouched) {
  temp.write("salida/inventarios11082025.txt", "earlier\r\n");
  EXPECT_THROW(exportDay(CSku, CSkuCADENA, Kind::Inventory, "2025/08/11", "FALLA", out), Error);
  EXPECT_EQ(readFile(out + "/inventarios11082025.txt"), "earlier\r\n");

  // A result without the field's column is refused before the file is opened.
  db::Field missing(CSku, "NO_SUCH_COLUMN");
  EXPECT_THROW(exportDay(CSku, missing, Kind::Inventory, "2025/08/11", "07", out), Error);
  EXPECT_EQ(readFile(out + "/inventarios11082025.txt"), "earlier\r\n");
  EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"inventarios11082025.txt"});
}

TEST_P(DailyExportTest, UnwritableFileComesBackAsAnError) {
  const DayExport result =
      exportDay(CSku, CSkuCADENA, Kind::Inventory, "2025/08/11", "07", out + "/missing");
  ASSERT_TRUE(result.error.has_value());
  EXPECT_TRUE(result.error->contains(out + "/missing/inventarios11082025.txt"));
  EXPECT_FALSE(CSku.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Modes, DailyExportTest,
                         ::testing::Values(FbMode::Server, FbMode::Embedded), [](const auto& info) {
                           return std::string(test::fbModeName(info.param));
                         });

}  // namespace
}  // namespace zavelo::exporting
