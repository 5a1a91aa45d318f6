// The message of an error that ended a refresh of the profitability figures
// (see framework/mensagemerro.h for the form): besides the framework's
// errors, the calculation engine's.
#pragma once

#include <exception>

#include "framework/mensagemerro.h"

namespace margivo {

class TConfig;

// Like descreveErro, and for the engine's errors:
//   CalculationError  the order (number, branch, type) or quote and the
//                     product that could not be calculated, the step, and
//                     why in plain words (a division by zero: a value of the
//                     order that is zero; a database error as descreveErro
//                     words it; a value that does not convert); the engine's
//                     text as details;
//   ArithmeticError   the period's sale total of 0 that leaves the cost
//                     shares without a base.
// `config` (may be null) names the database and the settings file.
MensagemErro descreveErroDaAtualizacao(std::exception_ptr erro, const TConfig* config);

}  // namespace margivo
