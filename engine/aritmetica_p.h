// Internal to the engine. The arithmetic every step of the calculation uses.
#pragma once

#include <cmath>

#include "engine/dmrent.h"

namespace margivo::calculo {

// a / b. A zero divisor is an error, never an infinity or an undefined
// number: throws ArithmeticError.
inline double Dividir(double a, double b) {
  if (b == 0.0) throw ArithmeticError(QStringLiteral("Divisão por zero"));
  return a / b;
}

// base raised to a real exponent; an exponent of 0 gives exactly 1.
inline double Potencia(double base, double expoente) { return std::pow(base, expoente); }

// The daily rate equivalent to a monthly rate: the ERP stores monthly rates
// as fractions (0.03 is 3 % a month) and a month counts 30 days.
inline double TaxaDiaria(double TaxaMensal) { return Potencia(1.0 + TaxaMensal, 1.0 / 30.0) - 1.0; }

// What a payment of face value P received `dias` days after the sale costs
// at daily rate `TaxaDia`: the face value less its present value. Zero days
// cost exactly nothing.
inline double CustoValorPresente(double P, double dias, double TaxaDia) {
  return P - Dividir(P, Potencia(1.0 + TaxaDia, dias));
}

// The line's total cost: its partial cost, commission, taxes, boleto fee
// share, present-value discount and other costs.
inline double custoTotalDaVenda(double MCustoParcVd, double MComissao, double MImpostos,
                                double MTxEmissaoBoleto, double MDescontoPV, double MOutros) {
  return MCustoParcVd + MComissao + MImpostos + MTxEmissaoBoleto + MDescontoPV + MOutros;
}

// A line's own profitability: its margin in percent of its sale value.
inline double percentualDoItem(double margem, double valorDaVenda) {
  return margem * 100 / valorDaVenda;
}

// The running total profitability: the running margin in percent of the
// current document's total (its divisor, which leaves the surcharge out).
inline double percentualTotal(double margemTotal, double divisor) {
  return Dividir(margemTotal * 100, divisor);
}

}  // namespace margivo::calculo
