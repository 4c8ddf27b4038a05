#include "settings/settings_file.h"

#include <QByteArray>
#include <QFileInfo>
#include <QtGlobal>
#include <algorithm>

#include "settings/settings_parser.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#endif

namespace zavelo::settings {

namespace {

// The settings file opened for reading without sharing; closed when it goes out of scope, so
// an error while reading closes it before the error reaches the caller.
class ExclusiveFile {
 public:
  ExclusiveFile() = default;
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;
  ~ExclusiveFile() { close(); }

#ifdef Q_OS_WIN
  bool open(const QString& path) {
    // Share mode 0: nobody else may open the file while we hold it, and an open by someone
    // else makes ours fail.
    handle_ = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ, 0, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) {
      close();
      return false;
    }
    size_ = size.QuadPart;
    return true;
  }

  qint64 read(char* buffer, qint64 count) {
    DWORD done = 0;
    if (!ReadFile(handle_, buffer, DWORD(count), &done, nullptr)) return -1;
    return done;
  }

  void close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
#else
  bool open(const QString& path) {
    // O_NONBLOCK keeps a FIFO of that name from blocking the open; regular files ignore it.
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      close();
      return false;
    }
    size_ = st.st_size;
    return true;
  }

  qint64 read(char* buffer, qint64 count) {
    for (;;) {
      const ssize_t done = ::read(fd_, buffer, size_t(count));
      if (done >= 0 || errno != EINTR) return done;
    }
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
    fd_ = -1;
  }
#endif

  qint64 size() const {
    return size_;
  }

 private:
#ifdef Q_OS_WIN
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  qint64 size_ = 0;
};

}  // namespace

QString settingsFilePath(const QString& directory) {
#ifdef Q_OS_WIN
  return directory + QStringLiteral("\\settingsenvio.conf");
#else
  return directory + QStringLiteral("/settingsenvio.conf");
#endif
}

QString cargarsettings(const QString& directory, TSettingsEnvio& out, SettingsFileRead* read) {
  out = TSettingsEnvio{};
  const QString path = settingsFilePath(directory);
  SettingsFileRead ignored;
  SettingsFileRead& result = read ? *read : ignored;
  result = SettingsFileRead{.path = path};
  ExclusiveFile file;
  if (!file.open(path)) {
    result.state = QFileInfo::exists(path) || QFileInfo(path).isSymLink()
                       ? SettingsFileState::Unreadable
                       : SettingsFileState::Missing;
    return path;
  }
  result.opened = true;
  // Until the last byte is read: a line too long throws on the way.
  result.state = SettingsFileState::Unreadable;

  SettingsReader reader(out);
  // Counted whichever way the reading ends, a line too long included.
  struct CountLines {
    const SettingsReader& reader;
    SettingsFileRead& read;
    ~CountLines() { read.lines = reader.lines(); }
  } count{reader, result};
  // Pieces of a fixed size: a large file costs no more memory than a small one.
  QByteArray chunk(64 * 1024, Qt::Uninitialized);
  qint64 remaining = file.size();
  while (remaining > 0) {
    const qint64 got = file.read(chunk.data(), std::min<qint64>(remaining, chunk.size()));
    if (got <= 0) break;
    remaining -= got;
    reader.feed(QByteArrayView(chunk.constData(), qsizetype(got)));
  }
  if (remaining == 0) result.state = SettingsFileState::Read;
  return path;
}

}  // namespace zavelo::settings
