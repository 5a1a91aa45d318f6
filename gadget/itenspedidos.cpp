#include "gadget/itenspedidos.h"

#include <QStringList>

#include "framework/db/query.h"
#include "gadget/selecaopedidos.h"

namespace margivo {

namespace {

// The statement of the period, of one of its orders only when `pedido` is
// given (CODEMPRESA, TIPOPEDIDO, CODPEDIDO).
void Consulta(Query& QryItensPedidos, const QString& Empresa, const QString& MostraPedidos,
              const QDate& Data1, const QDate& Data2, const QStringList* pedido) {
  QryItensPedidos.close();
  QStringList& sql = QryItensPedidos.sql();
  sql.clear();

  // The whole fixed part sits on one line, the selection's first line with
  // it; the items carry their order's branch, which the join makes equal to
  // the header's.
  const SqlCondition pedidos =
      selecaoPedidos(Empresa, MostraPedidos, Data1, Data2, QStringLiteral("PEDIDOI.CODEMPRESA"));
  const QStringList fixo{
      QStringLiteral("SELECT PEDIDOI.CODPROD,"),
      QStringLiteral("PEDIDOI.CODGRADE,"),
      QStringLiteral("SUM(PEDIDOI.QUANTIDADE) AS QUANTIDADE,"),
      QStringLiteral("SUM(PEDIDOI.PRECOUNIT) AS PRECOUNIT,"),
      QStringLiteral("SUM(PEDIDOI.DESCONTOVLR) AS DESCONTOVLR,"),
      QStringLiteral("PEDIDOC.COMISSAO,"),
      QStringLiteral("PEDIDOC.CODVENDEDOR,"),
      QStringLiteral("PEDIDOC.CODPEDIDO,"),
      QStringLiteral("PEDIDOC.TIPOPEDIDO,"),
      QStringLiteral("PEDIDOC.CODEMPRESA,"),
      QStringLiteral("PEDIDOC.DATAPEDIDO,"),
      QStringLiteral("PEDIDOC.DATAENTREGA,"),
      QStringLiteral("PEDIDOC.FRETE,"),
      QStringLiteral("PEDIDOC.CODPRAZO,"),
      QStringLiteral("PEDIDOC.TOTALPEDIDO,"),
      QStringLiteral("PEDIDOC.VLRACRESCIMO,"),
      QStringLiteral("PRODUTO.DESCRICAO"),
      QStringLiteral("FROM PEDIDOI"),
      QStringLiteral("INNER JOIN PEDIDOC"),
      QStringLiteral("ON (PEDIDOI.CODEMPRESA = PEDIDOC.CODEMPRESA"),
      QStringLiteral("AND PEDIDOI.TIPOPEDIDO = PEDIDOC.TIPOPEDIDO"),
      QStringLiteral("AND PEDIDOI.CODPEDIDO = PEDIDOC.CODPEDIDO)"),
      QStringLiteral("INNER JOIN PRODUTO"),
      QStringLiteral("ON (PEDIDOI.CODPROD = PRODUTO.CODPROD)"),
      QStringLiteral("WHERE ") + pedidos.lines.first(),
  };
  sql << fixo.join(QStringLiteral("  "));
  sql << pedidos.lines.mid(1);
  if (pedido != nullptr) {
    sql << QStringLiteral(
        "  AND PEDIDOC.CODEMPRESA = :MGV_EMPRESA AND PEDIDOC.TIPOPEDIDO = :MGV_TIPO"
        " AND PEDIDOC.CODPEDIDO = :MGV_PEDIDO  ");
  }
  // Every column but the three sums: one row per product and grade of an order.
  sql << QStringLiteral("GROUP BY 1,2,6,7,8,9,10,11,12,13,14,15,16,17  ");

  pedidos.bind(QryItensPedidos);
  if (pedido != nullptr) {
    QryItensPedidos.setString(QStringLiteral("MGV_EMPRESA"), pedido->value(0));
    QryItensPedidos.setString(QStringLiteral("MGV_TIPO"), pedido->value(1));
    QryItensPedidos.setString(QStringLiteral("MGV_PEDIDO"), pedido->value(2));
  }
  QryItensPedidos.open();
}

}  // namespace

void ConsultaItensPedidos(Query& QryItensPedidos, const QString& Empresa,
                          const QString& MostraPedidos, const QDate& Data1, const QDate& Data2) {
  Consulta(QryItensPedidos, Empresa, MostraPedidos, Data1, Data2, nullptr);
}

void ConsultaItensDoPedido(Query& QryItensPedidos, const QString& Empresa,
                           const QString& MostraPedidos, const QDate& Data1, const QDate& Data2,
                           const QStringList& pedido) {
  Consulta(QryItensPedidos, Empresa, MostraPedidos, Data1, Data2, &pedido);
}

}  // namespace margivo
