#include "db/fb_client.h"

#include <QDir>
#include <QLibrary>
#include <map>

#include "common/cp1252.h"

namespace zavelo::db::fb {

namespace {

// What to do when the client cannot be loaded.
QString installHint() {
#ifdef Q_OS_WIN
  return QStringLiteral(
             "The program needs the %1-bit Firebird 3 client, fbclient.dll, beside ZadiRod.exe "
             "(the program's installer puts it there: install the program again)")
      .arg(QT_POINTER_SIZE * 8);
#else
  return QStringLiteral(
      "The program needs the Firebird 3 client library (Debian: the package libfbclient2)");
#endif
}

}  // namespace

const Client& loadClient(const QString& library) {
  // Everything runs on the GUI thread, so the table needs no lock.
  static std::map<QString, Client> loaded;
  if (const auto it = loaded.find(library); it != loaded.end()) return it->second;

  // Deliberately leaked: unloading fbclient while its threads run is not safe.
  auto* lib = new QLibrary(library);
  if (!lib->load()) {
    const QString why = lib->errorString();
    delete lib;
    throw Error(Error::Kind::Database,
                QStringLiteral("Cannot load the Firebird client library %1: %2. %3")
                    .arg(QDir::toNativeSeparators(library), why, installHint()));
  }
  using GetMaster = Firebird::IMaster* (*)();
  const auto getMaster = reinterpret_cast<GetMaster>(lib->resolve("fb_get_master_interface"));
  Firebird::IMaster* master = getMaster ? getMaster() : nullptr;
  if (!master) {
    const QString why =
        getMaster ? QStringLiteral("it gave no master interface") : lib->errorString();
    lib->unload();
    delete lib;
    throw Error(Error::Kind::Database,
                QStringLiteral("The Firebird client library %1 has no fb_get_master_interface: %2")
                    .arg(library, why));
  }
  Client client{master, master->getUtilInterface(), reinterpret_cast<void*>(getMaster),
                reinterpret_cast<void (*)(char*)>(lib->resolve("isc_get_client_version"))};
  return loaded.emplace(library, client).first->second;
}

namespace {

// What a vector with nothing in it reads as.
const intptr_t* emptyVector() {
  static const intptr_t empty[] = {isc_arg_gds, 0, isc_arg_end};
  return empty;
}

// The client cuts its formatted text to the buffer given; a text that fills the buffer may
// have been cut, so the buffer doubles until the text ends short of it. Past this size the
// text is a runaway and is kept as it stands.
constexpr qsizetype largestText = 16 * 1024 * 1024;

}  // namespace

Status::Status(const Client& client) : client_(client), status_(client.master->getStatus()) {}

QString Status::text() const {
  QByteArray buffer(4096, '\0');
  for (;;) {
    client_.util->formatStatus(buffer.data(), unsigned(buffer.size()), status_.get());
    const qsizetype length = qstrnlen(buffer.constData(), size_t(buffer.size()));
    if (length + 1 < buffer.size() || buffer.size() >= largestText) {
      buffer.truncate(length);
      break;
    }
    buffer = QByteArray(buffer.size() * 2, '\0');
  }
  return fromCp1252(buffer);
}

void Status::checkException(Status* status) {
  if (!(status->getState() & IStatus::STATE_ERRORS)) return;
  QString message = status->text();
  // The first code of the vector says what the error is (isc_arg_gds, code, ...).
  std::optional<long> code;
  if (const intptr_t* errors = status->getErrors(); errors && errors[0] == isc_arg_gds)
    code = long(errors[1]);
  status->clearState();
  throw Error(Error::Kind::Database, std::move(message), code);
}

void Status::setVersionError(Firebird::IStatus* status, const char* interfaceName,
                             unsigned currentVersion, unsigned expectedVersion) {
  const intptr_t vector[] = {isc_arg_gds,    isc_interface_version_too_old,
                             isc_arg_number, intptr_t(expectedVersion),
                             isc_arg_number, intptr_t(currentVersion),
                             isc_arg_string, reinterpret_cast<intptr_t>(interfaceName),
                             isc_arg_end};
  status->setErrors(vector);
}

void Status::clearState() {
  if (!dirty_) return;
  dirty_ = false;
  status_->init();
}

void Status::setErrors2(unsigned length, const intptr_t* value) {
  dirty_ = true;
  status_->setErrors2(length, value);
}

void Status::setWarnings2(unsigned length, const intptr_t* value) {
  dirty_ = true;
  status_->setWarnings2(length, value);
}

void Status::setErrors(const intptr_t* value) {
  dirty_ = true;
  status_->setErrors(value);
}

void Status::setWarnings(const intptr_t* value) {
  dirty_ = true;
  status_->setWarnings(value);
}

const intptr_t* Status::getErrors() const {
  return dirty_ ? status_->getErrors() : emptyVector();
}

const intptr_t* Status::getWarnings() const {
  return dirty_ ? status_->getWarnings() : emptyVector();
}

}  // namespace zavelo::db::fb
