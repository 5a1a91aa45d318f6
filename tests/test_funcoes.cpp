// FRound decides every rounded amount of the engine, and the money labels
// must agree with it to the cent; StrZero builds column names of the ERP.
#include "framework/funcoes.h"

#include "framework/decimal_p.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <random>
#include <string>

namespace margivo {
namespace {

struct FRoundCase {
  int decimals;
  double value;
  double expected;
  const char* why;
};

// Expected values are written as decimal literals: the nearest double to the
// rounded text is exactly what FRound must return.
const FRoundCase kFRoundCases[] = {
    {2, 2.675, 2.67, "stored double lies below the tie at 18 digits"},
    {2, -2.675, -2.67, "same below-tie double, negative"},
    {2, 2.665, 2.67, "stored double lies above the tie"},
    {2, -0.005, -0.01, "negative tie goes away from zero"},
    {0, 0.5, 1, "half to one"},
    {0, 1234.4999, 1234, "just below half"},
    {3, 1234567.0005, 1234567.001, "three decimals on a large value"},
    {0, 2.5, 3, "tie away from zero, not to even"},
    {0, -2.5, -3, "negative tie away from zero"},
    {0, 3.5, 4, "odd neighbour tie"},
    {2, 0.125, 0.13, "exact binary tie"},
    {2, 1.005, 1.00, "1.00499999999999989 at 18 digits"},
    {2, 1.015, 1.01, "1.01499999999999990 at 18 digits"},
    {2, 8.325, 8.32, "8.32499999999999929 at 18 digits"},
    {2, 0.155, 0.15, "0.154999999999999999 at 18 digits; 17 digits would show the tie"},
    {2, 0.495, 0.49, "0.494999999999999996 at 18 digits; 17 digits would carry to 0.50"},
    {2, 1000.005, 1000.01,
     "double below the tie (1000.00499999999999545...) whose 18 digits show the tie"},
    {2, 99.995, 100.00, "rounding up carries into a new integer digit"},
    {2, 9.9999, 10.00, "carry through every kept digit"},
    {2, -999.9951, -1000.00, "negative carry"},
    {2, 0.1 + 0.2, 0.3, "binary noise disappears"},
    {-1, 15.5, 16, "negative count rounds to a whole number, not to tens"},
    {-3, 1234.5678, 1235, "negative count rounds to a whole number, not to thousands"},
    {0, 4503599627370495.5, 4503599627370496, "largest half-integer double"},
    {2, 1e20, 1e20, "more integer digits than significant ones: unchanged"},
    {2, 123456789012345678.0, 123456789012345678.0, "18 significant digits round-trip"},
    {20, 0.1, 0.1, "more decimals than digits: unchanged"},
    {2, 1e-320, 0, "subnormal rounds to zero"},
    {2, 0.0049, 0, "below half a cent"},
    {2, 0, 0, "zero"},
};

TEST(FRound, RoundsThroughEighteenDigitsThenHalfAwayFromZero) {
  for (const FRoundCase& c : kFRoundCases) {
    EXPECT_EQ(FRound(c.decimals, c.value), c.expected)
        << "FRound(" << c.decimals << ", " << c.value << "): " << c.why;
  }
}

TEST(FRound, ZeroResultIsPositiveZero) {
  // A -0 would print as "-0,00" on the panel.
  for (double value : {-0.0, -0.004, -0.0049999, -1e-300}) {
    const double rounded = FRound(2, value);
    EXPECT_EQ(rounded, 0) << value;
    EXPECT_FALSE(std::signbit(rounded)) << value;
  }
}

TEST(FRound, NonFiniteValuesPassUnchanged) {
  EXPECT_EQ(FRound(2, std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_EQ(FRound(2, -std::numeric_limits<double>::infinity()),
            -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(FRound(2, std::numeric_limits<double>::quiet_NaN())));
}

TEST(FRound, IsIdempotentAndStaysWithinHalfAUnit) {
  // Rounding a rounded amount again must not move it (the engine rounds its
  // totals after every call), and no result may be further than half a cent
  // (plus the 18-digit step) from the value.
  std::mt19937_64 random(20240214);
  std::uniform_real_distribution<double> amounts(-1e7, 1e7);
  for (int i = 0; i < 20000; ++i) {
    const double value = amounts(random);
    const double once = FRound(2, value);
    ASSERT_EQ(FRound(2, once), once) << value;
    ASSERT_LE(std::fabs(once - value), 0.005 + 1e-9) << value;
  }
}

// The digits themselves: the 18-digit decimal cut and read back, the way
// FRound decides when a value lies too close to a half to tell otherwise.
double RoundedThroughDigits(int decimals, double value) {
  const detail::RoundedDecimal r = detail::roundDecimal(value, decimals);
  std::string text = r.integerDigits;
  if (!r.fractionDigits.empty()) text += '.' + r.fractionDigits;
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return r.negative ? -result : result;
}

TEST(FRound, AgreesWithTheDecimalDigitsEverywhere) {
  // Amounts of every size, and values at, next to and between the ties of
  // every decimal count the engine uses (k + 1/2 units, one and a few ulps
  // either side, the doubles nearest the decimal ties): the quick path may
  // never decide differently from the digits.
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> amounts(-1e9, 1e9);
  std::uniform_int_distribution<long long> units(-2000000000LL, 2000000000LL);
  for (int decimals : {0, 1, 2, 3, 4, 6, 8, 9, 12}) {
    const double scale = std::pow(10.0, decimals);
    for (int i = 0; i < 4000; ++i) {
      const double amount = amounts(random) / (1 + (i % 7) * 1000.0);
      const double tie = (double(units(random)) + 0.5) / scale;
      double candidates[] = {amount,
                             tie,
                             std::nextafter(tie, 0.0),
                             std::nextafter(tie, 1e300),
                             std::nextafter(std::nextafter(tie, -1e300), -1e300),
                             std::nextafter(std::nextafter(tie, 1e300), 1e300)};
      for (double value : candidates) {
        const double expected = RoundedThroughDigits(decimals, value);
        const double got = FRound(decimals, value);
        ASSERT_EQ(got, expected) << "FRound(" << decimals << ", " << std::setprecision(21) << value
                                 << ")";
        ASSERT_EQ(std::signbit(got), std::signbit(expected)) << value;
      }
    }
  }
}

TEST(Space, BlanksOrNothing) {
  EXPECT_EQ(Space(3), QStringLiteral("   "));
  EXPECT_EQ(Space(0), QString());
  EXPECT_EQ(Space(-2), QString());
}

struct TextCase {
  const char* text;
  int size;
  const char* expected;
};

TEST(PadL, RightAlignsKeepingTheLastCharacters) {
  const TextCase cases[] = {
      {"abc", 5, "  abc"}, {"abcdef", 4, "cdef"}, {"abc", 3, "abc"},
      {"", 2, "  "},       {"abc", 0, "abc"},     {"abc", -1, "abc"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(PadL(QString::fromUtf8(c.text), c.size), QString::fromUtf8(c.expected))
        << "PadL('" << c.text << "', " << c.size << ")";
  }
}

TEST(StrZero, TrimsCutsAndFillsWithZeros) {
  const TextCase cases[] = {
      {"7", 2, "07"},  {" 123 ", 5, "00123"}, {"12345", 3, "345"}, {"", 3, "000"},
      {"  ", 2, "00"}, {"24", 2, "24"},       {"1", 0, "1"},       {" 9", 1, "9"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(StrZero(QString::fromUtf8(c.text), c.size), QString::fromUtf8(c.expected))
        << "StrZero('" << c.text << "', " << c.size << ")";
  }
}

}  // namespace
}  // namespace margivo
