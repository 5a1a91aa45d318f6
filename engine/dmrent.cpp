// The calculation data module: set-up, the per-item calculation's entry and
// error context, and the module's own steps (cost price, order item total,
// trade-in, commission flag, payment conditions and present value).
#include "engine/dmrent.h"

#include <cmath>
#include <stdexcept>

#include "engine/aritmetica_p.h"
#include "engine/calculo_p.h"
#include "engine/consultas/consultas_p.h"
#include "engine/consultas/periodo_p.h"
#include "engine/contribuicao.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/funcoes.h"
#include "framework/regional.h"

namespace margivo {

using calculo::CustoValorPresente;
using calculo::Dividir;

ArithmeticError::ArithmeticError(const QString& message)
    : std::runtime_error(message.toStdString()) {}

CalculationError::CalculationError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind) {}

namespace {

// The installment arrays always offer entries 0..6: entries a caller did
// not pass count as empty (an amount of 0 holds no installment).
void GaranteSeteParcelas(std::vector<double>& VfVlrParcelas, std::vector<TDateTime>& VfDtParcelas) {
  if (VfVlrParcelas.size() < kNumParcelas) VfVlrParcelas.resize(kNumParcelas, 0.0);
  if (VfDtParcelas.size() < kNumParcelas) VfDtParcelas.resize(kNumParcelas, 0.0);
}

}  // namespace

TdmRentabilidade::TdmRentabilidade()
    : consultas_(std::make_unique<TConsultasRentabilidade>(*this)) {
  qryParaPDV.sql() << QStringLiteral("SELECT *") << QStringLiteral("FROM PARAPDV");
  ParaTlm.sql() << QStringLiteral("select * from paratlm") << QString();
  qrySelecaoOrc.sql() << QStringLiteral("Select * From OrcCabe")
                      << QStringLiteral("Where CodOrc = :CodOrc")
                      << QStringLiteral("and CodEmpresa = :CodEmpresa");
  DataModuleCreate(this);
}

TdmRentabilidade::~TdmRentabilidade() = default;

void TdmRentabilidade::DataModuleCreate(void* /*Sender*/) noexcept {}

void TdmRentabilidade::AdicionaGadget(TGadgetRentabilidade* Gadget) noexcept { ggtRent = Gadget; }

void TdmRentabilidade::AssociaConexoes() {
  // No transaction is given: the queries read in the attachment's current
  // read scope (the refresh's snapshot) or in short ones of their own.
  Database* banco = ggtRent->Conexao()->getBancoDados();
  for (Query* q : {&qryParaPDV, &qryAuxiliar, &qryTemp, &ParaTlm, &qryAux, &qrySelecaoOrc})
    q->setDatabase(banco);
  ParaTlm.open();
}

void TdmRentabilidade::usaCacheDeConsultas(bool ativo) { consultas_->ativaCache(ativo); }

void TdmRentabilidade::carregaConsultasDoPeriodo(const SqlCondition& pedidos, TDateTime ultimoDia) {
  carregaPeriodo(*consultas_, pedidos, ggtRent->Config()->Empresa, ultimoDia);
}

void TdmRentabilidade::contaRegistrosDoPeriodo(std::function<void(const TContagensDoPedido&)> f) {
  if (TCacheConsultas* cache = consultas_->cache()) cache->aoContarPedido = std::move(f);
}

// ---------------------------------------------------------------------------
// The per-item calculation.

