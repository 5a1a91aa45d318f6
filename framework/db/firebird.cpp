#include "framework/db/firebird_p.h"

#include <algorithm>
#include <vector>

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
  // formatStatus copies at most the buffer's size and returns what it
  // copied, with no terminating zero when the text fills the buffer: a
  // text that fills it may be cut, so it is formatted again into a larger
  // one. Messages quote paths and statements of any length; past
  // kMaxStatusText the text is cut, never read beyond its buffer.
  constexpr std::size_t kFirstSize = 4096;
  constexpr std::size_t kMaxStatusText = std::size_t(1) << 20;
  std::vector<char> buffer(kFirstSize);
  for (;;) {
    const unsigned copied = util()->formatStatus(buffer.data(), unsigned(buffer.size()), status);
    const std::size_t length = std::min<std::size_t>(copied, buffer.size());
    if (length < buffer.size() || buffer.size() >= kMaxStatusText) {
      // A zero inside the copied text ends it, as it ends the engine's
      // own formatting.
      const auto end = std::find(buffer.begin(), buffer.begin() + std::ptrdiff_t(length), '\0');
      return decodeText(buffer.data(), std::size_t(end - buffer.begin())).trimmed();
    }
    buffer.assign(buffer.size() * 4, '\0');
  }
}

bool hasErrorCode(Firebird::IStatus* status, intptr_t code) noexcept {
  if (!(status->getState() & Firebird::IStatus::STATE_ERRORS)) return false;
  // The error vector: a tag, then its argument (two for a counted string),
  // up to isc_arg_end. The error sought may come wrapped in other errors.
  for (const intptr_t* v = status->getErrors(); *v != isc_arg_end;) {
    const intptr_t tag = *v++;
    if (tag == isc_arg_gds && *v == code) return true;
    v += tag == isc_arg_cstring ? 2 : 1;
  }
  return false;
}

bool isCancelled(Firebird::IStatus* status) noexcept { return hasErrorCode(status, isc_cancelled); }

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
