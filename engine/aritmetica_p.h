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

}  // namespace margivo::calculo
