#include "db/fb_client.h"

#include <QLibrary>
#include <map>

#include "common/cp1252.h"

namespace zavelo::db::fb {

const Client& loadClient(const QString& library) {
  // Everything runs on the GUI thread, so the table needs no lock.
  static std::map<QString, Client> loaded;
  if (const auto it = loaded.find(library); it != loaded.end()) return it->second;

  // Deliberately leaked: unloading fbclient while its threads run is not safe.
  auto* lib = new QLibrary(library);
  if (!lib->load()) {
    const QString why = lib->errorString();
    delete lib;
    throw Error(QStringLiteral("Cannot load the Firebird client library %1: %2").arg(library, why));
  }
  using GetMaster = Firebird::IMaster* (*)();
  const auto getMaster = reinterpret_cast<GetMaster>(lib->resolve("fb_get_master_interface"));
  Firebird::IMaster* master = getMaster ? getMaster() : nullptr;
  if (!master) {
    const QString why =
        getMaster ? QStringLiteral("it gave no master interface") : lib->errorString();
    lib->unload();
    delete lib;
    throw Error(QStringLiteral("The Firebird client library %1 has no fb_get_master_interface: %2")
                    .arg(library, why));
  }
  Client client{master, master->getUtilInterface()};
  return loaded.emplace(library, client).first->second;
}

Status::Status(const Client& client)
    : client_(client), status_(client.master->getStatus()), wrapper_(status_) {}

Status::~Status() {
  status_->dispose();
}

QString Status::text() {
  char buffer[4096] = {};
  client_.util->formatStatus(buffer, sizeof buffer - 1, status_);
  return fromCp1252(QByteArrayView(buffer, qstrnlen(buffer, sizeof buffer)));
}

void Status::check() {
  if (!failed()) return;
  QString message = text();
  clear();
  throw Error(message);
}

}  // namespace zavelo::db::fb
