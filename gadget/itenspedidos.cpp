#include "gadget/itenspedidos.h"

#include <QStringList>

#include "framework/datetime.h"
#include "framework/query.h"

namespace margivo {

void ConsultaItensPedidos(Query& QryItensPedidos, const QString& Empresa,
                          const QString& MostraPedidos, const QDate& Data1, const QDate& Data2) {
  QryItensPedidos.close();
  QStringList& sql = QryItensPedidos.sql();
  sql.clear();

  // The whole fixed part sits on one line. An empty branch code means that no
  // branch was chosen, and the panel then reads "Todas as Filiais": every
  // branch counts (comparing with the empty code would only find items that
  // belong to no branch).
  QStringList fixo{
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
      QStringLiteral("WHERE PEDIDOC.DATAPEDIDO BETWEEN :Data1 AND :Data2"),
  };
  const bool todasAsFiliais = Empresa.isEmpty();
  if (!todasAsFiliais) fixo << QStringLiteral("AND PEDIDOI.CODEMPRESA = :Empresa");
  fixo << QStringLiteral("AND COALESCE(PEDIDOC.FATURADO, \"X\") <> \"X\"");
  sql << fixo.join(QStringLiteral("  "));

  if (MostraPedidos == QLatin1String("0")) {
    sql << QStringLiteral("  AND PEDIDOC.FATURADO = \"S\"  ");
  } else if (MostraPedidos == QLatin1String("1")) {
    sql << QStringLiteral("  AND PEDIDOC.FATURADO <> \"S\"  ");
  }
  // Every column but the three sums: one row per product and grade of an order.
  sql << QStringLiteral("GROUP BY 1,2,6,7,8,9,10,11,12,13,14,15,16,17  ");

  // The days travel as dates, never through locale-dependent text.
  QryItensPedidos.setDate(QStringLiteral("Data1"), toTDateTime(Data1));
  QryItensPedidos.setDate(QStringLiteral("Data2"), toTDateTime(Data2));
  if (!todasAsFiliais) QryItensPedidos.setString(QStringLiteral("Empresa"), Empresa);
  QryItensPedidos.open();
}

}  // namespace margivo
