// The Firebird client library, loaded at run time, and the small RAII layer over its OO API:
// every interface is released or disposed by its owner, and every failed call becomes a
// zavelo::Error carrying the client's own error text. Only the db sources include this.
#pragma once

#include <firebird/Interface.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <utility>

#include "common/error.h"

namespace zavelo::db::fb {

// The entry points of one loaded client library. Loaded once per library name and never
// unloaded: the client keeps threads and handlers of its own for the life of the process.
struct Client {
  Firebird::IMaster* master = nullptr;
  Firebird::IUtil* util = nullptr;
  // fb_get_master_interface, which tells the file the library was loaded from.
  void* entry = nullptr;
  // isc_get_client_version when the library has it (the whole version text).
  void (*versionText)(char*) = nullptr;
};

// Loads the library (a bare name is looked up the platform's usual way) and resolves
// fb_get_master_interface. Throws an Error naming the library when either fails.
const Client& loadClient(const QString& library);

// An owned reference to a reference-counted interface: release() when dropped.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~Ref() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Gives up ownership, for calls that release the interface themselves on success
  // (commit, detach, close, free).
  T* take() { return std::exchange(p_, nullptr); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->release();
  }

 private:
  T* p_ = nullptr;
};

// Owners for the client's objects that end with dispose() rather than release() (status
// vectors, parameter-block builders).
struct Dispose {
  void operator()(Firebird::IDisposable* object) const noexcept {
    if (object) object->dispose();
  }
};
template <typename T>
using Disposed = std::unique_ptr<T, Dispose>;

// A status vector of the client that throws by itself: every OO API call made with it checks
// its outcome on return and throws zavelo::Error with the client's formatted text, so no call
// can go unchecked. The OO API's call wrappers do this through the static hooks below
// (clearException before the call, checkException after it).
class Status : public Firebird::IStatusImpl<Status, Status> {
 public:
  explicit Status(const Client& client);
  ~Status() override = default;
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  // The client's whole text for the current errors and warnings, however long.
  QString text() const;

  // The hooks of the OO API's call wrappers.
  static void clearException(Status* status) { status->clearState(); }
  static void checkException(Status* status);
  // Only reached when a method of this class throws, and none does.
  static void catchException(Firebird::IStatus*) {}
  static void setVersionError(Firebird::IStatus* status, const char* interfaceName,
                              unsigned currentVersion, unsigned expectedVersion);

  // IStatus, forwarded to the client's own vector. Only a vector a call wrote to ("dirty")
  // is cleared before the next call, which keeps a fetch loop from clearing it on every row.
  void dispose() override {}  // lives in its owner's scope; the client never disposes it
  void init() override { clearState(); }
  unsigned getState() const override { return dirty_ ? status_->getState() : 0; }
  void setErrors2(unsigned length, const intptr_t* value) override;
  void setWarnings2(unsigned length, const intptr_t* value) override;
  void setErrors(const intptr_t* value) override;
  void setWarnings(const intptr_t* value) override;
  const intptr_t* getErrors() const override;
  const intptr_t* getWarnings() const override;
  Firebird::IStatus* clone() const override { return status_->clone(); }

 private:
  void clearState();

  const Client& client_;
  Disposed<Firebird::IStatus> status_;
  bool dirty_ = false;
};

}  // namespace zavelo::db::fb
