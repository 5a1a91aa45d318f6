// A private configuration root for the Firebird client library of this
// process.
//
// The embedded engine keeps its sort memory (TempCacheLimit) as a setting of
// the whole engine, read from firebird.conf when the library starts: a value
// passed with a connection is ignored. A process that only reads one
// database needs far less than the system's default, so the program starts
// the library on a root of its own: a temporary directory whose firebird.conf
// includes the system's and then lowers TempCacheLimit, with links to
// everything else of the system root (plugins, character sets, messages,
// aliases). The FIREBIRD variable points the library at it. The system's
// configuration is never changed, and the lock directory (FIREBIRD_LOCK or
// the library's default) stays the one every other process uses.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QTemporaryDir;

namespace margivo {

class PrivateFirebirdRoot {
 public:
  // Sort memory the embedded engine may keep before it spills to temporary
  // files, in firebird.conf's notation.
  static constexpr const char* kTempCacheLimit = "4M";

  // The system's configuration root found when the program was built (the
  // directory of firebird.conf, firebird.msg, plugins/ and intl/); empty when
  // none was found.
  static QString systemRoot();

  // Makes the root in a private temporary directory and sets FIREBIRD to
  // it, unless FIREBIRD is already set (a root chosen by the user wins) or
  // `systemRoot` holds no firebird.conf. Never throws: on any failure the
  // environment is left as it was and the library uses the system root.
  // REQUIRES: no call into the Firebird client library has been made yet in
  // this process (the library reads its configuration once).
  explicit PrivateFirebirdRoot(const QString& systemRoot = PrivateFirebirdRoot::systemRoot());
  // Puts FIREBIRD back as it was and removes the directory.
  ~PrivateFirebirdRoot();
  PrivateFirebirdRoot(const PrivateFirebirdRoot&) = delete;
  PrivateFirebirdRoot& operator=(const PrivateFirebirdRoot&) = delete;

  // Whether FIREBIRD points at the private root.
  bool active() const noexcept { return active_; }
  // The private root's directory (empty when not active).
  QString path() const;

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  bool active_ = false;
};

}  // namespace margivo
