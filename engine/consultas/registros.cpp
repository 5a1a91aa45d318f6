#include "engine/consultas/registros_p.h"

#include "framework/db/query.h"
#include "framework/funcoes.h"

namespace margivo {

double floatDe(const Query& q, const char* coluna) {
  return q.fieldByName(QLatin1StringView(coluna)).asFloat();
}
QString textoDe(const Query& q, const char* coluna) {
  return q.fieldByName(QLatin1StringView(coluna)).asString();
}
int inteiroDe(const Query& q, const char* coluna) {
  return static_cast<int>(q.fieldByName(QLatin1StringView(coluna)).asInteger());
}
TDateTime dataDe(const Query& q, const char* coluna) {
  return q.fieldByName(QLatin1StringView(coluna)).asDateTime();
}

TCondPag leCondPag(const Query& q) {
  TCondPag c;
  c.TipoVenda = inteiroDe(q, "TIPOVENDA");
  for (int k = 0; k < 7; ++k) {
    const QString n = QString::number(k + 1);
    c.Prazo[k] = static_cast<int>(q.fieldByName(QStringLiteral("Prazo") + n).asInteger());
    c.Percent[k] = q.fieldByName(QStringLiteral("Percent") + n).asFloat();
  }
  c.TxEmissaoBoleto = floatDe(q, "TXEMISSAOBOLETO");
  c.TipoIntegracao = inteiroDe(q, "TIPOINTEGRACAO");
  c.TipoIntegracaoTexto = textoDe(q, "TIPOINTEGRACAO");
  c.UtilizaConvenio = textoDe(q, "UTILIZACONVENIO");
  return c;
}

TEnceFat leEnceFat(const Query& q) {
  TEnceFat e;
  e.VlrReceber = floatDe(q, "VlrReceber");
  e.VlrConvenio = floatDe(q, "VlrConvenio");
  e.VlrFinanc = floatDe(q, "VlrFinanc");
  e.VlrChPreDatado = floatDe(q, "VlrChPreDatado");
  e.VlrCheque = floatDe(q, "VlrCheque");
  e.VlrDinheiro = floatDe(q, "VlrDinheiro");
  e.VlrDesconto = floatDe(q, "VlrDesconto");
  const Field total = q.fieldByName("Total");
  e.TotalNulo = total.isNull();
  e.Total = total.asFloat();
  return e;
}

TChequePreDatado leCheque(const Query& q) {
  return {floatDe(q, "VlrCheque"), dataDe(q, "Dt_Entrada")};
}

TFinanciamento leFinanciamento(const Query& q) {
  TFinanciamento f;
  f.CodFinanceira = textoDe(q, "CodFinanceira");
  f.CodPlano = textoDe(q, "CodPlano");
  f.DescFormaPgto = textoDe(q, "DescFormaPgto");
  f.ValorMensalidade = floatDe(q, "ValorMensalidade");
  return f;
}

TPlanoFinanc lePlanoFinanc(const Query& q) {
  TPlanoFinanc p;
  p.TaxaRetencao = floatDe(q, "TaxaRetencao");
  p.DiasCompensacao = floatDe(q, "DiasCompensacao");
  p.NumParc = inteiroDe(q, "NumParc");
  p.Entrada = textoDe(q, "Entrada");
  p.CodPrazo = textoDe(q, "CodPrazo");
  return p;
}

TDocumentoConvenio leDocumento(const Query& q) {
  return {textoDe(q, "Convenio"), dataDe(q, "Dt_Emissao"), dataDe(q, "Dt_Vencimento"),
          floatDe(q, "ValorDocto")};
}

TCartCon leCartCon(const Query& q) {
  TCartCon c;
  c.DiasCompensacao = floatDe(q, "DIASCOMPENSACAO");
  c.PercDesc = floatDe(q, "PERCDESC");
  c.CodPrazo = textoDe(q, "CODPRAZO");
  c.TaxaMensalAntecip = floatDe(q, "TAXAMENSALANTECIP");
  return c;
}

std::vector<TParcelaPedido> leParcelas(const Query& q) {
  std::vector<TParcelaPedido> parcelas;
  for (int k = 1; k <= 24; ++k) {
    const QString VlrParc = QStringLiteral("VlrParc") + StrZero(QString::number(k), 2);
    const QString VencParc = QStringLiteral("VencParc") + StrZero(QString::number(k), 2);
    if (!q.hasField(VlrParc)) break;
    const double valor = q.fieldByName(VlrParc).asFloat();
    if (!(valor > 0)) break;
    parcelas.push_back({valor, q.fieldByName(VencParc).asDateTime()});
  }
  return parcelas;
}

}  // namespace margivo
