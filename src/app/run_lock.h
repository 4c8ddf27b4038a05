// The lock that keeps two unattended starts from writing one output folder at once.
//
// It is an operating-system lock held on an open file (flock on POSIX, a handle opened without
// sharing on Windows), so the kernel frees it when its process ends, however it ends: a file
// left behind by a killed run, an empty one or one full of garbage never turns a start away,
// since what such a file holds is never read. The file lives in a folder only its user can
// write, so that no other user can jam it.
#pragma once

#include <QByteArray>
#include <QString>

namespace zavelo {

// The folder of the locks: on Linux $XDG_RUNTIME_DIR where it is set, else the application's
// local data folder (as on Windows, where that is the user's local application data).
QString runLockFolder();

class RunLock {
 public:
  enum class State { Unlocked, Taken, HeldElsewhere, Failed };

  // The lock of an output folder (as the settings file names it), in the folder given.
  explicit RunLock(const QByteArray& outputFolder, const QString& folder = runLockFolder());
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Tries once, without waiting. The lock folder is made (for its user alone) when missing; a
  // folder that other users may write is not used.
  State tryLock();

  State state() const { return state_; }
  const QString& path() const { return path_; }
  // Why the lock could not be tried, once tryLock() said Failed.
  const QString& error() const { return error_; }

 private:
  State fail(const QString& why);

  QString folder_;
  QString path_;
  State state_ = State::Unlocked;
  QString error_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace zavelo
