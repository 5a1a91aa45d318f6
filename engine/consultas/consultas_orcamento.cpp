// The look-ups of the quote path, on the data module's queries the quote
// screen of the ERP runs them on (qryTemp, qrySelecaoOrc), left open there.
// A refresh never prices a quote: these always run their statements.
#include "engine/consultas/consultas_p.h"

#include "engine/dmrent.h"
#include "framework/db/query.h"

namespace margivo {

TFinanciamentoOrc TConsultasRentabilidade::financiamentoOrcamento(const QString& codEmpresa,
                                                                  const QString& codOrc) {
  Query& q = dm_.qryTemp;
  preparaConsulta(
      q, {QStringLiteral("Select CodPlano, DescFormaPgto, CodFinanceira From Financiamento "),
          QStringLiteral(" Where CodVenda   = :NumOrcamento"),
          QStringLiteral("   and CodEmpresa = :CodEmpresa")});
  q.setString(QStringLiteral("CodEmpresa"), codEmpresa);
  q.setString(QStringLiteral("NumOrcamento"), codOrc);
  q.open();
  return {textoDe(q, "CodPlano"), textoDe(q, "DescFormaPgto"), textoDe(q, "CodFinanceira")};
}

QString TConsultasRentabilidade::convenioOrcamento(const QString& codEmpresa, const QString& codOrc,
                                                   const QString& sequencia) {
  Query& q = dm_.qryTemp;
  preparaConsulta(q, {QStringLiteral("SELECT ORCCONVENIO.* "), QStringLiteral("  FROM ORCCONVENIO"),
                      QStringLiteral(" WHERE CODEMPRESA = :PCODEMPRESA AND CODORC = :PCODORC"),
                      QStringLiteral("   AND SEQUENCIA  = :PSEQ")});
  q.setString(QStringLiteral("PCODEMPRESA"), codEmpresa);
  q.setString(QStringLiteral("PSEQ"), sequencia);
  q.setString(QStringLiteral("PCODORC"), codOrc);
  q.open();
  return textoDe(q, "CODCONVENIO");
}

TCartConOrc TConsultasRentabilidade::cartConOrcamento(const QString& codigo) {
  Query& q = dm_.qryTemp;
  preparaConsulta(
      q, {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC "),
          QStringLiteral("  FROM CARTCON"), QStringLiteral(" WHERE CARTCON.CODIGO = :PCODIGO")});
  q.setString(QStringLiteral("PCODIGO"), codigo);
  q.open();
  return {floatDe(q, "DIASCOMPENSACAO"), floatDe(q, "PERCDESC")};
}

TPlanoOrc TConsultasRentabilidade::planoOrcamento(const QString& codFinanceira,
                                                  const QString& codPlano,
                                                  const QString& descFormaPgto) {
  Query& q = dm_.qryTemp;
  preparaConsulta(q,
                  {QStringLiteral("Select Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                                  "Planosfinanc.Entrada"),
                   QStringLiteral("  From Financeira inner join PlanosFinanc on "
                                  "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)"),
                   QStringLiteral(" Where Financeira.CodFinanceira   = :CodFinanceira"),
                   QStringLiteral("   and PlanosFinanc.CodPlano      = :CodPlano"),
                   QStringLiteral("   and PlanosFinanc.DescFormaPgto = :DescFormaPgto")});
  q.setString(QStringLiteral("CodFinanceira"), codFinanceira);
  q.setString(QStringLiteral("CodPlano"), codPlano);
  q.setString(QStringLiteral("DescFormaPgto"), descFormaPgto);
  q.open();
  return {floatDe(q, "DiasCompensacao"), floatDe(q, "TaxaRetencao"), textoDe(q, "Entrada")};
}

void TConsultasRentabilidade::abreOrcamento(const QString& codEmpresa, const QString& codOrc) {
  Query& q = dm_.qrySelecaoOrc;
  q.close();
  q.setString(QStringLiteral("CodOrc"), codOrc);
  q.setString(QStringLiteral("CodEmpresa"), codEmpresa);
  q.open();
}

double TConsultasRentabilidade::valorParc01Orcamento() {
  return floatDe(dm_.qrySelecaoOrc, "VlrParc01");
}

}  // namespace margivo
