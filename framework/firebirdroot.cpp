#include "framework/firebirdroot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#ifndef MARGIVO_FIREBIRD_ROOT
#define MARGIVO_FIREBIRD_ROOT ""
#endif

namespace margivo {

namespace {

constexpr const char* kVariable = "FIREBIRD";

#ifdef Q_OS_UNIX

// Writes the root's firebird.conf and links the rest of the system root.
bool monta(const QString& raiz, const QString& sistema) {
  QFile conf(raiz + QStringLiteral("/firebird.conf"));
  if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  // The system's settings first; the line after them wins for the one
  // setting changed here.
  const QByteArray texto =
      "# Written by Margivo for its own process: the system's settings with a smaller\n"
      "# sort cache for the embedded engine.\n"
      "include " +
      QFile::encodeName(QFileInfo(sistema + QStringLiteral("/firebird.conf")).absoluteFilePath()) +
      "\nTempCacheLimit = " + PrivateFirebirdRoot::kTempCacheLimit + '\n';
  if (conf.write(texto) != texto.size() || !conf.flush()) return false;
  conf.close();

  const QDir dir(sistema);
  const QFileInfoList entradas =
      dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QFileInfo& entrada : entradas) {
    if (entrada.fileName() == QLatin1String("firebird.conf")) continue;
    // A dangling link of the system root stays dangling here too; anything
    // else that cannot be linked leaves the private root incomplete.
    if (!QFile::link(entrada.absoluteFilePath(), raiz + u'/' + entrada.fileName()) &&
        entrada.exists())
      return false;
  }
  return true;
}

#endif

}  // namespace

QString PrivateFirebirdRoot::systemRoot() { return QStringLiteral(MARGIVO_FIREBIRD_ROOT); }

PrivateFirebirdRoot::PrivateFirebirdRoot(const QString& sistema) {
#ifdef Q_OS_UNIX
  try {
    if (qEnvironmentVariableIsSet(kVariable) || sistema.isEmpty() ||
        !QFileInfo::exists(sistema + QStringLiteral("/firebird.conf")))
      return;
    auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/margivo-firebird-XXXXXX"));
    if (!dir->isValid() || !monta(dir->path(), sistema)) return;
    if (!qputenv(kVariable, QFile::encodeName(dir->path()))) return;
    dir_ = std::move(dir);
    active_ = true;
  } catch (...) {
    // Out of memory while building a few paths: run on the system root.
  }
#else
  Q_UNUSED(sistema);
#endif
}

PrivateFirebirdRoot::~PrivateFirebirdRoot() {
  if (active_) qunsetenv(kVariable);
}

QString PrivateFirebirdRoot::path() const { return active_ ? dir_->path() : QString(); }

}  // namespace margivo
