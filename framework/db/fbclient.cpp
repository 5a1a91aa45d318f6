#include "framework/db/fbclient.h"

#include <firebird/Interface.h>

#include <mutex>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace margivo {
namespace {

using GetMasterInterface = Firebird::IMaster*(ISC_EXPORT*)();

constexpr char kEntryPoint[] = "fb_get_master_interface";

QString userMessage(const QStringList& libraries) {
  return QStringLiteral(
             "Não foi possível carregar a biblioteca cliente do Firebird (%1). "
             "Instale o cliente do Firebird usado pelo ERP, na versão de 64 bits.")
      .arg(libraries.join(QStringLiteral(", ")));
}

// One line of the details: the library's name and the reason it was passed
// over (the system's own text where it gives one).
QString detailLine(const QString& name, const QString& reason) {
  // dlerror() already starts with the file name.
  if (reason.startsWith(name + u':')) return reason;
  return name + QStringLiteral(": ") + reason;
}

QString missingEntryPoint() {
  return QStringLiteral("a biblioteca não tem %1 (cliente anterior ao Firebird 3)")
      .arg(QLatin1String(kEntryPoint));
}

#ifdef _WIN32

QString systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  QString message = n > 0 ? QString::fromWCharArray(text, int(n)).trimmed() : QString();
  if (text != nullptr) LocalFree(text);
  if (message.isEmpty())
    message = QStringLiteral("erro %1").arg(code);
  else
    message += QStringLiteral(" (erro %1)").arg(code);
  // A 32-bit client (the ERP's own, often) cannot be loaded by a 64-bit
  // program: say so, the system's text does not.
  if (code == ERROR_BAD_EXE_FORMAT) message += QStringLiteral("; a biblioteca não é de 64 bits");
  return message;
}

// Loads `name`; on failure returns nothing and sets `reason`.
GetMasterInterface loadOne(const QString& name, QString& reason) {
  const std::wstring wide = name.toStdWString();
  // No "cannot find" dialog from the system: a failure is reported here.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = LoadLibraryW(wide.c_str());
  const DWORD error = GetLastError();
  SetThreadErrorMode(oldMode, nullptr);
  if (module == nullptr) {
    reason = systemMessage(error);
    return nullptr;
  }
  auto entry = reinterpret_cast<GetMasterInterface>(
      reinterpret_cast<void*>(GetProcAddress(module, kEntryPoint)));
  if (entry == nullptr) {
    reason = missingEntryPoint();
    FreeLibrary(module);
  }
  return entry;
}

#else

GetMasterInterface loadOne(const QString& name, QString& reason) {
  void* handle = dlopen(name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = dlerror();
    reason = error != nullptr ? QString::fromLocal8Bit(error) : QStringLiteral("erro desconhecido");
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(handle, kEntryPoint);
  if (symbol == nullptr) {
    reason = missingEntryPoint();
    dlclose(handle);
    return nullptr;
  }
  return reinterpret_cast<GetMasterInterface>(symbol);
}

#endif

}  // namespace

ClientLibraryError::ClientLibraryError(const QStringList& libraries, const QString& details)
    : DatabaseError(userMessage(libraries)), libraries_(libraries), details_(details) {}

QStringList firebirdClientNames() {
#ifdef _WIN32
  return {QStringLiteral("fbclient.dll"), QStringLiteral("gds32.dll")};
#else
  return {QStringLiteral("libfbclient.so.2")};
#endif
}

Firebird::IMaster* loadFirebirdClient(const QStringList& names) {
  QStringList reasons;
  for (const QString& name : names) {
    QString reason;
    if (GetMasterInterface entry = loadOne(name, reason)) {
      if (Firebird::IMaster* master = entry()) return master;
      reason =
          QStringLiteral("%1 não devolveu a interface do cliente").arg(QLatin1String(kEntryPoint));
    }
    reasons.append(detailLine(name, reason));
  }
  throw ClientLibraryError(names, reasons.join(u'\n'));
}

Firebird::IMaster* firebirdMaster() {
  static std::mutex mutex;
  static Firebird::IMaster* master = nullptr;
  const std::lock_guard lock(mutex);
  if (master == nullptr) master = loadFirebirdClient(firebirdClientNames());
  return master;
}

}  // namespace margivo