void TdmRentabilidade::PCalculaValoresRentabilidade(
    const QString& VfOrcamentoOuPedido, const QString& VfOpcaoDeCalculo, double VfCustoOp,
    double VfCustoVd, double VfCustoFn, std::vector<double> VfVlrParcelas,
    std::vector<TDateTime> VfDtParcelas, const Query& qryItem, const Query& qryVendasCabec,
    double& MAquisicao, double& MValorDaVenda, double& MQtdeVendida, double& MOperacional,
    double& MCustoParcVd, double& MComissao, double& MImpostos, double& MDescontoPV,
    double& MTxEmissaoBoleto, double& MOutros, double& MCustoTotVd, double& MMargemBrtLcr,
    double& MMargemOpLcr, double& MPercLucroBrt, double& MPercLucroOpe, double& MTotCustoParcVd,
    double& MTotValorDaVenda, double& MTotComissao, double& MTotImpostos, double& MTotDescontoPV,
    double& MTotTxEmissaoBoleto, double& MTotOutros, double& MTotCustoTotVd,
    double& MTotMargemBrtLcr, double& MTotMargemOpLcr, double& MTotPercLucroBrt,
    double& MTotPercLucroOpe, double MTotTroca) {
  GaranteSeteParcelas(VfVlrParcelas, VfDtParcelas);
  TCalculoRentabilidade c{.dm = *this,
                          .consultas = *consultas_,
                          .VfOrcamentoOuPedido = VfOrcamentoOuPedido,
                          .VfOpcaoDeCalculo = VfOpcaoDeCalculo,
                          .VfCustoOp = VfCustoOp,
                          .VfCustoVd = VfCustoVd,
                          .VfCustoFn = VfCustoFn,
                          .VfVlrParcelas = std::move(VfVlrParcelas),
                          .VfDtParcelas = std::move(VfDtParcelas),
                          .qryItem = qryItem,
                          .qryVendasCabec = qryVendasCabec,
                          .MAquisicao = MAquisicao,
                          .MValorDaVenda = MValorDaVenda,
                          .MQtdeVendida = MQtdeVendida,
                          .MOperacional = MOperacional,
                          .MCustoParcVd = MCustoParcVd,
                          .MComissao = MComissao,
                          .MImpostos = MImpostos,
                          .MDescontoPV = MDescontoPV,
                          .MTxEmissaoBoleto = MTxEmissaoBoleto,
                          .MOutros = MOutros,
                          .MCustoTotVd = MCustoTotVd,
                          .MMargemBrtLcr = MMargemBrtLcr,
                          .MMargemOpLcr = MMargemOpLcr,
                          .MPercLucroBrt = MPercLucroBrt,
                          .MPercLucroOpe = MPercLucroOpe,
                          .MTotCustoParcVd = MTotCustoParcVd,
                          .MTotValorDaVenda = MTotValorDaVenda,
                          .MTotComissao = MTotComissao,
                          .MTotImpostos = MTotImpostos,
                          .MTotDescontoPV = MTotDescontoPV,
                          .MTotTxEmissaoBoleto = MTotTxEmissaoBoleto,
                          .MTotOutros = MTotOutros,
                          .MTotCustoTotVd = MTotCustoTotVd,
                          .MTotMargemBrtLcr = MTotMargemBrtLcr,
                          .MTotMargemOpLcr = MTotMargemOpLcr,
                          .MTotPercLucroBrt = MTotPercLucroBrt,
                          .MTotPercLucroOpe = MTotPercLucroOpe,
                          .MTotTroca = MTotTroca};
  // Entry: the acquisition cost is not cleared.
  c.MCustoOpProd = 0;
  MValorDaVenda = 0;
  MQtdeVendida = 0;
  try {
    if (VfOrcamentoOuPedido == QLatin1String("Orc"))
      c.calculaOrcamento();
    else if (VfOrcamentoOuPedido == QLatin1String("Ped"))
      c.calculaPedido();
    if (contribuicao_ != nullptr && VfOrcamentoOuPedido == QLatin1String("Ped")) {
      TContribuicaoChamada& r = *contribuicao_;
      r.figuras = {MAquisicao,  MValorDaVenda, MQtdeVendida, MOperacional,     MCustoParcVd,
                   MComissao,   MImpostos,     MDescontoPV,  MTxEmissaoBoleto, MOutros,
                   MCustoTotVd, MMargemBrtLcr, MMargemOpLcr, MPercLucroBrt,    MPercLucroOpe};
      r.percentuaisDoItem = c.percentuaisDoItem;
      r.percentuaisTotais = c.percentuaisTotais;
      r.divisorTotal = c.divisorTotal;
    }
    c.arredonda();
  } catch (const ArithmeticError&) {
    throw CalculationError(
        CalculationError::Kind::Arithmetic,
        QStringLiteral("Divisão por zero no cálculo do %1 (%2)").arg(c.contexto(), c.etapa));
  } catch (const DatabaseError& e) {
    throw CalculationError(CalculationError::Kind::Database,
                           QStringLiteral("Erro de banco de dados no cálculo do %1 (%2): %3")
                               .arg(c.contexto(), c.etapa, e.message()));
  } catch (const ConversionError& e) {
    throw CalculationError(CalculationError::Kind::Conversion,
                           QStringLiteral("Erro de conversão no cálculo do %1 (%2): %3")
                               .arg(c.contexto(), c.etapa, QString::fromUtf8(e.what())));
  }
}

// ---------------------------------------------------------------------------
// Cost price.

