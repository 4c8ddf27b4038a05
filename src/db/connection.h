// The connection `Halvori` to the company database: its parameter list, its state and the
// attachment made through the Firebird client library, which is loaded when it first opens.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>

#include "db/param_list.h"
#include "db/row_store.h"

namespace zavelo::db {

namespace fb {
class Session;
}
class Query;

// The client library's usual name: fbclient.dll on Windows, the versioned shared object
// elsewhere.
QString defaultFbClientLibrary();

enum class ConnectionState { Closed, Open };

class Connection {
 public:
  // Closed, with the parameters the data holder is created with (creationParameters()).
  explicit Connection(QString clientLibrary = defaultFbClientLibrary());
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // BlobSize, CommitRetain, Database, DriverName, ErrorResourceFile, LocaleCode, Password,
  // RoleName, ServerCharSet, SQLDialect, Interbase TransIsolation, User_Name, WaitOnLocks.
  static ParamList creationParameters();

  ParamList& params() { return params_; }
  const ParamList& params() const { return params_; }

  // How long an attachment may take (kConnectTimeout unless set): a database server that
  // accepts the connection and never answers ends the opening with an error that says so,
  // instead of holding the program for as long as it keeps the connection.
  static constexpr std::chrono::seconds kConnectTimeout{60};
  void setConnectTimeout(std::chrono::seconds timeout) { connectTimeout_ = timeout; }

  ConnectionState state() const { return state_; }
  bool isOpen() const { return state_ == ConnectionState::Open; }

  // Nothing when open. Otherwise loads the client and attaches with the parameters as they
  // are now, showing the wait indicator meanwhile. On failure the connection is closed again,
  // nothing of the attachment is kept and the Error (the client's text) goes to the caller.
  void open();
  // Detaches. Nothing when closed. (Query objects hold no cursor between calls, so there is
  // none to close first.)
  void close();

 private:
  friend class Query;
  // Runs one statement on the open attachment.
  QueryResult run(const QByteArray& sql);

  QString clientLibrary_;
  ParamList params_;
  ConnectionState state_ = ConnectionState::Closed;
  std::chrono::seconds connectTimeout_ = kConnectTimeout;
  std::unique_ptr<fb::Session> session_;
};

}  // namespace zavelo::db
