#include "gadget/selecaopedidos.h"

#include <QStringList>

namespace margivo {

SqlCondition selecaoPedidos(const QString& Empresa, const QString& MostraPedidos,
                            const QDate& Data1, const QDate& Data2, const QString& colunaEmpresa) {
  SqlCondition condicao;
  // The days travel as dates, never through locale-dependent text.
  condicao.parameters = {
      {QStringLiteral("Data1"), toTDateTime(Data1), QStringLiteral("PEDIDOC.DATAPEDIDO")},
      {QStringLiteral("Data2"), toTDateTime(Data2), QStringLiteral("PEDIDOC.DATAPEDIDO")},
  };
  QStringList fixo{QStringLiteral("PEDIDOC.DATAPEDIDO BETWEEN :Data1 AND :Data2")};
  // An empty branch code means that no branch was chosen, and the panel then
  // reads "Todas as Filiais": every branch counts (comparing with the empty
  // code would only find orders that belong to no branch).
  if (!Empresa.isEmpty()) {
    fixo << QStringLiteral("AND %1 = :Empresa").arg(colunaEmpresa);
    condicao.parameters.push_back({QStringLiteral("Empresa"), Empresa, colunaEmpresa});
  }
  fixo << QStringLiteral("AND COALESCE(PEDIDOC.FATURADO, \"X\") <> \"X\"");
  condicao.lines << fixo.join(QStringLiteral("  "));
  if (MostraPedidos == QLatin1String("0")) {
    condicao.lines << QStringLiteral("  AND PEDIDOC.FATURADO = \"S\"  ");
  } else if (MostraPedidos == QLatin1String("1")) {
    condicao.lines << QStringLiteral("  AND PEDIDOC.FATURADO <> \"S\"  ");
  }
  return condicao;
}

}  // namespace margivo
