#include "engine/consultas/blocopedidos_p.h"

#include <QHash>
#include <QStringList>
#include <stdexcept>

#include "engine/consultas/registros_p.h"
#include "framework/db/query.h"
#include "framework/funcoes.h"
#include "framework/sqlcondition.h"

namespace margivo {

namespace {

// The names the block returns besides those beginning with MGV_: the
// columns of the look-ups, so that their readers read the block's rows.
const QStringList kColunasDoBloco{
    QStringLiteral("VlrReceber"),    QStringLiteral("VlrConvenio"),
    QStringLiteral("VlrFinanc"),     QStringLiteral("VlrChPreDatado"),
    QStringLiteral("VlrCheque"),     QStringLiteral("VlrDinheiro"),
    QStringLiteral("VlrDesconto"),   QStringLiteral("Total"),
    QStringLiteral("CodPlano"),      QStringLiteral("DescFormaPgto"),
    QStringLiteral("CodFinanceira"), QStringLiteral("ValorMensalidade"),
    QStringLiteral("VlrParc"),       QStringLiteral("VencParc"),
    QStringLiteral("Cheque_Vlr"),    QStringLiteral("Dt_Entrada"),
    QStringLiteral("Convenio"),      QStringLiteral("Dt_Emissao"),
    QStringLiteral("Dt_Vencimento"), QStringLiteral("ValorDocto"),
};

}  // namespace

std::optional<int> colunasDeParcelas(Database* banco) {
  Query q(banco);
  q.sql() << QStringLiteral(
                 "SELECT TRIM(RF.RDB$FIELD_NAME) AS NOME, F.RDB$FIELD_TYPE AS TIPO,"
                 " F.RDB$FIELD_SUB_TYPE AS SUBTIPO, F.RDB$FIELD_LENGTH AS TAMANHO,")
          << QStringLiteral(" F.RDB$FIELD_SCALE AS ESCALA, F.RDB$FIELD_PRECISION AS PRECISAO")
          << QStringLiteral(
                 "  FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F"
                 " ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE")
          << QStringLiteral(" WHERE RF.RDB$RELATION_NAME = 'PARCPEDC'");
  q.open();
  if (q.isEmpty()) return std::nullopt;
  QHash<QString, QString> tipos;  // column -> its type
  for (q.first(); !q.eof(); q.next()) {
    tipos.insert(textoDe(q, "NOME").toUpper(),
                 QStringList{textoDe(q, "TIPO"), textoDe(q, "SUBTIPO"), textoDe(q, "TAMANHO"),
                             textoDe(q, "ESCALA"), textoDe(q, "PRECISAO")}
                     .join(u'/'));
  }
  int n = 0;
  while (n < 24) {
    const QString k = StrZero(QString::number(n + 1), 2);
    const QString vlr = QStringLiteral("VLRPARC") + k, venc = QStringLiteral("VENCPARC") + k;
    if (!tipos.contains(vlr)) break;
    if (!tipos.contains(venc) || tipos[vlr] != tipos[QStringLiteral("VLRPARC01")] ||
        tipos[venc] != tipos[QStringLiteral("VENCPARC01")])
      return std::nullopt;
    ++n;
  }
  return n;
}

// The amounts are declared as their columns, so they come back as the
// look-ups read them; the closing record's Total and the sum of the lines
// as double precision, the type dialect 1 gives to NUMERIC(15,2) arithmetic.
QString blocoDosPedidos(const SqlCondition& pedidos, bool empresaDosPagamentos,
                        std::optional<int> parcelas) {
  // The block's input parameters: the condition's under their own names, so
  // the condition reads as it is written.
  QStringList entradas;
  for (const SqlCondition::Parameter& parametro : pedidos.parameters) {
    if (parametro.name.startsWith(QLatin1String("MGV_"), Qt::CaseInsensitive) ||
        kColunasDoBloco.contains(parametro.name, Qt::CaseInsensitive))
      throw std::invalid_argument("blocoDosPedidos: o parâmetro " + parametro.name.toStdString() +
                                  " da seleção de pedidos tem um nome do bloco");
    entradas << QStringLiteral("%1 TYPE OF COLUMN %2 = ?").arg(parametro.name, parametro.column);
  }
  if (empresaDosPagamentos)
    entradas << QStringLiteral("MGV_EMP TYPE OF COLUMN PEDIDOC.CODEMPRESA = ?");

  // The installments: read into variables, returned one per row.
  const int nParcelas = parcelas.value_or(0);
  QStringList colunasParcelas, variaveisParcelas, colunasVencimentos, variaveisVencimentos,
      declaracoesParcelas, linhasParcelas;
  for (int k = 1; k <= nParcelas; ++k) {
    const QString n = StrZero(QString::number(k), 2);
    colunasParcelas << QStringLiteral("VlrParc") + n;
    variaveisParcelas << QStringLiteral(":MGV_V") + n;
    colunasVencimentos << QStringLiteral("VencParc") + n;
    variaveisVencimentos << QStringLiteral(":MGV_D") + n;
    declaracoesParcelas << QStringLiteral(
                               "DECLARE MGV_V%1 TYPE OF COLUMN ParcPedC.VlrParc%1;"
                               " DECLARE MGV_D%1 TYPE OF COLUMN ParcPedC.VencParc%1;")
                               .arg(n);
    // Up to (not including) the first amount that is not positive.
    linhasParcelas << QStringLiteral(
                          "        IF (MGV_SEGUE = 1 AND MGV_V%1 > 0) THEN BEGIN MGV_PARCELA = %2;"
                          " VlrParc = MGV_V%1; VencParc = MGV_D%1; SUSPEND; END"
                          " ELSE MGV_SEGUE = 0;")
                          .arg(n)
                          .arg(k);
  }
  // Every amount first, then every due date.
  colunasParcelas << colunasVencimentos;
  variaveisParcelas << variaveisVencimentos;

  QStringList b;
  b << QStringLiteral("EXECUTE BLOCK (") + entradas.join(QStringLiteral(", ")) + u')'
    << QStringLiteral("RETURNS (MGV_LINHA CHAR(1), MGV_EMPRESA TYPE OF COLUMN PEDIDOC.CODEMPRESA,")
    << QStringLiteral(
           "  MGV_TIPO TYPE OF COLUMN PEDIDOC.TIPOPEDIDO,"
           " MGV_PEDIDO TYPE OF COLUMN PEDIDOC.CODPEDIDO,")
    << QStringLiteral("  MGV_NUMDOC VARCHAR(255), MGV_FECHAMENTOS INTEGER,")
    << QStringLiteral(
           "  VlrReceber TYPE OF COLUMN EnceFat.VlrReceber,"
           " VlrConvenio TYPE OF COLUMN EnceFat.VlrConvenio,")
    << QStringLiteral(
           "  VlrFinanc TYPE OF COLUMN EnceFat.VlrFinanc,"
           " VlrChPreDatado TYPE OF COLUMN EnceFat.VlrChPreDatado,")
    << QStringLiteral(
           "  VlrCheque TYPE OF COLUMN EnceFat.VlrCheque,"
           " VlrDinheiro TYPE OF COLUMN EnceFat.VlrDinheiro,")
    << QStringLiteral("  VlrDesconto TYPE OF COLUMN EnceFat.VlrDesconto, Total DOUBLE PRECISION,")
    << QStringLiteral(
           "  MGV_TOTALITENS DOUBLE PRECISION, MGV_LINHAS INTEGER, MGV_FINANCIAMENTOS INTEGER,")
    << QStringLiteral(
           "  CodPlano TYPE OF COLUMN Financiamento.CodPlano,"
           " DescFormaPgto TYPE OF COLUMN Financiamento.DescFormaPgto,")
    << QStringLiteral("  CodFinanceira TYPE OF COLUMN Financiamento.CodFinanceira,")
    << QStringLiteral("  ValorMensalidade TYPE OF COLUMN Financiamento.ValorMensalidade,")
    << QStringLiteral("  MGV_DOCUMENTOS SMALLINT, MGV_PARCELAS SMALLINT,")
    << (nParcelas > 0 ? QStringLiteral("  MGV_PARCELA SMALLINT, VlrParc TYPE OF COLUMN"
                                       " ParcPedC.VlrParc01, VencParc TYPE OF COLUMN"
                                       " ParcPedC.VencParc01,")
                      : QString())
    << QStringLiteral(
           "  Cheque_Vlr TYPE OF COLUMN PreTerc.VlrCheque,"
           " Dt_Entrada TYPE OF COLUMN PreTerc.Dt_Entrada,")
    << QStringLiteral(
           "  Convenio TYPE OF COLUMN ConvEnceFat.Convenio,"
           " Dt_Emissao TYPE OF COLUMN DocuRec.Dt_Emissao,")
    << QStringLiteral(
           "  Dt_Vencimento TYPE OF COLUMN DocuRec.Dt_Vencimento,"
           " ValorDocto TYPE OF COLUMN DocuRec.ValorDocto)")
    << QStringLiteral("AS")
    << QStringLiteral("DECLARE MGV_EMPPAG TYPE OF COLUMN PEDIDOC.CODEMPRESA;")
    << QStringLiteral("DECLARE MGV_PRAZO TYPE OF COLUMN PEDIDOC.CODPRAZO;")
    // Columns the documents look-up reads and the calculation does not use:
    // read all the same, so that a table without them fails here as the
    // look-up fails.
    << QStringLiteral("DECLARE MGV_VALORDESC TYPE OF COLUMN DocuRec.ValorDesc;")
    << QStringLiteral("DECLARE MGV_VALORPAGO TYPE OF COLUMN DocuRec.ValorPago;")
    << (nParcelas > 0 ? QStringLiteral("DECLARE MGV_SEGUE SMALLINT;") : QString())
    << declaracoesParcelas << QStringLiteral("BEGIN")
    << QStringLiteral("  FOR SELECT PEDIDOC.CODEMPRESA, PEDIDOC.TIPOPEDIDO, PEDIDOC.CODPEDIDO,")
    << QStringLiteral(
           "         TRIM(TRAILING FROM PEDIDOC.TIPOPEDIDO) || PEDIDOC.CODPEDIDO, PEDIDOC.CODPRAZO")
    << QStringLiteral("    FROM PEDIDOC WHERE ") + pedidos.lines.first() << pedidos.lines.mid(1)
    << QStringLiteral("    INTO :MGV_EMPRESA, :MGV_TIPO, :MGV_PEDIDO, :MGV_NUMDOC, :MGV_PRAZO DO")
    << QStringLiteral("  BEGIN")
    << (empresaDosPagamentos ? QStringLiteral("    MGV_EMPPAG = :MGV_EMP;")
                             : QStringLiteral("    MGV_EMPPAG = :MGV_EMPRESA;"))
    << QStringLiteral("    MGV_LINHA = 'P';")
    << QStringLiteral(
           "    MGV_FECHAMENTOS = 0; VlrReceber = NULL; VlrConvenio = NULL;"
           " VlrFinanc = NULL;")
    << QStringLiteral(
           "    VlrChPreDatado = NULL; VlrCheque = NULL; VlrDinheiro = NULL;"
           " VlrDesconto = NULL; Total = NULL;")
    << QStringLiteral(
           "    FOR Select VlrReceber, VlrConvenio, VlrFinanc, VlrChPreDatado,"
           " VlrCheque, VlrDinheiro, VlrDesconto,")
    << QStringLiteral(
           "        (VlrCheque + VlrReceber + VlrConvenio + VlrFinanc +"
           " VlrChPreDatado + (VlrDinheiro - VlrTroco))")
    << QStringLiteral(
           "        From EnceFat Where CodPedido = :MGV_PEDIDO"
           " and TipoPedido = :MGV_TIPO and CodEmpresa = :MGV_EMPRESA")
    << QStringLiteral(
           "        INTO :VlrReceber, :VlrConvenio, :VlrFinanc, :VlrChPreDatado,"
           " :VlrCheque, :VlrDinheiro, :VlrDesconto, :Total")
    << QStringLiteral("    DO MGV_FECHAMENTOS = MGV_FECHAMENTOS + 1;")
    << QStringLiteral(
           "    SELECT SUM((pedidoi.precounit - pedidoi.descontovlr) *"
           " pedidoi.quantidade), COUNT(*) FROM pedidoi")
    << QStringLiteral(
           "      WHERE pedidoi.codempresa = :MGV_EMPRESA AND"
           " pedidoi.codpedido = :MGV_PEDIDO AND Pedidoi.tipopedido = :MGV_TIPO")
    << QStringLiteral("      INTO :MGV_TOTALITENS, :MGV_LINHAS;")
    << QStringLiteral(
           "    MGV_FINANCIAMENTOS = NULL; CodPlano = NULL; DescFormaPgto = NULL;"
           " CodFinanceira = NULL; ValorMensalidade = NULL;")
    << QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrFinanc > 0) THEN")
    << QStringLiteral("    BEGIN") << QStringLiteral("      MGV_FINANCIAMENTOS = 0;")
    << QStringLiteral(
           "      FOR Select CodPlano, DescFormaPgto, CodFinanceira, ValorMensalidade"
           " From Financiamento")
    << QStringLiteral("          Where CodVenda = :MGV_PEDIDO and CodEmpresa = :MGV_EMPPAG")
    << QStringLiteral("          INTO :CodPlano, :DescFormaPgto, :CodFinanceira, :ValorMensalidade")
    << QStringLiteral("      DO MGV_FINANCIAMENTOS = MGV_FINANCIAMENTOS + 1;")
    << QStringLiteral("    END") << QStringLiteral("    MGV_DOCUMENTOS = 0;")
    << QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrConvenio > 0) THEN MGV_DOCUMENTOS = 1;")
    << QStringLiteral("    MGV_PARCELAS = 0;")
    << (parcelas ? QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrReceber > 0 AND"
                                  " COALESCE(MGV_PRAZO, '') = '') THEN MGV_PARCELAS = 1;")
                 : QString())
    << QStringLiteral("    SUSPEND;");
  if (nParcelas > 0) {
    // Each ParcPedC row: a row with MGV_PARCELA 0, then its installments.
    b << QStringLiteral("    MGV_LINHA = 'R';") << QStringLiteral("    IF (MGV_PARCELAS = 1) THEN")
      << QStringLiteral("      FOR Select ") + colunasParcelas.join(QStringLiteral(", "))
      << QStringLiteral(
             "          From ParcPedC Where CodEmpresa = :MGV_EMPRESA"
             " and TipoPedido = :MGV_TIPO and Codpedido = :MGV_PEDIDO")
      << QStringLiteral("          INTO ") + variaveisParcelas.join(QStringLiteral(", ")) +
             QStringLiteral(" DO")
      << QStringLiteral("      BEGIN")
      << QStringLiteral("        MGV_PARCELA = 0; VlrParc = NULL; VencParc = NULL; SUSPEND;")
      << QStringLiteral("        MGV_SEGUE = 1;") << linhasParcelas << QStringLiteral("      END");
  }
  b << QStringLiteral("    MGV_LINHA = 'C';")
    << QStringLiteral("    FOR Select VlrCheque, Dt_Entrada From PreTerc")
    << QStringLiteral("        Where CodEmpresa = :MGV_EMPPAG and NumDocOrig = :MGV_NUMDOC")
    << QStringLiteral("        INTO :Cheque_Vlr, :Dt_Entrada DO SUSPEND;")
    << QStringLiteral("    MGV_LINHA = 'D';") << QStringLiteral("    IF (MGV_DOCUMENTOS = 1) THEN")
    << QStringLiteral(
           "      FOR Select ConvEnceFat.Convenio, Docurec.Dt_Emissao,"
           " DocuRec.Dt_Vencimento, DocuRec.ValorDocto, DocuRec.ValorDesc, DocuRec.ValorPago")
    << QStringLiteral(
           "          From ConvEnceFat Inner join DocuRec on (DocuRec.CodEmpresa ="
           " ConvEnceFat.CodEmpresa And")
    << QStringLiteral(
           "          DocuRec.NumDocOrig = ConvEnceFat.TipoPedido||ConvEnceFat.CodPedido)")
    << QStringLiteral(
           "          Where ConvEnceFat.CodEmpresa = :MGV_EMPRESA And ConvEnceFat.TipoPedido"
           " = :MGV_TIPO And ConvEnceFat.Codpedido = :MGV_PEDIDO")
    << QStringLiteral(
           "          INTO :Convenio, :Dt_Emissao, :Dt_Vencimento, :ValorDocto, :MGV_VALORDESC,"
           " :MGV_VALORPAGO DO SUSPEND;")
    << QStringLiteral("  END") << QStringLiteral("END");
  b.removeAll(QString());
  return b.join(u'\n');
}

}  // namespace margivo
