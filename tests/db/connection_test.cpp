// Opening and closing the connection Halvori through conectarbase and through query objects,
// against the real server and embedded.
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <chrono>

#include "db/fb_client.h"
#include "db/link.h"
#include "db/result_set.h"
#include "db/wait_indicator.h"
#include "db_fixture.h"
#include "support/error_of.h"

namespace zavelo::db {
namespace {

class ConnectionTest : public DbTest {};

QList<QByteArray> branchNames(ResultSet& set) {
  QList<QByteArray> names;
  for (set.first(); !set.eof(); set.next()) names.append(set.text("SUCU_NOMBRE"));
  return names;
}

TEST_P(ConnectionTest, ConectarbaseOpensTheCompanyDatabase) {
  buildStandard();
  Tfdm dm(notifier);
  ASSERT_FALSE(dm.Halvori.isOpen());
  connect(dm, *db);
  EXPECT_TRUE(dm.Halvori.isOpen());
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Open);
  EXPECT_EQ(dm.Halvori.params().value("Database"), db->databaseString(mode()));
  EXPECT_EQ(waits.begun, 1) << "no wait shown while the connection opened";
  EXPECT_EQ(waits.ended, waits.begun) << "wait indicator left on";

  const Query::Result result = dm.TAgencia.openFetchAllAndClose();
  ASSERT_EQ(result.columns, (QList<QByteArray>{"SUCU_ID", "SUCU_NOMBRE", "SUCU_DIRECCION"}));
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(result.rows[2][0], QByteArray("3"));
  EXPECT_EQ(result.rows[2][1], QByteArray("Caf\xE9 Sur"));

  // Opening an open connection does nothing, whatever its parameters say now.
  dm.Halvori.params().setValue("Database", "/no/such/folder/halvori.fdb");
  EXPECT_NO_THROW(dm.Halvori.open());
  EXPECT_EQ(dm.TAgencia.openFetchAllAndClose().rows.size(), 3u);

