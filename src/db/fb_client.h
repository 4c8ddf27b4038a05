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

// A status vector of the client, with the check that turns an error into zavelo::Error.
class Status {
 public:
  explicit Status(const Client& client);
  ~Status();
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  // What the OO API calls take as their status argument.
  Firebird::CheckStatusWrapper* ptr() { return &wrapper_; }
  bool failed() const { return (wrapper_.getState() & Firebird::IStatus::STATE_ERRORS) != 0; }
  // The client's text for the current error.
  QString text();
  // Throws the current error, if any, then clears the vector for the next call.
  void check();
  void clear() { wrapper_.init(); }

 private:
  const Client& client_;
  Firebird::IStatus* status_;
  Firebird::CheckStatusWrapper wrapper_;
};

}  // namespace zavelo::db::fb
