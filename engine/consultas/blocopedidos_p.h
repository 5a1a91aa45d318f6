// Internal to the engine's data access. The statement that reads the
// per-order look-ups of a whole period at once: a procedural block
// (EXECUTE BLOCK) over the selected orders, and the look at the column
// catalogue that tells it which installment columns the ERP's table has.
#pragma once

#include <QString>
#include <optional>

namespace margivo {

class Database;

// The installment columns of ParcPedC as the installments look-up reads
// them: VlrParc01, VencParc01, VlrParc02... while the table has them, at
// most 24. None when the table does not exist, has an amount without its
// due date (the look-up would fail on it), or installments of different
// types (the block returns every installment as the first one's type): the
// look-up then runs itself. Throws DatabaseError when the catalogue cannot
// be read.
std::optional<int> colunasDeParcelas(Database* banco);

// The order look-ups of the period in one statement: a block that walks the
// period's orders (`condicoes`, the WHERE clause on PEDIDOC C with the
// block's parameters MGV_DATA1, MGV_DATA2 and, `comEmpresa`, MGV_EMP) and,
// for each, runs the look-ups' own statements with the order's values where
// the calculation passes them, so that each answer is the one the look-up
// gives, its rows read in the same order. For each order it returns one row
// 'P' (closing record, sum of the lines, financing), then its ParcPedC rows
// ('R'), its pre-dated cheques ('C') and its agreement documents ('D').
// Financing, documents and installments are read only for an order whose
// closing record (a single one) has them, the installments only for an order
// without payment condition: the calculation asks nothing else.
// `parcelas`: the installment columns (none: installments not read).
QString blocoDosPedidos(const QString& condicoes, bool comEmpresa, std::optional<int> parcelas);

}  // namespace margivo
