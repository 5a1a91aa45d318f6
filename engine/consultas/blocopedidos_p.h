// Internal to the engine's data access. The statement that reads the
// per-order look-ups of a whole period at once: a procedural block
// (EXECUTE BLOCK) over the selected orders, and the look at the column
// catalogue that tells it which installment columns the ERP's table has.
#pragma once

#include <QString>
#include <optional>

namespace margivo {

class Database;
struct SqlCondition;

// The installment columns of ParcPedC as the installments look-up reads
// them: VlrParc01, VencParc01, VlrParc02... while the table has them, at
// most 24. None when the table does not exist, has an amount without its
// due date (the look-up would fail on it), or installments of different
// types (the block returns every installment as the first one's type): the
// look-up then runs itself. Throws DatabaseError when the catalogue cannot
// be read.
std::optional<int> colunasDeParcelas(Database* banco);

// The order look-ups of the period in one statement: a block that walks the
// orders `pedidos` selects (a condition on PEDIDOC, without an alias) and,
// for each, runs the look-ups' own statements with the order's values where
// the calculation passes them, so that each answer is the one the look-up
// gives, its rows read in the same order. For each order it returns one row
// 'P' (closing record, sum of the lines, financing), then its ParcPedC rows
// ('R'), its pre-dated cheques ('C') and its agreement documents ('D').
// Financing, documents and installments are read only for an order whose
// closing record (a single one) has them, the installments only for an order
// without payment condition: the calculation asks nothing else.
//
// The block's input parameters, each a '?' in this order: the condition's
// parameters, declared with the type of their column, then, with
// `empresaDosPagamentos`, the branch the payment look-ups (cheques,
// financing) are asked for, of the type of PEDIDOC.CODEMPRESA; without it
// they are asked for the order's own branch.
// `parcelas`: the installment columns (none: installments not read).
// Throws std::invalid_argument when a parameter of the condition takes a
// name of the block's own (those beginning with MGV_ and the look-ups'
// columns it returns).
QString blocoDosPedidos(const SqlCondition& pedidos, bool empresaDosPagamentos,
                        std::optional<int> parcelas);

}  // namespace margivo
