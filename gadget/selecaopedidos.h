// Which orders the profitability gadget counts, as one condition on the
// order header PEDIDOC that the order-items query and the engine's period
// loads both take.
#pragma once

#include <QDate>
#include <QString>

#include "framework/sqlcondition.h"

namespace margivo {

// The orders of branch `Empresa` (CODEMPRESA; empty: every branch) dated
// Data1 to Data2, both included (DATAPEDIDO compared with the days at
// midnight), of the kind the setting `MostraPedidos` names: "0" invoiced only
// (FATURADO "S"), "1" recorded and not yet invoiced only (FATURADO set,
// neither "S" nor "X"), any other text every order whose FATURADO is set and
// not "X". An order whose FATURADO is null or "X" never counts.
//
// The condition names the columns as PEDIDOC.<column>, without an alias,
// and its parameters Data1, Data2 and Empresa (Empresa only with a branch).
// `colunaEmpresa` is the column compared with the branch: a statement that
// joins the items on the branch may compare the items' own column.
SqlCondition selecaoPedidos(const QString& Empresa, const QString& MostraPedidos,
                            const QDate& Data1, const QDate& Data2,
                            const QString& colunaEmpresa = QStringLiteral("PEDIDOC.CODEMPRESA"));

}  // namespace margivo
