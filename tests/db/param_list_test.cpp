// The connection's parameter list: lookups and in-place rewrites, as tables of cases.
#include <gtest/gtest.h>

#include "db/connection.h"
#include "db/param_list.h"
#include "support/qt_print.h"

namespace zavelo::db {
namespace {

struct LookupCase {
  const char* name;
  QList<QByteArray> lines;
  QByteArray key;
  QByteArray expected;
};

TEST(ParamListTest, Value) {
  const LookupCase cases[] = {
      {"key in another case", {"Database=C:\\X.FDB"}, "DATABASE", "C:\\X.FDB"},
      {"no such key", {"Database=x"}, "User_Name", ""},
      {"text after the first '='", {"A=b=c"}, "a", "b=c"},
      {"first of two matching lines", {"K=1", "k=2"}, "K", "1"},
      {"line without '='", {"Flag"}, "Flag", ""},
      {"a key is not a prefix", {"RoleNameX=1", "RoleName=2"}, "RoleName", "2"},
      {"blank inside the key",
       {"Interbase TransIsolation=ReadCommited"},
       "interbase transisolation",
       "ReadCommited"},
      {"empty value", {"ServerCharSet="}, "ServerCharSet", ""},
      {"blanks around the key are part of it", {" Password =x"}, "Password", ""},
      {"only ASCII letters fold", {"\xC9=1", "\xE9=2"}, "\xE9", "2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParamList(c.lines).value(c.key), c.expected) << c.name;
  }
}

struct SetCase {
  const char* name;
  QList<QByteArray> before;
  QByteArray key;
  QByteArray value;
  QList<QByteArray> after;
};

TEST(ParamListTest, SetValue) {
  const SetCase cases[] = {
      {"rewrites the line in place with the setter's key",
       {"A=1", "Password=x", "B=2"},
       "password",
       "y",
       {"A=1", "password=y", "B=2"}},
      {"appends an unknown key", {"A=1"}, "B", "2", {"A=1", "B=2"}},
      {"empty value removes the line",
       {"A=1", "Password=x", "B=2"},
       "PASSWORD",
       "",
       {"A=1", "B=2"}},
      {"empty value for an unknown key changes nothing", {"A=1"}, "B", "", {"A=1"}},
      {"only the first matching line", {"K=1", "k=2"}, "k", "3", {"k=3", "k=2"}},
      {"value with '=' and blanks kept", {}, "Database", " h:/d=x ", {"Database= h:/d=x "}},
  };
  for (const auto& c : cases) {
    ParamList p(c.before);
    p.setValue(c.key, c.value);
    EXPECT_EQ(p.lines(), c.after) << c.name;
  }
}

TEST(ParamListTest, CreationParametersInOrder) {
  const QList<QByteArray> expected = {
      "BlobSize=-1",
      "CommitRetain=False",
      "Database=C:\\HALVORI2025\\SOP\\HALVORI.FDB",
      "DriverName=Interbase",
      "ErrorResourceFile=",
      "LocaleCode=0000",
      "Password=masterkey",
      "RoleName=RoleName",
      "ServerCharSet=",
      "SQLDialect=3",
      "Interbase TransIsolation=ReadCommited",
      "User_Name=sysdba",
      "WaitOnLocks=True",
  };
  EXPECT_EQ(Connection::creationParameters().lines(), expected);
  const Connection connection;
  EXPECT_EQ(connection.params().lines(), expected);
  EXPECT_EQ(connection.state(), ConnectionState::Closed);
}

}  // namespace
}  // namespace zavelo::db
