#include "framework/db/firebird_p.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "framework/db/encoding_p.h"
#include "framework/db/fbclient.h"
#include "framework/db/sqltext_p.h"

namespace margivo {

DatabaseError::DatabaseError(const QString& message, Kind kind)
    : std::runtime_error(message.toStdString()), kind_(kind) {}

namespace detail {

Firebird::IMaster* master() {
  static Firebird::IMaster* const instance = firebirdMaster();
  return instance;
}

Firebird::IUtil* util() {
  static Firebird::IUtil* const instance = master()->getUtilInterface();
  return instance;
}

QString statusMessage(Firebird::IStatus* status) {
  std::array<char, 4096> buffer{};
  const unsigned length = util()->formatStatus(buffer.data(), buffer.size(), status);
  QString text =
      decodeText(buffer.data(), std::min<std::size_t>(length, std::strlen(buffer.data())));
  return text.trimmed();
}

bool isCancelled(Firebird::IStatus* status) noexcept {
  if (!(status->getState() & Firebird::IStatus::STATE_ERRORS)) return false;
  // The error vector: a tag, then its argument (two for a counted string),
  // up to isc_arg_end. The cancel may come wrapped in other errors.
  for (const intptr_t* v = status->getErrors(); *v != isc_arg_end;) {
    const intptr_t tag = *v++;
    if (tag == isc_arg_gds && *v == isc_cancelled) return true;
    v += tag == isc_arg_cstring ? 2 : 1;
  }
  return false;
}

void throwDatabaseError(const QString& message, const QString& statement,
                        DatabaseError::Kind kind) {
  const QString line = firstLineOf(statement);
  if (line.isEmpty()) throw DatabaseError(message, kind);
  throw DatabaseError(message + QStringLiteral("\nin statement: ") + line, kind);
}

void throwDatabaseError(const Firebird::FbException& error, const QString& statement) {
  throwDatabaseError(statusMessage(error.getStatus()), statement,
                     isCancelled(error.getStatus()) ? DatabaseError::Kind::Cancelled
                                                    : DatabaseError::Kind::Failure);
}

void rollbackQuietly(Firebird::ITransaction*& transaction) noexcept {
  if (!transaction) return;
  try {
    Status status;
    transaction->rollback(&status);  // releases the interface on success
  } catch (...) {
    transaction->release();
  }
  transaction = nullptr;
}

}  // namespace detail
}  // namespace margivo
