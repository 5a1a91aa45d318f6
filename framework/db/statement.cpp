#include "framework/db/statement_p.h"

#include "framework/db/encoding_p.h"

namespace margivo::detail {

void PreparedStatement::free() noexcept {
  inputShapes.clear();
  if (inputMetadata) inputMetadata->release();
  if (outputMetadata) outputMetadata->release();
  inputMetadata = outputMetadata = nullptr;
  if (statement) {
    try {
      Status status;
      statement->free(&status);  // releases the interface on success
    } catch (...) {
      statement->release();
    }
    statement = nullptr;
  }
}

namespace {

std::shared_ptr<const Layout> describeOutput(Firebird::IMessageMetadata* meta) {
  Status status;
  auto layout = std::make_shared<Layout>();
  const unsigned count = meta->getCount(&status);
  layout->messageLength = meta->getMessageLength(&status);
  layout->columns.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    Column column;
    QByteArray name = meta->getAlias(&status, i);
    if (name.isEmpty()) name = meta->getField(&status, i);
    column.name = decodeText(name.constData(), std::size_t(name.size()));
    column.type = meta->getType(&status, i) & ~1u;
    column.subType = meta->getSubType(&status, i);
    column.scale = meta->getScale(&status, i);
    column.length = meta->getLength(&status, i);
    column.offset = meta->getOffset(&status, i);
    column.nullOffset = meta->getNullOffset(&status, i);
    if (column.type == SQL_BLOB) layout->hasBlobs = true;
    layout->columns.push_back(std::move(column));
  }
  layout->indexNames();
  return layout;
}

std::vector<Parameter> describeInput(Firebird::IMessageMetadata* meta) {
  Status status;
  std::vector<Parameter> parameters(meta->getCount(&status));
  for (unsigned i = 0; i < parameters.size(); ++i) {
    parameters[i].type = meta->getType(&status, i) & ~1u;
    parameters[i].subType = meta->getSubType(&status, i);
    parameters[i].scale = meta->getScale(&status, i);
    parameters[i].length = meta->getLength(&status, i);
    parameters[i].charSet = meta->getCharSet(&status, i);
  }
  return parameters;
}

}  // namespace

std::shared_ptr<PreparedStatement> PreparedStatement::prepare(Firebird::IAttachment* attachment,
                                                              Firebird::ITransaction* transaction,
                                                              const QByteArray& sql,
                                                              const QString& display) {
  auto prepared = std::make_shared<PreparedStatement>();
  try {
    Status status;
    prepared->statement =
        attachment->prepare(&status, transaction, unsigned(sql.size()), sql.constData(),
                            kSqlDialect, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    prepared->inputMetadata = prepared->statement->getInputMetadata(&status);
    prepared->outputMetadata = prepared->statement->getOutputMetadata(&status);
    prepared->parameters = describeInput(prepared->inputMetadata);
    prepared->layout = describeOutput(prepared->outputMetadata);
    prepared->hasCursor =
        (prepared->statement->getFlags(&status) & Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
  } catch (const Firebird::FbException& error) {
    throwDatabaseError(error, display);
  }
  return prepared;
}

std::shared_ptr<PreparedStatement> StatementCache::find(const QByteArray& sql) {
  const auto found = index_.constFind(sql);
  if (found == index_.cend()) return nullptr;
  statements_.splice(statements_.end(), statements_, found.value());
  return found.value()->second;
}

void StatementCache::insert(const QByteArray& sql, std::shared_ptr<PreparedStatement> statement) {
  while (statements_.size() >= kCapacity) {
    index_.remove(statements_.front().first);
    statements_.pop_front();
  }
  statements_.emplace_back(sql, std::move(statement));
  index_.insert(sql, std::prev(statements_.end()));
}

void StatementCache::clear() noexcept {
  index_.clear();
  statements_.clear();
}

}  // namespace margivo::detail