  dm.Halvori.close();
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
  EXPECT_NO_THROW(dm.Halvori.close());
}

TEST_P(ConnectionTest, ReconnectingKeepsTheRowsOfAnOpenResultSet) {
  test::CompanyDb first = company("01");
  first.branch(1, "Primera A").branch(2, "Primera B");
  ASSERT_EQ(first.build(), "");
  test::CompanyDb second = company("02");
  second.branch(7, "Segunda");
  ASSERT_EQ(second.build(), "");

  Tfdm dm(notifier);
  Link PAgencias(dm.TAgencia, false);
  ResultSet CAgencias(PAgencias);
  connect(dm, first);
  CAgencias.open();
  ASSERT_EQ(branchNames(CAgencias), (QList<QByteArray>{"Primera A", "Primera B"}));

  connect(dm, second);
  EXPECT_TRUE(dm.Halvori.isOpen());
  EXPECT_EQ(dm.Halvori.params().value("Database"), second.databaseString(mode()));
  EXPECT_TRUE(CAgencias.isOpen());
  EXPECT_EQ(branchNames(CAgencias), (QList<QByteArray>{"Primera A", "Primera B"}));
  CAgencias.open();  // already open: nothing is fetched
  EXPECT_EQ(branchNames(CAgencias), (QList<QByteArray>{"Primera A", "Primera B"}));

  CAgencias.close();
  EXPECT_EQ(CAgencias.recordCount(), 0);
  CAgencias.open();
  EXPECT_EQ(branchNames(CAgencias), (QList<QByteArray>{"Segunda"}));
}

TEST_P(ConnectionTest, DatabaseStringIsTrimmedOfBlanksAndControlCharacters) {
  buildStandard();
  Tfdm dm(notifier);
  const test::FbLogin login = test::fbTestLogin();
  dm.Halvori.params().setValue("Database", " \t" + db->databaseString(mode()) + " \r\n");
  dm.Halvori.params().setValue("User_Name", login.user);
  dm.Halvori.params().setValue("Password", login.password);
  EXPECT_EQ(dm.TAgencia.openFetchAllAndClose().rows.size(), 3u);
  EXPECT_TRUE(dm.Halvori.isOpen());
}

TEST_P(ConnectionTest, MissingDatabaseFailsWithTheClientsTextAndStaysClosed) {
  buildStandard();
  Tfdm dm(notifier);
  test::CompanyDb missing = company("99");  // never built
  const std::optional<QString> error = test::errorOf([&] { connect(dm, missing); });
  ASSERT_TRUE(error) << "opened a database that does not exist";
  EXPECT_TRUE(error->contains("halvori.fdb")) << error->toStdString();
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
  EXPECT_EQ(waits.begun, 1) << "no wait shown while the connection opened";
  EXPECT_EQ(waits.ended, waits.begun) << "wait indicator left on";
  // The parameters keep what failed.
  EXPECT_EQ(dm.Halvori.params().value("Database"), missing.databaseString(mode()));

  // Fixing the parameters is enough for the next query object to open the connection.
  dm.Halvori.params().setValue("Database", db->databaseString(mode()));
  EXPECT_EQ(dm.TAgencia.openFetchAllAndClose().rows.size(), 3u);
}

TEST_P(ConnectionTest, EachStatementHasItsOwnTransactionUnlessCommitRetaining) {
  buildStandard();
  Tfdm dm(notifier);
  connect(dm, *db);
  dm.QSku.setSql(
      "select current_transaction, rdb$get_context('SYSTEM', 'ISOLATION_LEVEL') "
      "from rdb$database");
  const Query::Result first = dm.QSku.openFetchAllAndClose();
  const Query::Result second = dm.QSku.openFetchAllAndClose();
  ASSERT_EQ(first.rows.size(), 1u);
  EXPECT_EQ(first.rows[0][1], QByteArray("READ COMMITTED"));
  EXPECT_NE(first.rows[0][0], second.rows[0][0]);

  // A commit retaining keeps the transaction's context for the next statement.
  dm.Halvori.params().setValue("CommitRetain", " true ");
  dm.Halvori.close();
  const Query::Result third = dm.QSku.openFetchAllAndClose();
  const Query::Result fourth = dm.QSku.openFetchAllAndClose();
  EXPECT_EQ(third.rows[0][0], fourth.rows[0][0]);

  dm.Halvori.params().setValue("Interbase TransIsolation", "RepeatableRead");
  dm.Halvori.close();
  EXPECT_EQ(dm.QSku.openFetchAllAndClose().rows[0][1], QByteArray("SNAPSHOT"));
}

// How the attachment reads RoleName, ServerCharSet and SQLDialect, seen from inside it.
TEST_P(ConnectionTest, RoleCharacterSetAndDialectComeFromTheParameters) {
  test::CompanyDb c = company();
  c.sql("CREATE ROLE ROLENAME; GRANT ROLENAME TO PUBLIC;");
  ASSERT_EQ(c.build(), "");
  struct Case {
    const char* key;
    QByteArray value;
    QByteArray sql;
    QByteArray expected;
  };
  const QByteArray charsetSql =
      "select c.rdb$character_set_name from mon$attachments a join rdb$character_sets c "
      "on c.rdb$character_set_id = a.mon$character_set_id "
      "where a.mon$attachment_id = current_connection";
  const QByteArray roleSql = "select current_role from rdb$database";
  const QByteArray halfSql = "select 1/2 from rdb$database";
  const Case cases[] = {
      {"RoleName", "RoleName", roleSql, "ROLENAME"},  // as created: the text "RoleName"
      {"RoleName", " \t", roleSql, "NONE"},
      {"ServerCharSet", "", charsetSql, "NONE"},
      {"ServerCharSet", " WIN1252 ", charsetSql, "WIN1252"},
      {"SQLDialect", "3", halfSql, "0"},
      {"SQLDialect", "1", halfSql, "0.5"},
  };
  for (const Case& k : cases) {
    Tfdm dm(notifier);
    dm.Halvori.params().setValue(k.key, k.value);
    connect(dm, c);
    dm.QSku.setSql(k.sql);
    const Value got = dm.QSku.openFetchAllAndClose().rows.at(0).at(0);
    ASSERT_TRUE(got.has_value()) << k.key << "=" << k.value.toStdString();
    EXPECT_EQ(got->trimmed(), k.expected) << k.key << "=" << k.value.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ConnectionTest,
                         ::testing::Values(test::FbMode::Server, test::FbMode::Embedded), modeName);

// Only the server checks a password: embedded access is the operating system's business.
class ServerLoginTest : public DbTest {};

TEST_P(ServerLoginTest, WrongPasswordFailsAndTheNextOpeningTriesTheSameParameters) {
  buildStandard();
  Tfdm dm(notifier);
  const test::FbLogin login = test::fbTestLogin();
  const auto expectLoginRefused = [&](auto&& open) {
    const std::optional<Error> caught = test::caught(open);
    ASSERT_TRUE(caught) << "a wrong password was accepted";
    const std::optional<QString> error = caught->message();
    EXPECT_TRUE(error.value_or("").contains("user name and password are not defined"))
        << error.value_or("").toStdString();
    EXPECT_EQ(caught->kind(), Error::Kind::Database);
    EXPECT_EQ(caught->firebirdCode(), isc_login);
    EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
    EXPECT_EQ(waits.ended, waits.begun) << "wait indicator left on";
  };

  // The server throttles a client after a few failed logins in a row, so this test keeps to
  // two of them. A password is used exactly: a trailing blank makes it wrong.
  expectLoginRefused([&] {
    dm.conectarbase(db->servidor(mode()), db->company(), login.user, login.password + " ");
  });
  expectLoginRefused([&] { dm.TAgencia.openFetchAllAndClose(); });
  // No password line: the attachment is tried without one.
  expectLoginRefused([&] { dm.conectarbase(db->servidor(mode()), db->company(), login.user, ""); });
  dm.Halvori.params().setValue("password", login.password);
  EXPECT_EQ(dm.TAgencia.openFetchAllAndClose().rows.size(), 3u);
  EXPECT_TRUE(dm.Halvori.isOpen());
}

// A password beyond ASCII (Windows-1252 bytes from the settings file, "ñ" here) reaches the
// server as the text it is: a wrong one is refused as a wrong password, not as bytes the
// client cannot read ("Bad international character in tag isc_dpb_password").
TEST_P(ServerLoginTest, PasswordBeyondAsciiIsReadAsAPassword) {
  buildStandard();
  Tfdm dm(notifier);
  const std::optional<QString> error = test::errorOf([&] {
    dm.conectarbase(db->servidor(mode()), db->company(), test::fbTestLogin().user, "clave-\xF1");
  });
  EXPECT_TRUE(error.value_or("").contains("user name and password are not defined"))
      << error.value_or("").toStdString();
  EXPECT_FALSE(error.value_or("").contains("international character"));
}

// The right password beyond ASCII opens: the client gets it in the form it expects on each
// platform (UTF-8, said so, on Linux; the Windows code page on Windows).
TEST_P(ServerLoginTest, PasswordBeyondAsciiOpensForItsUser) {
  buildStandard();
  Tfdm dm(notifier);
  const test::FbLogin login = test::fbBeyondAsciiLogin();
  dm.conectarbase(db->servidor(mode()), db->company(), login.user, login.password);
  EXPECT_TRUE(dm.Halvori.isOpen());
  dm.QSku.setSql("select current_user from rdb$database");
  EXPECT_EQ(dm.QSku.openFetchAllAndClose().rows.at(0).at(0)->trimmed(), login.user);
}

// A server that accepts the connection and never answers (the system accepts it; nothing
// reads it): the opening ends after the connection's time-out with an error that says so.
TEST_P(ServerLoginTest, ServerThatNeverAnswersEndsAfterTheConnectTimeout) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  Tfdm dm(notifier);
  dm.Halvori.setConnectTimeout(std::chrono::seconds(2));
  const test::FbLogin login = test::fbTestLogin();
  QElapsedTimer timer;
  timer.start();
  const std::optional<QString> error = test::errorOf([&] {
    dm.conectarbase("127.0.0.1/" + QByteArray::number(silent.serverPort()) + ":/nowhere", "01",
                    login.user, login.password);
  });
  ASSERT_TRUE(error) << "opened a server that never answered";
  EXPECT_TRUE(error->startsWith("The database server did not answer within 2 s (127.0.0.1/"))
      << error->toStdString();
  EXPECT_LT(timer.elapsed(), 60'000) << "the time-out did not hold";
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
}

// Embedded, the user name is taken as given and no password is checked: an empty one (no
// password line at all) still opens.
class EmbeddedLoginTest : public DbTest {};

TEST_P(EmbeddedLoginTest, EmptyPasswordIsTriedAsSuch) {
  buildStandard();
  Tfdm dm(notifier);
  dm.conectarbase(db->servidor(mode()), db->company(), test::fbTestLogin().user, "");
  EXPECT_TRUE(dm.Halvori.isOpen());
  dm.QSku.setSql("select current_user from rdb$database");
  EXPECT_EQ(dm.QSku.openFetchAllAndClose().rows.at(0).at(0)->trimmed(),
            test::fbTestLogin().user.toUpper());
}

// A user name and a password beyond ASCII are read as the texts they are.
TEST_P(EmbeddedLoginTest, UserAndPasswordBeyondAsciiOpen) {
  buildStandard();
  Tfdm dm(notifier);
  dm.conectarbase(db->servidor(mode()), db->company(),
                  "PE\xD1"
                  "A",
                  "clave-\xF1");
  EXPECT_TRUE(dm.Halvori.isOpen());
  dm.QSku.setSql("select current_user from rdb$database");
  EXPECT_EQ(dm.QSku.openFetchAllAndClose().rows.at(0).at(0)->trimmed(),
            "PE\xC3\x91"
            "A");
}

INSTANTIATE_TEST_SUITE_P(Modes, EmbeddedLoginTest, ::testing::Values(test::FbMode::Embedded),
                         modeName);

INSTANTIATE_TEST_SUITE_P(Modes, ServerLoginTest, ::testing::Values(test::FbMode::Server), modeName);

// conectarbase sets the parameters before it opens, so a database that is not there shows them.
TEST(ConectarbaseParamsTest, RewritesDatabaseUserAndPasswordInPlace) {
  struct Case {
    const char* name;
    QByteArray servidor, compania, codusuario, clave;
    QList<QByteArray> lines;
  };
  test::TempDir temp;
  const QByteArray root = QFile::encodeName(temp.path());
  const Case cases[] = {
      {"all given",
       root,
       "01",
       "ADMIN",
       "s3creta ",
       {"BlobSize=-1", "CommitRetain=False", "Database=" + root + "/datos/01/halvori.fdb",
        "DriverName=Interbase", "ErrorResourceFile=", "LocaleCode=0000", "password=s3creta ",
        "RoleName=RoleName", "ServerCharSet=", "SQLDialect=3",
        "Interbase TransIsolation=ReadCommited", "User_Name=ADMIN", "WaitOnLocks=True"}},
      {"empty server and password",
       "",
       "7",
       " u ",
       "",
       {"BlobSize=-1", "CommitRetain=False", "Database=/datos/7/halvori.fdb",
        "DriverName=Interbase", "ErrorResourceFile=", "LocaleCode=0000", "RoleName=RoleName",
        "ServerCharSet=", "SQLDialect=3", "Interbase TransIsolation=ReadCommited", "User_Name= u ",
        "WaitOnLocks=True"}},
  };
  for (const Case& c : cases) {
    test::RecordingNotifier notifier;
    Tfdm dm(notifier);
    EXPECT_THROW(dm.conectarbase(c.servidor, c.compania, c.codusuario, c.clave), Error) << c.name;
    EXPECT_EQ(dm.Halvori.params().lines(), c.lines) << c.name;
    EXPECT_FALSE(dm.Halvori.isOpen()) << c.name;
  }
}

TEST(ConnectionLoadTest, ClientLibraryThatCannotBeLoadedIsNamedInTheError) {
  test::RecordingNotifier notifier;
  Tfdm dm(notifier, "libzavelo-no-such-fbclient.so.9");
  test::WaitRecorder waits;
  const std::optional<QString> error =
      test::errorOf([&] { dm.conectarbase("localhost:/nowhere", "01", "ZAVTEST", "x"); });
  ASSERT_TRUE(error) << "no error";
  EXPECT_TRUE(error->startsWith(
      "Cannot load the Firebird client library libzavelo-no-such-fbclient.so.9: "))
      << error->toStdString();
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
  EXPECT_EQ(waits.begun, 1) << "no wait shown while the connection opened";
  EXPECT_EQ(waits.ended, waits.begun) << "wait indicator left on";
  EXPECT_TRUE(notifier.shown.empty());
}

#ifdef Q_OS_LINUX
TEST(ConnectionLoadTest, LibraryWithoutTheMasterInterfaceIsNamedInTheError) {
  Connection connection("libz.so.1");  // loads, but is no Firebird client
  const std::optional<QString> error = test::errorOf([&] { connection.open(); });
  ASSERT_TRUE(error) << "no error";
  EXPECT_TRUE(
      error->startsWith("The Firebird client library libz.so.1 has no fb_get_master_interface"))
      << error->toStdString();
  EXPECT_EQ(connection.state(), ConnectionState::Closed);
}
#endif

TEST(ConnectionLoadTest, QueryBeforeConectarbaseUsesTheCreationParameters) {
  test::RecordingNotifier notifier;
  Tfdm dm(notifier);
  const std::optional<QString> error = test::errorOf([&] { dm.TAgencia.openFetchAllAndClose(); });
  ASSERT_TRUE(error) << "opened C:\\HALVORI2025\\SOP\\HALVORI.FDB";
  // The client's own text: on Windows the file is not found, elsewhere "C" is no host.
  EXPECT_TRUE(error->contains("HALVORI.FDB", Qt::CaseInsensitive) || error->contains("host \"C\""))
      << error->toStdString();
  EXPECT_EQ(dm.Halvori.state(), ConnectionState::Closed);
  EXPECT_EQ(dm.Halvori.params().lines(), Connection::creationParameters().lines());
}

}  // namespace
}  // namespace zavelo::db