double TdmRentabilidade::FPrecoCusto(const QString& VfCodEmpresa, const QString& VfCodProd,
                                     const QString& VfCodGrade, TDateTime VfDataVenda) {
  using Preco = TConsultasRentabilidade::PrecoMovimento;
  TConsultasRentabilidade& c = *consultas_;
  // Made only when a look-up has to run a statement.
  TQueryPreguicosa QAux(ggtRent->Conexao()->getBancoDados());
  // The policy is read for every item: a change applies from the next one.
  const int MTipoCusto = c.tipoCusto(QAux);
  // The day-of-sale policies take the figure recorded with the last movement
  // of the grade at the branch on or before the sale day, and the current
  // figure when the grade never moved there.
  const TDateTime diaVenda = std::floor(VfDataVenda);
  switch (MTipoCusto) {
    case 2: {
      const auto movimento = c.ultimoMovimento(QAux, VfCodEmpresa, VfCodProd, VfCodGrade, diaVenda);
      if (!movimento) return c.precoCustoAtual(QAux, VfCodEmpresa, VfCodProd);
      return c.precoDoMovimento(QAux, Preco::Custo, VfCodEmpresa, VfCodProd, VfCodGrade,
                                *movimento);
    }
    case 3: {
      const auto movimento = c.ultimoMovimento(QAux, VfCodEmpresa, VfCodProd, VfCodGrade, diaVenda);
      if (!movimento) return c.precoMedioAtual(QAux, VfCodEmpresa, VfCodProd);
      return c.precoDoMovimento(QAux, Preco::Medio, VfCodEmpresa, VfCodProd, VfCodGrade,
                                *movimento);
    }
    case 4:
      return c.precoMedioAtual(QAux, VfCodEmpresa, VfCodProd);
    case 5:
      // No fallback: a grade without a managerial cost costs nothing.
      return c.precoGerencial(QAux, VfCodEmpresa, VfCodProd, VfCodGrade);
    default:  // 1, and 0 (no parameter row) or an unknown policy
      return c.precoCustoAtual(QAux, VfCodEmpresa, VfCodProd);
  }
}

// ---------------------------------------------------------------------------
// Commission flag, order item total, trade-in.

bool TdmRentabilidade::FIncluiComissaoRentabilidade() {
  return consultas_->incluiComissaoRentabilidade() == QLatin1String("S");
}

double TdmRentabilidade::FCalculaTotalItensPed(const Query& VFQry) {
  return consultas_->totalItensPedido(VFQry.fieldByName("codempresa").asString(),
                                      VFQry.fieldByName("codpedido").asString(),
                                      VFQry.fieldByName("tipopedido").asString());
}

double TdmRentabilidade::SelecionaValorDaTroca(const QString& VfCodEmpresa,
                                               const QString& VfCodTroca) {
  return consultas_->valorDaTroca(VfCodEmpresa, VfCodTroca);
}

// ---------------------------------------------------------------------------
// Payment conditions and installments.

bool TdmRentabilidade::fbAbreDadosFinanc(const QString& VfCodPrazo) {
  condPagAberta_ = std::make_unique<TCondPag>(consultas_->condPag(VfCodPrazo));
  return condPagAberta_->TipoVenda >= 2;
}

void TdmRentabilidade::ColocaDadosNasParcelas(double VfTotalReceber,
                                              std::vector<double>& VfVlrParcelas,
                                              std::vector<TDateTime>& VfDtParcelas,
                                              int& MNumParelas, const QString& VfDataReceber) {
  if (!condPagAberta_)
    throw std::logic_error(
        "ColocaDadosNasParcelas: nenhuma condição de pagamento aberta por fbAbreDadosFinanc");
  const TCondPag& condicao = *condPagAberta_;
  GaranteSeteParcelas(VfVlrParcelas, VfDtParcelas);

  // The last non-zero term gives the number of installments; the first term
  // is never tested and a zero term between two others is an installment due
  // on the base date.
  int n = 1;
  for (int k = 7; k >= 2; --k) {
    if (condicao.Prazo[k - 1] != 0) {
      n = k;
      break;
    }
  }
  MNumParelas = n;

  double MTotalGerado = 0;
  for (int MContador = 1; MContador <= n; ++MContador) {
    const int MDiasDePrazo = condicao.Prazo[MContador - 1];
    const double MPercentualPrazo = condicao.Percent[MContador - 1];
    const TDateTime MDt_VencimentoRec = parseDate(VfDataReceber) + MDiasDePrazo;
    double MValorRecAGerar = MPercentualPrazo != 0 ? VfTotalReceber * MPercentualPrazo / 100
                                                   : Dividir(VfTotalReceber, n);
    MValorRecAGerar = FRound(2, MValorRecAGerar);
    MTotalGerado += MValorRecAGerar;
    // The last installment takes every rounding difference, and whatever the
    // percentages leave over, so that the installments add up to the total.
    if (MContador == n) {
      const double MDifCentavos = VfTotalReceber - MTotalGerado;
      MValorRecAGerar = MValorRecAGerar + MDifCentavos;
    }
    VfDtParcelas[MContador - 1] = MDt_VencimentoRec;
    VfVlrParcelas[MContador - 1] = MValorRecAGerar;
  }
}

