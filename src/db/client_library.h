// What the Firebird client library turned out to be: the file it was loaded from and its
// version, for whoever checks an installation.
#pragma once

#include <QString>

namespace zavelo::db {

struct ClientLibraryInfo {
  QString path;     // the file the system loaded, or the name asked for when it cannot tell
  QString version;  // "3.0 (LI-V3.0.11.33703 Firebird 3.0)"
};

// Loads the library as connecting does (a bare name the platform's usual way) and describes
// it. Throws the loader's Error, which names the library, when it cannot be loaded.
ClientLibraryInfo clientLibraryInfo(const QString& library);

}  // namespace zavelo::db
