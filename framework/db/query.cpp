#include "framework/db/query.h"

#include <algorithm>
#include <utility>

#include "framework/db/query_p.h"

namespace margivo {

namespace detail {

const ParsedText& QueryImpl::parse() {
  if (parsedValid && parsed.lines == sql) return parsed;
  parsed = parseParameters(sql, paramCheck);
  parsedValid = true;
  values.clear();  // the values belong to the text they were set for
  return parsed;
}

void QueryImpl::setValue(const QString& name, ParameterValue value) {
  const ParsedText& p = parse();
  const QString key = name.startsWith(u':') ? name.mid(1).toUpper() : name.toUpper();
  if (!p.names.contains(key)) {
    throwDatabaseError(QStringLiteral("the statement has no parameter :%1").arg(name), p.text);
  }
  values.insert(key, std::move(value));
}

}  // namespace detail

using Kind = detail::ParameterValue::Kind;

Query::Query(Database* database) : impl_(std::make_unique<detail::QueryImpl>()) {
  impl_->database = database;
}

Query::~Query() = default;

void Query::setDatabase(Database* database) {
  close();
  impl_->database = database;
}

Database* Query::database() const noexcept { return impl_->database; }

void Query::setTransaction(Transaction* transaction) noexcept { impl_->transaction = transaction; }

QStringList& Query::sql() noexcept { return impl_->sql; }

const QStringList& Query::sql() const noexcept { return impl_->sql; }

void Query::setString(const QString& name, const QString& value) {
  impl_->setValue(name, {Kind::Text, value, 0, 0});
}

void Query::setFloat(const QString& name, double value) {
  impl_->setValue(name, {Kind::Float, QString(), value, 0});
}

void Query::setInteger(const QString& name, qint64 value) {
  impl_->setValue(name, {Kind::Integer, QString(), 0, value});
}

void Query::setDate(const QString& name, TDateTime value) {
  impl_->setValue(name, {Kind::Date, QString(), value, 0});
}

void Query::setNull(const QString& name) { impl_->setValue(name, detail::ParameterValue()); }

void Query::open() {
  close();
  impl_->run(true, impl_->unidirectional);
  impl_->active = true;
  impl_->current = 0;
  impl_->bof = true;
}

void Query::execSQL() {
  close();
  impl_->run(false, false);
  close();
}

void Query::close() noexcept {
  impl_->endStream();
  impl_->active = false;
  impl_->rows.clear();
  impl_->blobs.clear();
  impl_->layout.reset();
  impl_->current = 0;
  impl_->bof = true;
}

bool Query::active() const noexcept { return impl_->active; }

bool Query::isEmpty() const noexcept { return recordCount() == 0; }

int Query::recordCount() const noexcept {
  if (!impl_->active) return 0;
  return int(impl_->streaming ? impl_->fetched : impl_->rows.count());
}

// Reading forward only, the query cannot go back: first() on the first row
// (or on an empty result) is all it can do.
void Query::first() noexcept {
  if (impl_->streaming && impl_->current != 0) return;
  impl_->current = 0;
  impl_->bof = true;
}

void Query::last() noexcept {
  if (impl_->streaming) return;
  impl_->current = std::max<qsizetype>(0, recordCount() - 1);
  impl_->bof = recordCount() == 0;
}

void Query::next() {
  detail::QueryImpl& q = *impl_;
  if (q.streaming) {
    if (!q.active || q.current >= recordCount()) return;
    try {
      q.fetchStreamRow();
    } catch (...) {
      close();
      throw;
    }
    q.current = recordCount() - (q.cursor.open() ? 1 : 0);
  } else if (q.current < recordCount()) {
    ++q.current;
  }
  q.bof = recordCount() == 0;
}

void Query::prior() noexcept {
  if (impl_->streaming) return;
  const int count = recordCount();
  if (impl_->current > count) impl_->current = count;
  if (impl_->current > 0) {
    --impl_->current;
    impl_->bof = count == 0;
  } else {
    impl_->bof = true;
  }
}

bool Query::eof() const noexcept { return impl_->current >= recordCount(); }

bool Query::bof() const noexcept { return impl_->bof || recordCount() == 0; }

void Query::setUnidirectional(bool unidirectional) noexcept {
  impl_->unidirectional = unidirectional;
}

bool Query::unidirectional() const noexcept { return impl_->unidirectional; }

void Query::setReadAhead(bool readAhead) noexcept { impl_->readAhead = readAhead; }

void Query::setRowObserver(RowObserver observer) { impl_->rowObserver = std::move(observer); }

void Query::setParamCheck(bool paramCheck) noexcept {
  if (impl_->paramCheck == paramCheck) return;
  impl_->paramCheck = paramCheck;
  impl_->parsedValid = false;
}

}  // namespace margivo