void TdmRentabilidade::LimpaArray(std::vector<double>& VfVlrParcelas,
                                  std::vector<TDateTime>& VfDtParcelas) {
  GaranteSeteParcelas(VfVlrParcelas, VfDtParcelas);
  for (int i = 0; i < kNumParcelas; ++i) {
    VfVlrParcelas[i] = 0;
    VfDtParcelas[i] = 0;
  }
}

// ---------------------------------------------------------------------------
// Present value of financing plans and agreement documents.

double TdmRentabilidade::PreCalculoValorPresente(
    const QString& VfOpcao, std::vector<double> VfVlrParcelas, const QString& VfVendaTroca,
    const QString& VfOrcVendaTroca, const QString& VfPrazoUmOuDois, const QString& VfTipoIntegracao,
    const QString& VfCartConOuFinanceira, double VfVlrDoFinanc, double VfTxRentencao,
    double VfValorParc02, double VfTxJurosDia, double VfDiasCompensacao, double VfVlrParcFinanc,
    int VfNumParcelas, const QString& VfPossuiEntrada) {
  // A trade-in counts as paid on the day of the sale: it costs nothing.
  Q_UNUSED(VfVendaTroca);
  Q_UNUSED(VfOrcVendaTroca);
  const double R = VfTxRentencao;
  const double D = VfDiasCompensacao;
  const int n = VfNumParcelas;
  const double Q = VfVlrParcFinanc;
  const bool agreement = VfCartConOuFinanceira == QLatin1String("C");
  const bool financing = VfCartConOuFinanceira == QLatin1String("F");
  auto T = [&](double P, double d) { return CustoValorPresente(P, d, VfTxJurosDia); };

  if (VfOpcao == QLatin1String("Ped")) {
    double custo = 0;
    if (agreement) {
      // The operator keeps its discount and pays the rest D days later.
      const double F = R > 0 ? VfVlrDoFinanc * R / 100 : 0;
      MVlrTxRentencao = F;
      custo = T(VfVlrDoFinanc - F, D) + F;
    } else if (financing) {
      const double F = R > 0 ? n * Q * R / 100 : 0;
      MVlrTxRentencao = F;
      if (VfTipoIntegracao == QLatin1String("3")) {
        // One payment per installment; with a down payment the first one is
        // paid on the day of the sale, when the plan has more than one. A
        // plan without installments has no payment to cost.
        if (n > 0) {
          const double P = (n * Q - F) / n;
          const bool entrada = VfPossuiEntrada == QLatin1String("S") && n > 1;
          for (int k = 1; k <= n; ++k) custo += T(P, entrada ? (k - 1) * D : k * D);
        }
      } else if (VfTipoIntegracao == QLatin1String("4")) {
        // The financing company pays the financed amount at once.
        custo = T(VfVlrDoFinanc - F, D);
      }
    }
    return custo;
  }

  if (VfOpcao == QLatin1String("Orc")) {
    if (agreement) {
      if (VfPrazoUmOuDois == QLatin1String("1")) {
        const double F = R > 0 ? consultas_->valorParc01Orcamento() * R / 100 : 0;
        MVlrTxRentencao = F;
        for (int j = 0; j <= 5 && j < static_cast<int>(VfVlrParcelas.size()); ++j) {
          const double v = VfVlrParcelas[j];
          if (!(v > 0)) continue;
          if (VfTipoIntegracao == QLatin1String("3"))
            MPreValorPresente += T(v - F, (j + 1) * D);
          else if (VfTipoIntegracao == QLatin1String("4"))
            MPreValorPresente += T(v - F, D);
        }
      } else if (VfValorParc02 > 0) {
        MPreValorPresente += T(VfValorParc02, D);
      }
      return MPreValorPresente;
    }
    if (financing) {
      // A quote's down payment is one installment more, paid on the day.
      const bool entrada = VfPossuiEntrada == QLatin1String("S");
      const int m = entrada ? n + 1 : n;
      const double F = R > 0 ? m * Q * R / 100 : 0;
      MVlrTxRentencao = F;
      if (VfTipoIntegracao == QLatin1String("3")) {
        if (m > 0) {
          const double P = (m * Q - F) / m;
          for (int k = 1; k <= m; ++k) MPreValorPresente += T(P, entrada ? (k - 1) * D : k * D);
        }
      } else if (VfTipoIntegracao == QLatin1String("4")) {
        MPreValorPresente += T(consultas_->valorParc01Orcamento() - F, D);
      }
      return MPreValorPresente;
    }
    return 0;
  }
  return 0;
}

}  // namespace margivo
