#include "engine/contribuicao.h"

#include <bit>
#include <cstdint>

#include "engine/aritmetica_p.h"
#include "framework/funcoes.h"

namespace margivo {

using F = TContribuicaoChamada;

TPercentuaisTotais percentuaisTotaisDoPedido(double totalPedido, double frete,
                                             double vlrAcrescimo) {
  return {totalPedido + frete > 0, totalPedido + frete - vlrAcrescimo};
}

void completaFigurasDerivadas(TContribuicaoChamada& c) {
  auto& f = c.figuras;
  f[F::MCustoTotVd] =
      calculo::custoTotalDaVenda(f[F::MCustoParcVd], f[F::MComissao], f[F::MImpostos],
                                 f[F::MTxEmissaoBoleto], f[F::MDescontoPV], f[F::MOutros]);
  f[F::MMargemBrtLcr] = f[F::MValorDaVenda] - f[F::MCustoParcVd];
  f[F::MMargemOpLcr] = f[F::MValorDaVenda] - f[F::MCustoTotVd];
}

void reaplicaNosTotais(const TContribuicaoChamada& c, double& MTotCustoParcVd,
                       double& MTotValorDaVenda, double& MTotComissao, double& MTotImpostos,
                       double& MTotDescontoPV, double& MTotTxEmissaoBoleto, double& MTotOutros,
                       double& MTotCustoTotVd, double& MTotMargemBrtLcr, double& MTotMargemOpLcr,
                       double& MTotPercLucroBrt, double& MTotPercLucroOpe) {
  const auto& f = c.figuras;
  // Each total takes one addition of the line's unrounded figure, whatever
  // the step that adds it, and is rounded after the call. A total the call
  // adds nothing to keeps its rounded value, which rounding again leaves as
  // it is: only the others are rounded here (the same result, fewer steps).
  // MTotComissao is never added to on the order path, and the total
  // percentages are kept as they are unless the call recomputes them.
  const auto soma = [](double& total, double valor) {
    if (std::bit_cast<std::uint64_t>(valor) == 0) return;
    total += valor;
    total = FRound(2, total);
  };
  Q_UNUSED(MTotComissao);
  soma(MTotValorDaVenda, f[F::MValorDaVenda]);
  soma(MTotCustoParcVd, f[F::MCustoParcVd]);
  soma(MTotImpostos, f[F::MImpostos]);
  soma(MTotTxEmissaoBoleto, f[F::MTxEmissaoBoleto]);
  soma(MTotDescontoPV, f[F::MDescontoPV]);
  soma(MTotOutros, f[F::MOutros]);
  soma(MTotCustoTotVd, f[F::MCustoTotVd]);
  // The total percentages come from the running margins before these are
  // rounded.
  const double margemBrt = MTotMargemBrtLcr + f[F::MMargemBrtLcr];
  const double margemOp = MTotMargemOpLcr + f[F::MMargemOpLcr];
  if (c.percentuaisTotais) {
    MTotPercLucroBrt = FRound(2, calculo::percentualTotal(margemBrt, c.divisorTotal));
    MTotPercLucroOpe = FRound(2, calculo::percentualTotal(margemOp, c.divisorTotal));
  }
  soma(MTotMargemBrtLcr, f[F::MMargemBrtLcr]);
  soma(MTotMargemOpLcr, f[F::MMargemOpLcr]);
}

void figurasDaChamada(const TContribuicaoChamada& c, double& MAquisicao, double& MValorDaVenda,
                      double& MQtdeVendida, double& MOperacional, double& MCustoParcVd,
                      double& MComissao, double& MImpostos, double& MDescontoPV,
                      double& MTxEmissaoBoleto, double& MOutros, double& MCustoTotVd,
                      double& MMargemBrtLcr, double& MMargemOpLcr, double& MPercLucroBrt,
                      double& MPercLucroOpe) {
  const auto& f = c.figuras;
  if (c.percentuaisDoItem) {
    MPercLucroBrt = calculo::percentualDoItem(f[F::MMargemBrtLcr], f[F::MValorDaVenda]);
    MPercLucroOpe = calculo::percentualDoItem(f[F::MMargemOpLcr], f[F::MValorDaVenda]);
  }
  MAquisicao = FRound(2, f[F::MAquisicao]);
  MValorDaVenda = FRound(2, f[F::MValorDaVenda]);
  MQtdeVendida = FRound(2, f[F::MQtdeVendida]);
  MOperacional = FRound(2, f[F::MOperacional]);
  MCustoParcVd = FRound(2, f[F::MCustoParcVd]);
  MComissao = FRound(2, f[F::MComissao]);
  MImpostos = FRound(2, f[F::MImpostos]);
  MDescontoPV = FRound(2, f[F::MDescontoPV]);
  MTxEmissaoBoleto = FRound(2, f[F::MTxEmissaoBoleto]);
  MOutros = FRound(2, f[F::MOutros]);
  MCustoTotVd = FRound(2, f[F::MCustoTotVd]);
  MMargemBrtLcr = FRound(2, f[F::MMargemBrtLcr]);
  MMargemOpLcr = FRound(2, f[F::MMargemOpLcr]);
  MPercLucroBrt = FRound(2, MPercLucroBrt);
  MPercLucroOpe = FRound(2, MPercLucroOpe);
}

}  // namespace margivo
