// Lengths the query layer checks on real database files: a text parameter
// travels whole or fails naming the parameter, and the database's own
// message is read within its buffer however long it is.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "framework/db/database.h"
#include "framework/db/firebird_p.h"
#include "framework/db/query.h"

namespace margivo {
namespace {

// A dialect 1 file with one row: CODEMPRESA CHAR(2) "01", a VARCHAR(3) and a
// text blob.
class FilialFile {
 public:
  FilialFile() {
    database_.create(dir_.filePath(QStringLiteral("erp.fdb")), QStringLiteral("SYSDBA"), QString());
    database_.executeScript(QStringLiteral(
        "CREATE TABLE FILIAIS (CODEMPRESA CHAR(2), SIGLA VARCHAR(3), OBS BLOB SUB_TYPE 1);"
        "INSERT INTO FILIAIS VALUES ('01', '01', 'x');"));
  }
  ~FilialFile() { database_.drop(); }
  Database& database() { return database_; }

 private:
  QTemporaryDir dir_;
  Database database_;
};

TEST(TextParameters, TravelWholeOrFailNamingTheParameter) {
  struct Case {
    const char* name;
    const char* sql;
    QString value;
    std::optional<int> rows;  // nothing: fails naming :Empresa
  };
  const std::vector<Case> cases = {
      {"fits a CHAR", "SELECT CODEMPRESA FROM FILIAIS WHERE CODEMPRESA = :Empresa", "01", 1},
      {"blanks past the column, as the database ignores them",
       "SELECT CODEMPRESA FROM FILIAIS WHERE CODEMPRESA = :Empresa", "01    ", 1},
      {"fits a VARCHAR", "SELECT SIGLA FROM FILIAIS WHERE SIGLA = :Empresa", "011", 0},
      {"longer than a CHAR", "SELECT CODEMPRESA FROM FILIAIS WHERE CODEMPRESA = :Empresa", "011",
       std::nullopt},
      {"longer than a VARCHAR", "SELECT SIGLA FROM FILIAIS WHERE SIGLA = :Empresa", "0111",
       std::nullopt},
      // Its length travels in 16 bits: 65,538 bytes were once read as 2,
      // "01", and found branch 01.
      {"65,538 bytes against a CHAR(2)",
       "SELECT CODEMPRESA FROM FILIAIS WHERE CODEMPRESA = :Empresa",
       QStringLiteral("01") + QString(65536, u'x'), std::nullopt},
      {"70,000 blanks after the code", "SELECT CODEMPRESA FROM FILIAIS WHERE CODEMPRESA = :Empresa",
       QStringLiteral("01") + QString(70000, u' '), std::nullopt},
      {"the longest text a parameter carries, into a blob",
       "SELECT CAST(:Empresa AS BLOB SUB_TYPE 1) FROM RDB$DATABASE", QString(32765, u'y'), 1},
      {"one byte more", "SELECT CAST(:Empresa AS BLOB SUB_TYPE 1) FROM RDB$DATABASE",
       QString(32766, u'y'), std::nullopt},
  };
  FilialFile file;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Query query(&file.database());
    query.sql() << QString::fromLatin1(c.sql);
    query.setString(QStringLiteral("Empresa"), c.value);
    if (c.rows) {
      ASSERT_NO_THROW(query.open());
      EXPECT_EQ(query.recordCount(), *c.rows);
      if (*c.rows > 0 && c.value.size() > 100) {
        EXPECT_EQ(query.field(0).asString(), c.value) << "the whole text came back";
      }
      continue;
    }
    try {
      query.open();
      ADD_FAILURE() << "ran with " << query.recordCount() << " rows";
    } catch (const DatabaseError& error) {
      const QString message = error.message();
      EXPECT_TRUE(message.contains(QStringLiteral(":Empresa"), Qt::CaseInsensitive))
          << message.left(500).toStdString();
      EXPECT_TRUE(message.contains(QString::number(c.value.size())))
          << "says how long it is: " << message.left(500).toStdString();
      EXPECT_TRUE(message.contains(QStringLiteral("in statement: SELECT")))
          << message.left(500).toStdString();
      EXPECT_LT(message.size(), 1000) << "the value itself is not quoted";
    }
  }
}

// The database's message for a failed call is formatted into a buffer; a
// text longer than the buffer comes back whole, never cut at the buffer's
// size nor read past its end.
TEST(StatusText, AMessageLongerThanTheFirstBufferComesBackWhole) {
  std::vector<QByteArray> lines;
  std::vector<intptr_t> vector;
  for (int i = 0; i < 8; ++i) {
    lines.push_back(QByteArray("line") + QByteArray::number(i) + ' ' + QByteArray(900, 'm') +
                    " end" + QByteArray::number(i));
  }
  for (const QByteArray& line : lines) {
    vector.insert(vector.end(), {isc_arg_gds, isc_random, isc_arg_string,
                                 reinterpret_cast<intptr_t>(line.constData())});
  }
  vector.push_back(isc_arg_end);
  Firebird::IStatus* status = detail::master()->getStatus();
  status->setErrors(vector.data());
  const QString message = detail::statusMessage(status);
  status->dispose();
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(message.contains(QStringLiteral("line%1 ").arg(i))) << i;
    EXPECT_TRUE(message.contains(QStringLiteral(" end%1").arg(i))) << i;
  }
  EXPECT_GT(message.size(), 8 * 900);
}

// A 5,000-character path: the database's message about it is longer than
// any line buffer; the error says which database and why, and nothing is
// read past a buffer (the address-sanitizer build checks that).
TEST(StatusText, AttachingToAVeryLongPathFailsWithItsMessage) {
  QTemporaryDir dir;
  const QString path = dir.path() + u'/' + QString(5000, u'a') + QStringLiteral(".fdb");
  Database database;
  try {
    database.attach(path, QStringLiteral("SYSDBA"), QString());
    ADD_FAILURE() << "attached to a file that does not exist";
  } catch (const DatabaseError& error) {
    const QString message = error.message();
    EXPECT_TRUE(message.startsWith(QStringLiteral("cannot attach to database ") + path + u':'))
        << message.left(300).toStdString();
    const QString engine =
        message.mid(QStringLiteral("cannot attach to database ").size() + path.size() + 1);
    EXPECT_FALSE(engine.trimmed().isEmpty()) << "the database's own message follows";
    for (const QChar c : engine) {
      ASSERT_TRUE(c.isPrint() || c == u'\n') << "unexpected character " << int(c.unicode());
    }
  }
  EXPECT_FALSE(database.attached());
}

}  // namespace
}  // namespace margivo
