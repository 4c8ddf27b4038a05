// One attachment to a company database and the running of statements on it. Each statement
// runs in a transaction of the session's own, ended by a plain commit (or a commit retaining,
// which keeps that transaction for the next statement until the session ends).
#pragma once

#include <QByteArray>
#include <chrono>

#include "db/fb_client.h"
#include "db/row_store.h"

namespace zavelo::db::fb {

struct AttachSettings {
  QByteArray database;
  QByteArray user;
  QByteArray password;
  QByteArray role;     // empty: none requested
  QByteArray charset;  // empty: none requested, the server's NONE
  unsigned dialect = 3;
  bool repeatableRead = false;  // otherwise read committed, record versions
  bool waitOnLocks = true;
  bool commitRetaining = false;
  // How long the attachment may take before it is given up: a server that accepts the
  // connection and never answers would otherwise hold the program for as long as it keeps the
  // connection open. 0: no limit of the program's own.
  std::chrono::seconds connectTimeout{0};
};

class Session {
 public:
  // Attaches; throws Error with the client's text, leaving nothing behind.
  Session(const Client& client, const AttachSettings& settings);
  // Ends a retained transaction and detaches; failures there are dropped.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs one statement and fetches all its rows (none for a statement without output),
  // reading blobs whole.
  QueryResult run(const QByteArray& sql);

 private:
  Firebird::ITransaction* transaction(Status& status);
  void endTransaction(Status& status, bool success);

  const Client& client_;
  AttachSettings settings_;
  Ref<Firebird::IProvider> provider_;
  Ref<Firebird::IAttachment> attachment_;
  Ref<Firebird::ITransaction> transaction_;
};

}  // namespace zavelo::db::fb
