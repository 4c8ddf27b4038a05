#include "app/run_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "common/cp1252.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zavelo {
namespace {

// Named after the output folder, so that runs for different folders do not hold each other.
QString lockName(const QByteArray& outputFolder) {
  QString folder = QDir::cleanPath(QFileInfo(fromCp1252(outputFolder)).absoluteFilePath());
#ifdef _WIN32
  folder = folder.toLower();  // one folder, however its name is written
#endif
  const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1);
  return QStringLiteral("zadirod-%1.lock").arg(QString::fromLatin1(hash.toHex().left(16)));
}

}  // namespace

QString runLockFolder() {
#ifndef _WIN32
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) return QDir::cleanPath(runtime);
#endif
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

RunLock::RunLock(const QByteArray& outputFolder, const QString& folder)
    : folder_(folder), path_(QDir(folder).filePath(lockName(outputFolder))) {}

RunLock::State RunLock::fail(const QString& why) {
  error_ = why;
  state_ = State::Failed;
  return state_;
}

#ifdef _WIN32

RunLock::~RunLock() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

RunLock::State RunLock::tryLock() {
  if (state_ == State::Taken) return state_;
  // The user's local application data is the user's alone.
  if (!QDir().mkpath(folder_))
    return fail(
        QStringLiteral("no se puede crear la carpeta %1").arg(QDir::toNativeSeparators(folder_)));
  // Opened without sharing: while this handle is open nobody else can open the file at all.
  const std::wstring name = QDir::toNativeSeparators(path_).toStdWString();
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
      state_ = State::HeldElsewhere;
      return state_;
    }
    return fail(qt_error_string(static_cast<int>(error)));
  }
  handle_ = handle;
  state_ = State::Taken;
  return state_;
}

#else

RunLock::~RunLock() {
  // Closing the file is what frees the lock; the file stays for the next run.
  if (fd_ >= 0) ::close(fd_);
}

RunLock::State RunLock::tryLock() {
  if (state_ == State::Taken) return state_;
  const QByteArray folder = QFile::encodeName(folder_);
  if (!QFileInfo(folder_).isDir()) {
    // The folders above are made as Qt makes the data folder; this one for its user alone.
    QDir().mkpath(QFileInfo(folder_).absolutePath());
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
      return fail(QStringLiteral("no se puede crear la carpeta %1: %2")
                      .arg(folder_, qt_error_string(errno)));
  }
  struct stat info {};
  if (::lstat(folder.constData(), &info) != 0)
    return fail(QStringLiteral("la carpeta %1: %2").arg(folder_, qt_error_string(errno)));
  if (!S_ISDIR(info.st_mode)) return fail(QStringLiteral("%1 no es una carpeta").arg(folder_));
  if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return fail(
        QStringLiteral("la carpeta %1 no es solo de este usuario (otros pueden escribir en ella)")
            .arg(folder_));

  // Never through a link, and never handed to a program this one starts.
  const int fd = ::open(QFile::encodeName(path_).constData(),
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return fail(QStringLiteral("%1: %2").arg(path_, qt_error_string(errno)));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) {
      state_ = State::HeldElsewhere;
      return state_;
    }
    return fail(QStringLiteral("%1: %2").arg(path_, qt_error_string(error)));
  }
  fd_ = fd;
  state_ = State::Taken;
  return state_;
}

#endif

}  // namespace zavelo
