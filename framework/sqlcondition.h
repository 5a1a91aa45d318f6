// A condition of a WHERE clause with its named parameters, built in one place
// and spliced into every statement that selects the same rows.
//
// The condition is written as statements are: line by line, parameters as
// ":Name". A statement that takes it puts its first line after its own
// "WHERE " and its other lines after that, and binds the parameters. A
// statement that has to declare its parameters (a procedural block) declares
// each one with the type of the column it is compared with.
#pragma once

#include <QString>
#include <QStringList>
#include <variant>
#include <vector>

#include "framework/datetime.h"
#include "framework/db/query.h"

namespace margivo {

struct SqlCondition {
  struct Parameter {
    QString name;                            // as written after the ':'
    std::variant<QString, TDateTime> value;  // a text, or a day (no time of day)
    QString column;                          // e.g. "PEDIDOC.DATAPEDIDO", for its type

    // Sets the value on `query` as its parameter `as` (the name, or a
    // position where the statement marks its parameters with '?').
    void bindAs(Query& query, const QString& as) const {
      if (const QString* text = std::get_if<QString>(&value))
        query.setString(as, *text);
      else
        query.setDate(as, std::get<TDateTime>(value));
    }
  };

  QStringList lines;  // the condition without the WHERE; never empty
  std::vector<Parameter> parameters;

  // Sets every parameter on `query` by name. May throw DatabaseError, as
  // setting any parameter may.
  void bind(Query& query) const {
    for (const Parameter& parameter : parameters) parameter.bindAs(query, parameter.name);
  }
};

}  // namespace margivo
