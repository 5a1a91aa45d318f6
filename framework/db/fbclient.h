// The Firebird client library, loaded when the program first reaches for a
// database rather than linked at build time. The program uses a single entry
// point of it, fb_get_master_interface; every other call goes through the
// interfaces that entry point returns.
//
// Loading it at run time lets a site use the client its ERP installed (on
// Windows, fbclient.dll wherever the system finds DLLs, or the older name
// gds32.dll), needs no import library to build, and lets the program say
// which library it looked for when there is none, instead of failing to start
// with the system's own loader error.
//
// Errors: loadFirebirdClient and firebirdMaster throw ClientLibraryError.
#pragma once

#include <QString>
#include <QStringList>

#include "framework/db/database.h"

namespace Firebird {
class IMaster;
}

namespace margivo {

// No library of the list could be loaded, or none that could exports
// fb_get_master_interface. what() and message() hold the text for the user
// (Portuguese, naming the libraries looked for and what to do); details()
// holds the system's own reason for each library, one line each.
class ClientLibraryError : public DatabaseError {
 public:
  ClientLibraryError(const QStringList& libraries, const QString& details);
  const QStringList& libraries() const noexcept { return libraries_; }
  const QString& details() const noexcept { return details_; }

 private:
  QStringList libraries_;
  QString details_;
};

// The names the client library is looked for under on this platform, in
// order: "fbclient.dll", then "gds32.dll" on Windows (where the system's DLL
// search order applies: the program's folder, the system folders, PATH);
// "libfbclient.so.2" elsewhere (the dynamic loader's search path).
QStringList firebirdClientNames();

// Loads the first library of `names` that loads and exports
// fb_get_master_interface, and returns its master interface. The library
// stays loaded until the process ends. A library that loads but lacks the
// entry point (a client older than Firebird 3) is unloaded and the next
// name is tried. Throws ClientLibraryError naming every name of `names`,
// with each one's reason as details.
// REQUIRES: `names` is not empty.
Firebird::IMaster* loadFirebirdClient(const QStringList& names);

// The process's master interface, from the library of firebirdClientNames(),
// loaded at the first call that succeeds. A failed call loads nothing and the
// next call tries again (a client installed meanwhile is found). Thread-safe.
Firebird::IMaster* firebirdMaster();

}  // namespace margivo
