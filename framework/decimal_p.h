// Internal: the decimal rounding shared by FRound and the money format, so
// that a figure on the panel reads exactly as the engine rounded it.
#pragma once

#include <string>

namespace margivo::detail {

// A finite double rounded to a number of decimals, as digits.
struct RoundedDecimal {
  bool negative = false;       // false when the rounded value is zero
  std::string integerDigits;   // at least one digit, no leading zeros
  std::string fractionDigits;  // exactly the decimals asked for
};

// Rounds `value` to `decimals` places (0 when `decimals` is negative): the
// value is first written with 18 significant digits (nearest, ties to even),
// then cut after the last decimal kept, a cut-off digit of 5 or more rounding
// the kept digits away from zero. REQUIRES: std::isfinite(value).
RoundedDecimal roundDecimal(double value, int decimals);

}  // namespace margivo::detail
