// Internal: a statement prepared on an attachment, what the database says of
// its parameters and its result, and the attachment's cache of them.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "framework/db/columns_p.h"
#include "framework/db/firebird_p.h"

namespace margivo::detail {

// One input parameter as the database describes it.
struct Parameter {
  unsigned type = 0;  // SQL_* without the nullable bit
  int subType = 0;
  int scale = 0;
  unsigned length = 0;
  unsigned charSet = 0;
};

// The layout of one input message as it is sent.
struct InputShape {
  Firebird::IMessageMetadata* metadata = nullptr;
  std::vector<unsigned> offsets;
  std::vector<unsigned> nullOffsets;
  unsigned length = 0;

  InputShape() = default;
  InputShape(const InputShape&) = delete;
  InputShape& operator=(const InputShape&) = delete;
  ~InputShape() {
    if (metadata) metadata->release();
  }
};

// A statement prepared on an attachment. Shared by the attachment's cache
// and whoever runs it; freed when the last of them lets it go.
struct PreparedStatement {
  Firebird::IStatement* statement = nullptr;
  Firebird::IMessageMetadata* inputMetadata = nullptr;
  Firebird::IMessageMetadata* outputMetadata = nullptr;
  std::vector<Parameter> parameters;
  std::shared_ptr<const Layout> layout;
  bool hasCursor = false;
  // Input messages reshaped for the values given (text lengths, numbers
  // sent as int64 or double), by a signature of the value kinds. Small and
  // bounded: the same call site sends the same kinds every time.
  std::map<QByteArray, std::unique_ptr<InputShape>> inputShapes;
  // A cursor of it is open (forward-only reading): a statement has one
  // cursor at a time, so the same text then runs on a statement of its own.
  bool inUse = false;

  PreparedStatement() = default;
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;
  ~PreparedStatement() { free(); }

  // Prepares `sql` (final text, parameters as '?') in the ERP's dialect and
  // reads its description. Throws DatabaseError quoting `display`.
  static std::shared_ptr<PreparedStatement> prepare(Firebird::IAttachment* attachment,
                                                    Firebird::ITransaction* transaction,
                                                    const QByteArray& sql, const QString& display);
  // Frees the statement and releases its metadata. REQUIRES: the
  // attachment is still attached, or already gone (then only releases).
  void free() noexcept;
};

// Prepared statements kept by text, the least recently used dropped first.
// The engine uses a few dozen distinct texts, plus one per product code in
// the day-of-sale cost look-ups, which write their codes into the text.
class StatementCache {
 public:
  static constexpr std::size_t kCapacity = 256;

  // The statement kept for `sql`, now the most recently used; nullptr when
  // none is.
  std::shared_ptr<PreparedStatement> find(const QByteArray& sql);
  // Keeps `statement` for `sql`, dropping the least recently used one when
  // full. A statement dropped while its cursor is open lives on with the
  // cursor.
  void insert(const QByteArray& sql, std::shared_ptr<PreparedStatement> statement);
  // Lets every statement go (each is freed unless a cursor still holds it).
  void clear() noexcept;

 private:
  std::list<std::pair<QByteArray, std::shared_ptr<PreparedStatement>>> statements_;
  QHash<QByteArray, decltype(statements_)::iterator> index_;
};

}  // namespace margivo::detail
