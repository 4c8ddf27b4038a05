// Runs a db test once through the Firebird server and once embedded, each on a company
// database of its own built from the fixtures.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "db/data_module.h"
#include "db/wait_indicator.h"
#include "fixtures/company_db.h"
#include "support/qt_print.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"

namespace zavelo::test {

// Counts the waits the database shows, installed as its wait indicator while it lives.
class WaitRecorder : public db::WaitIndicator {
 public:
  WaitRecorder() { db::setWaitIndicator(this); }
  ~WaitRecorder() override { db::setWaitIndicator(nullptr); }
  WaitRecorder(const WaitRecorder&) = delete;
  WaitRecorder& operator=(const WaitRecorder&) = delete;

  void begin() override { ++begun; }
  void end() override { ++ended; }

  int begun = 0;
  int ended = 0;
};

}  // namespace zavelo::test

namespace zavelo::db {

class DbTest : public ::testing::TestWithParam<test::FbMode> {
 protected:
  test::FbMode mode() const { return GetParam(); }
  bool server() const { return mode() == test::FbMode::Server; }

  // A company database in this test's folder; the caller adds rows, then builds.
  test::CompanyDb company(const QByteArray& code = "01") {
    return test::CompanyDb(temp.path(), code);
  }

  // The standard company: three branches, a few configuration rows.
  void buildStandard() {
    db = std::make_unique<test::CompanyDb>(company());
    db->branch(1, "Central")
        .branch(2, "Norte")
        .branch(3, "Caf\xE9 Sur")
        .generalConfig("PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO", "2525");
    ASSERT_EQ(db->build(), "");
  }

  void connect(Tfdm& dm, const test::CompanyDb& target) {
    const test::FbLogin login = test::fbTestLogin();
    dm.conectarbase(target.servidor(mode()), target.company(), login.user, login.password);
  }

  test::TempDir temp;
  test::RecordingNotifier notifier;
  test::WaitRecorder waits;
  std::unique_ptr<test::CompanyDb> db;
};

inline std::string modeName(const ::testing::TestParamInfo<test::FbMode>& info) {
  return test::fbModeName(info.param);
}

}  // namespace zavelo::db
