// Internal header of the database layer: the few things every part of it
// needs from Firebird's C++ interface - the master interface, a status that
// throws, and turning a failed call into a DatabaseError. Not part of the
// public interface; only the layer itself and its white-box tests include it.
#pragma once

#include <firebird/Interface.h>

#include <QString>

#include "framework/db/database.h"

namespace margivo::detail {

// Every statement of the program is prepared in the ERP's dialect.
constexpr unsigned kSqlDialect = 1;

Firebird::IMaster* master();
Firebird::IUtil* util();

// A status vector that throws Firebird::FbException on error; pass &status.
class Status : public Firebird::ThrowStatusWrapper {
 public:
  Status() : Firebird::ThrowStatusWrapper(master()->getStatus()) {}
  ~Status() { status->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
};

// The database's own message for a failed call, several lines joined by
// "\n" (IUtil::formatStatus).
QString statusMessage(Firebird::IStatus* status);

// True when the failed call's errors include `code` (isc_...).
bool hasErrorCode(Firebird::IStatus* status, intptr_t code) noexcept;

// True when the call failed because the attachment's operation was
// cancelled (Database::cancel).
bool isCancelled(Firebird::IStatus* status) noexcept;

// Throws DatabaseError with the database's message and, when `statement` is
// not empty, the statement's first line. A cancelled call gives an error
// whose kind() is Cancelled.
[[noreturn]] void throwDatabaseError(const Firebird::FbException& error, const QString& statement);
[[noreturn]] void throwDatabaseError(const QString& message, const QString& statement,
                                     DatabaseError::Kind kind = DatabaseError::Kind::Failure);

// Ends a transaction and releases its interface, whether or not the end
// succeeds. Used on paths that must not throw.
void rollbackQuietly(Firebird::ITransaction*& transaction) noexcept;

}  // namespace margivo::detail
