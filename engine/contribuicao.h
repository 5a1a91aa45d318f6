// What one call of TdmRentabilidade::PCalculaValoresRentabilidade on the
// order path ("Ped") did to the figures, kept so that the same call can be
// applied again to other running totals without running it.
//
// The running totals are rounded after every call, so they depend on the
// order in which lines are added: a refresh that keeps the calls of the
// orders that did not change and calculates only the changed ones applies
// every kept call again, in the order-items query's order, to totals that
// start at zero. Applied that way, with the same floating-point operations
// as the call, the totals come out bit for bit as the calls would leave them.
#pragma once

#include <array>

namespace margivo {

struct TContribuicaoChamada {
  // The line's figures as the call computed them, before its rounding step,
  // in the order of the figure parameters.
  enum Figura {
    MAquisicao,
    MValorDaVenda,
    MQtdeVendida,
    MOperacional,
    MCustoParcVd,
    MComissao,
    MImpostos,
    MDescontoPV,
    MTxEmissaoBoleto,
    MOutros,
    MCustoTotVd,
    MMargemBrtLcr,
    MMargemOpLcr,
    MPercLucroBrt,
    MPercLucroOpe,
  };
  static constexpr int kFiguras = 15;
  std::array<double, kFiguras> figuras{};
  // The line's own percentages were computed (its sale value was positive);
  // otherwise they kept those of the call before.
  bool percentuaisDoItem = false;
  // The total percentages were recomputed, dividing the running margins by
  // `divisorTotal` (the order's total plus freight less surcharge).
  bool percentuaisTotais = false;
  double divisorTotal = 0;
};

// The figures a call adds into the running totals, one total each, in the
// order of the totals (MTotComissao and the two percentages are not added
// to): MCustoParcVd, MValorDaVenda, MImpostos, MDescontoPV, MTxEmissaoBoleto,
// MOutros, MCustoTotVd, MMargemBrtLcr, MMargemOpLcr.
inline constexpr std::array<TContribuicaoChamada::Figura, 9> kFigurasSomadas{
    TContribuicaoChamada::MCustoParcVd,     TContribuicaoChamada::MValorDaVenda,
    TContribuicaoChamada::MImpostos,        TContribuicaoChamada::MDescontoPV,
    TContribuicaoChamada::MTxEmissaoBoleto, TContribuicaoChamada::MOutros,
    TContribuicaoChamada::MCustoTotVd,      TContribuicaoChamada::MMargemBrtLcr,
    TContribuicaoChamada::MMargemOpLcr,
};

// Whether a call recomputes the total percentages, and over what: an order
// whose total plus freight is positive, over its total plus freight less its
// surcharge (the guard and the divisor differ by the surcharge).
struct TPercentuaisTotais {
  bool calcula = false;
  double divisor = 0;
};
TPercentuaisTotais percentuaisTotaisDoPedido(double totalPedido, double frete, double vlrAcrescimo);

// Sets the figures a call derives from the others, as the call derives
// them: MCustoTotVd from the partial cost, commission, taxes, boleto fee,
// present-value discount and other costs, and the two margins from the sale
// value and those costs. A memory that keeps only the other figures gets
// the same bits back.
void completaFigurasDerivadas(TContribuicaoChamada& c);

// Applies a recorded call to running totals as the call did: its additions,
// the total percentages, then the rounding of every total. Throws
// ArithmeticError where the call would have divided by zero (a call that did
// could not have been recorded).
void reaplicaNosTotais(const TContribuicaoChamada& c, double& MTotCustoParcVd,
                       double& MTotValorDaVenda, double& MTotComissao, double& MTotImpostos,
                       double& MTotDescontoPV, double& MTotTxEmissaoBoleto, double& MTotOutros,
                       double& MTotCustoTotVd, double& MTotMargemBrtLcr, double& MTotMargemOpLcr,
                       double& MTotPercLucroBrt, double& MTotPercLucroOpe);

// The line's figures as the call left them, rounded. MPercLucroBrt and
// MPercLucroOpe come in as the call before left them: a call that did not
// compute its own keeps them. The line's percentages are computed from its
// margins and sale value as the call computes them (the recorded ones are not
// read).
void figurasDaChamada(const TContribuicaoChamada& c, double& MAquisicao, double& MValorDaVenda,
                      double& MQtdeVendida, double& MOperacional, double& MCustoParcVd,
                      double& MComissao, double& MImpostos, double& MDescontoPV,
                      double& MTxEmissaoBoleto, double& MOutros, double& MCustoTotVd,
                      double& MMargemBrtLcr, double& MMargemOpLcr, double& MPercLucroBrt,
                      double& MPercLucroOpe);

}  // namespace margivo
