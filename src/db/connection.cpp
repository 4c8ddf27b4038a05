#include "db/connection.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "common/trim.h"
#include "db/fb_client.h"
#include "db/fb_session.h"
#include "db/query.h"
#include "db/wait_indicator.h"

namespace zavelo::db {

namespace {

bool isTrue(const QByteArray& text) {
  return trimmed(text, Blanks::UpToSpace).compare("TRUE", Qt::CaseInsensitive) == 0;
}

fb::AttachSettings attachSettings(const ParamList& params) {
  fb::AttachSettings s;
  s.database = trimmed(params.value("Database"), Blanks::UpToSpace);
  s.user = params.value("User_Name");
  s.password = params.value("Password");
  s.role = trimmed(params.value("RoleName"), Blanks::UpToSpace);
  s.charset = trimmed(params.value("ServerCharSet"), Blanks::UpToSpace);
  bool ok = false;
  const int dialect = trimmed(params.value("SQLDialect"), Blanks::UpToSpace).toInt(&ok);
  s.dialect = ok && dialect >= 1 && dialect <= 3 ? unsigned(dialect) : 3u;
  const QByteArray isolation = trimmed(params.value("Interbase TransIsolation"), Blanks::UpToSpace);
  // Firebird reads no uncommitted data, so a dirty read runs read committed too.
  s.repeatableRead = isolation.compare("repeatableread", Qt::CaseInsensitive) == 0;
  s.waitOnLocks = isTrue(params.value("WaitOnLocks"));
  s.commitRetaining = isTrue(params.value("CommitRetain"));
  return s;
}

}  // namespace

QString defaultFbClientLibrary() {
#ifdef Q_OS_WIN
  // The package carries its own client beside the program: that one, by its full path, so
  // that no other client of the machine (of the ERP, of another bitness) is taken instead.
  // Without it (a build of one's own), the system's search finds the client.
  const QString own = QCoreApplication::applicationDirPath() + QStringLiteral("/fbclient.dll");
  if (!QCoreApplication::applicationDirPath().isEmpty() && QFileInfo::exists(own)) return own;
  return QStringLiteral("fbclient");
#else
  return QStringLiteral("libfbclient.so.2");
#endif
}

Connection::Connection(QString clientLibrary)
    : clientLibrary_(std::move(clientLibrary)), params_(creationParameters()) {}

Connection::~Connection() {
  close();
}

ParamList Connection::creationParameters() {
  return ParamList({
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
  });
}

void Connection::open() {
  if (state_ == ConnectionState::Open) return;
  WaitScope wait;
  try {
    const fb::Client& client = fb::loadClient(clientLibrary_);
    fb::AttachSettings settings = attachSettings(params_);
    settings.connectTimeout = connectTimeout_;
    session_ = std::make_unique<fb::Session>(client, settings);
  } catch (...) {
    session_.reset();
    state_ = ConnectionState::Closed;
    throw;
  }
  state_ = ConnectionState::Open;
}

void Connection::close() {
  if (state_ != ConnectionState::Open) return;
  session_.reset();
  state_ = ConnectionState::Closed;
}

QueryResult Connection::run(const QByteArray& sql) {
  if (!session_)
    throw Error(Error::Kind::Database, QStringLiteral("The database connection is not open"));
  return session_->run(sql);
}

}  // namespace zavelo::db
