// Internal: the columns of a result - where each lies in a row and how to
// read it - and finding a column by name without regard to letter case.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace margivo::detail {

// One column of a result: where it lies in the output message and how to
// read it. A plain copy of the database's description, so that fetched rows
// stay readable after the statement is freed.
struct Column {
  QString name;    // alias, or field name when the column has none
  QByteArray key;  // the name in upper case when it is plain ASCII
  bool asciiName = true;
  unsigned type = 0;  // SQL_* without the nullable bit
  int subType = 0;
  int scale = 0;
  unsigned length = 0;
  unsigned offset = 0;
  unsigned nullOffset = 0;
};

struct Layout {
  std::vector<Column> columns;
  unsigned messageLength = 0;
  bool hasBlobs = false;

  // Columns by name without regard to case, as QString::compare with
  // Qt::CaseInsensitive finds them, the first of equal names winning. The
  // engine looks columns up dozens of times per row, so ASCII names (all of
  // the ERP's) are found through a hash of their upper-case form; the rare
  // other name is compared the slow way.
  std::vector<int> nameTable;   // open addressing, power-of-two size; -1 empty
  std::vector<int> otherNames;  // columns whose names are not plain ASCII, ascending

  // Fills `key`, `asciiName` and the tables above from the column names.
  void indexNames();
  // The index of the column called `name`, or -1.
  int find(QStringView name) const;
  int find(QLatin1StringView name) const;
  // True when column `index` has the ASCII name `name` (any letter case).
  bool hasAsciiName(int index, QLatin1StringView name) const noexcept;
};

}  // namespace margivo::detail
