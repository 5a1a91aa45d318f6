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
#include <QStringList>

namespace margivo {

class Query;

// The orders are those selecaoPedidos() selects for `Empresa`,
// `MostraPedidos`, Data1 and Data2 (gadget/selecaopedidos.h).
//
// Closes QryItensPedidos, replaces its statement and opens it. Leaves it open
// on its first row, or empty.
// REQUIRES: QryItensPedidos is bound to an attached database.
// Throws DatabaseError when the statement fails.
void ConsultaItensPedidos(Query& QryItensPedidos, const QString& Empresa,
                          const QString& MostraPedidos, const QDate& Data1, const QDate& Data2);

// The same rows of one order only: `pedido` holds its CODEMPRESA,
// TIPOPEDIDO and CODPEDIDO, compared as the database compares codes. Its rows
// come in the order they come among the period's rows; none when the order
// is not one the period selects.
void ConsultaItensDoPedido(Query& QryItensPedidos, const QString& Empresa,
                           const QString& MostraPedidos, const QDate& Data1, const QDate& Data2,
                           const QStringList& pedido);

}  // namespace margivo
