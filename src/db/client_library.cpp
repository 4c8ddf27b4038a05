#include "db/client_library.h"

#include <QFile>
#include <iterator>

#include "db/fb_client.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zavelo::db {
namespace {

// The file that holds the given code address.
QString loadedFrom(void* address, const QString& fallback) {
#ifdef Q_OS_WIN
  HMODULE module = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(module, path, DWORD(std::size(path)));
    if (length > 0 && length < std::size(path)) return QString::fromWCharArray(path, int(length));
  }
#else
  Dl_info info{};
  if (dladdr(address, &info) != 0 && info.dli_fname && *info.dli_fname)
    return QFile::decodeName(info.dli_fname);
#endif
  return fallback;
}

}  // namespace

ClientLibraryInfo clientLibraryInfo(const QString& library) {
  const fb::Client& client = fb::loadClient(library);
  ClientLibraryInfo info;
  info.path = loadedFrom(client.entry, library);
  const unsigned version = client.util->getClientVersion();
  info.version = QStringLiteral("%1.%2").arg(version >> 8).arg(version & 0xff);
  if (client.versionText) {
    char text[256] = {};
    client.versionText(text);
    text[sizeof text - 1] = '\0';
    if (text[0]) info.version += QStringLiteral(" (%1)").arg(QString::fromLatin1(text));
  }
  return info;
}

}  // namespace zavelo::db
