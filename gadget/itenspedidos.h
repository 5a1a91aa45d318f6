// The order-items query of the profitability gadget: the sold items of one
// branch over the reporting period, one row per product and grade of each
// sales order, every row carrying its order's header columns (CODPROD,
// CODGRADE, QUANTIDADE, PRECOUNIT, DESCONTOVLR, COMISSAO, CODVENDEDOR,
// CODPEDIDO, TIPOPEDIDO, CODEMPRESA, DATAPEDIDO, DATAENTREGA, FRETE, CODPRAZO,
// TOTALPEDIDO, VLRACRESCIMO, DESCRICAO; the three amounts summed over the
// order's lines of that product and grade). The rows have no defined order.
#pragma once

#include <QDate>
#include <QString>

namespace margivo {

class Query;

// Which orders count, from the setting `MostraPedidos`: "0" invoiced only
// (FATURADO "S"), "1" recorded and not yet invoiced only (FATURADO set,
// neither "S" nor "X"), any other text every order whose FATURADO is set and
// not "X". An order whose FATURADO is null or "X" never counts.
//
// `Empresa` is the branch (CODEMPRESA) whose items count; an empty code
// selects the items of every branch.
//
// Closes QryItensPedidos, replaces its statement and opens it with the days
// Data1 to Data2, both included (the order date is compared with the days at
// midnight). Leaves it open on its first row, or empty.
// REQUIRES: QryItensPedidos is bound to an attached database.
// Throws DatabaseError when the statement fails.
void ConsultaItensPedidos(Query& QryItensPedidos, const QString& Empresa,
                          const QString& MostraPedidos, const QDate& Data1, const QDate& Data2);

}  // namespace margivo
