// What the calculation engine needs of the gadget it serves: the connection,
// the settings and the day the calculation takes as "today".
//
// The profitability gadget implements it (its data side, shared by the
// desktop panel and the report tool); tests may implement it directly.
#pragma once

#include <QDate>

namespace margivo {

class TConexao;
class TConfig;

class TGadgetRentabilidade {
 public:
  virtual ~TGadgetRentabilidade() = default;
  // The program's connection; borrowed. REQUIRES: connected for a calculation.
  virtual TConexao* Conexao() const = 0;
  // The gadget's settings (Empresa is read by the payment-terms steps); borrowed.
  virtual TConfig* Config() const = 0;
  // The day the calculation counts as today (the system date, unless a
  // caller such as the report tool's --today fixes another).
  virtual QDate Hoje() const = 0;
};

}  // namespace margivo
