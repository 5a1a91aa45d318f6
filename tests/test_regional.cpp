// Regional settings and the conversions every setting, date parameter and
// panel figure goes through.
#include "framework/regional.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cmath>
#include <limits>
#include <random>

#include "framework/funcoes.h"
#include "tests/support/testenv.h"

namespace margivo {

// Found by argument-dependent lookup when a check prints a DateOrder.
std::ostream& operator<<(std::ostream& out, DateOrder order) {
  switch (order) {
    case DateOrder::DayMonthYear:
      return out << "day-month-year";
    case DateOrder::MonthDayYear:
      return out << "month-day-year";
    case DateOrder::YearMonthDay:
      return out << "year-month-day";
  }
  return out;
}

namespace {

void expectSettings(const RegionalSettings& actual, QChar decimal, QChar thousands,
                    QChar dateSeparator, DateOrder order, const char* what) {
  EXPECT_EQ(actual.decimalSeparator, decimal) << what;
  EXPECT_EQ(actual.thousandSeparator, thousands) << what;
  EXPECT_EQ(actual.dateSeparator, dateSeparator) << what;
  EXPECT_EQ(actual.shortDateOrder, order) << what;
}

// Every test starts from Brazilian settings and leaves the process-wide ones
// as it found them.
class Regional : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = regionalSettings();
    setRegionalSettings(RegionalSettings::brazilian());
  }
  void TearDown() override { setRegionalSettings(saved_); }

  static void use(const char* localeName) {
    setRegionalSettings(RegionalSettings::fromLocaleName(QString::fromLatin1(localeName)));
  }

 private:
  RegionalSettings saved_;
};

// Converting `text` must fail with a ConversionError whose message quotes
// the text, so that the user sees which setting or column is wrong.
template <typename Convert>
void expectRejected(const char* text, Convert convert) {
  try {
    convert(QString::fromUtf8(text));
    ADD_FAILURE() << "accepted '" << text << "'";
  } catch (const ConversionError& error) {
    EXPECT_NE(std::string(error.what()).find(std::string("'") + text + "'"), std::string::npos)
        << error.what();
  }
}

// ---- Settings from locale names and from the environment -------------------

TEST(RegionalSettingsTest, FromLocaleNameUsesQtLocaleData) {
  struct Case {
    const char* name;
    char16_t decimal, thousands, date;
    DateOrder order;
  };
  const Case cases[] = {
      {"pt_BR", u',', u'.', u'/', DateOrder::DayMonthYear},
      {"pt_BR.UTF-8", u',', u'.', u'/', DateOrder::DayMonthYear},
      {"pt_BR.ISO-8859-1@x", u',', u'.', u'/', DateOrder::DayMonthYear},
      {"en_US.UTF-8", u'.', u',', u'/', DateOrder::MonthDayYear},
      {"en_GB", u'.', u',', u'/', DateOrder::DayMonthYear},
      {"de_DE", u',', u'.', u'.', DateOrder::DayMonthYear},
      {"ja_JP", u'.', u',', u'/', DateOrder::YearMonthDay},
      {"sv_SE", u',', u'\u00a0', u'-', DateOrder::YearMonthDay},
      {"hu_HU", u',', u'\u00a0', u'.', DateOrder::YearMonthDay},
      {"bg_BG", u',', u'\u00a0', u'.', DateOrder::DayMonthYear},
      // The C locale and anything Qt does not know: C numbers, Brazilian dates.
      {"C", u'.', u',', u'/', DateOrder::DayMonthYear},
      {"C.UTF-8", u'.', u',', u'/', DateOrder::DayMonthYear},
      {"POSIX", u'.', u',', u'/', DateOrder::DayMonthYear},
      {"", u'.', u',', u'/', DateOrder::DayMonthYear},
      {"xx_YY", u'.', u',', u'/', DateOrder::DayMonthYear},
  };
  for (const Case& c : cases) {
    expectSettings(RegionalSettings::fromLocaleName(QString::fromLatin1(c.name)), QChar(c.decimal),
                   QChar(c.thousands), QChar(c.date), c.order, c.name);
  }
}

TEST(RegionalSettingsTest, BrazilianSettings) {
  expectSettings(RegionalSettings::brazilian(), u',', u'.', u'/', DateOrder::DayMonthYear,
                 "brazilian()");
}

#ifdef _WIN32
// The user's regional settings of Windows, whatever the POSIX variables say.
// The Wine prefix of the test run takes a Brazilian locale from LC_ALL (set
// by ctest), so they are Brazilian here.
TEST(RegionalSettingsTest, WindowsTakesTheUsersRegionalSettings) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
  ASSERT_EQ(QString::fromWCharArray(name), "pt-BR") << "run with LC_ALL=pt_BR.UTF-8";
  const RegionalSettings settings = RegionalSettings::fromEnvironment();
  expectSettings(settings, u',', u'.', u'/', DateOrder::DayMonthYear, "pt-BR");
  {
    test::ScopedEnv all("LC_ALL", "en_US.UTF-8");
    test::ScopedEnv lang("LANG", "en_US.UTF-8");
    expectSettings(RegionalSettings::fromEnvironment(), u',', u'.', u'/', DateOrder::DayMonthYear,
                   "POSIX variables ignored");
  }
  // The process-wide settings, read at their first use, are those.
  expectSettings(regionalSettings(), u',', u'.', u'/', DateOrder::DayMonthYear, "process");
  EXPECT_EQ(formatMoney(1234567.891), "1.234.567,89");
  EXPECT_EQ(textToFloat("1.234,5"), 1234.5);
}
#else
TEST(RegionalSettingsTest, FromEnvironmentPicksEachCategoryLikeTheCLibrary) {
  struct Case {
    const char* what;
    const char* lcAll;
    const char* lcNumeric;
    const char* lcTime;
    const char* lang;
    char16_t decimal, thousands, date;
    DateOrder order;
  };
  // nullptr: variable unset.
  const Case cases[] = {
      {"nothing set: C", nullptr, nullptr, nullptr, nullptr, u'.', u',', u'/',
       DateOrder::DayMonthYear},
      {"LANG only", nullptr, nullptr, nullptr, "pt_BR.UTF-8", u',', u'.', u'/',
       DateOrder::DayMonthYear},
      {"LC_NUMERIC over LANG for numbers only", nullptr, "pt_BR.UTF-8", nullptr, "en_US.UTF-8",
       u',', u'.', u'/', DateOrder::MonthDayYear},
      {"LC_TIME over LANG for dates only", nullptr, nullptr, "en_US.UTF-8", "pt_BR.UTF-8", u',',
       u'.', u'/', DateOrder::MonthDayYear},
      {"LC_ALL over everything", "de_DE.UTF-8", "en_US.UTF-8", "ja_JP.UTF-8", "pt_BR.UTF-8", u',',
       u'.', u'.', DateOrder::DayMonthYear},
      {"empty LC_ALL counts as unset", "", "en_US.UTF-8", nullptr, "pt_BR.UTF-8", u'.', u',', u'/',
       DateOrder::DayMonthYear},
      {"C in LC_ALL", "C", nullptr, nullptr, "pt_BR.UTF-8", u'.', u',', u'/',
       DateOrder::DayMonthYear},
  };
  auto value = [](const char* v) { return v ? QByteArray(v) : QByteArray(); };
  for (const Case& c : cases) {
    test::ScopedEnv all("LC_ALL", value(c.lcAll));
    test::ScopedEnv numeric("LC_NUMERIC", value(c.lcNumeric));
    test::ScopedEnv time("LC_TIME", value(c.lcTime));
    test::ScopedEnv lang("LANG", value(c.lang));
    expectSettings(RegionalSettings::fromEnvironment(), QChar(c.decimal), QChar(c.thousands),
                   QChar(c.date), c.order, c.what);
  }
}
#endif

TEST_F(Regional, ProcessWideSettingsCanBeReplaced) {
  use("en_US");
  EXPECT_EQ(regionalSettings().decimalSeparator, QLatin1Char('.'));
  EXPECT_EQ(formatMoney(1234.5), QStringLiteral("1,234.50"));
  setRegionalSettings(RegionalSettings::brazilian());
  EXPECT_EQ(formatMoney(1234.5), QStringLiteral("1.234,50"));
}

// ---- TDateTime ---------------------------------------------------------------

TEST(TDateTimeTest, DaysSinceTheEpochAndTimeAsFraction) {
  struct Case {
    QDateTime dateTime;
    TDateTime value;
  };
  const Case cases[] = {
      {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0},
      {QDateTime(QDate(1900, 1, 1), QTime(0, 0)), 2},
      {QDateTime(QDate(2024, 2, 14), QTime(0, 0)), 45336},
      {QDateTime(QDate(2024, 2, 14), QTime(12, 0)), 45336.5},
      {QDateTime(QDate(2024, 2, 14), QTime(18, 0)), 45336.75},
      {QDateTime(QDate(2024, 2, 29), QTime(6, 0)), 45351.25},
      // Before the epoch the fraction still counts forward from midnight.
      {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
      {QDateTime(QDate(1899, 12, 28), QTime(18, 0)), -2.75},
      {QDateTime(QDate(1, 1, 1), QTime(0, 0)), -693593},
      {QDateTime(QDate(9999, 12, 31), QTime(0, 0)), 2958465},
  };
  for (const Case& c : cases) {
    const std::string what = c.dateTime.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(toTDateTime(c.dateTime), c.value) << what;
    EXPECT_EQ(toTDateTime(c.dateTime.date()), std::trunc(c.value)) << what;
    EXPECT_EQ(toQDate(c.value), c.dateTime.date()) << what;
    const QDateTime back = toQDateTime(c.value);
    EXPECT_EQ(back.date(), c.dateTime.date()) << what;
    EXPECT_EQ(back.time(), c.dateTime.time()) << what;
  }
}

TEST(TDateTimeTest, TimeOfDayRoundsToTheMillisecond) {
  const QDateTime noon = toQDateTime(toTDateTime(QDateTime(QDate(2024, 2, 14), QTime(14, 30, 15))));
  EXPECT_EQ(noon.time(), QTime(14, 30, 15));
  // A hair before midnight is midnight of the next day.
  const QDateTime midnight = toQDateTime(45336.9999999999);
  EXPECT_EQ(midnight.date(), QDate(2024, 2, 15));
  EXPECT_EQ(midnight.time(), QTime(0, 0));
  // ...but the calendar day of the value itself drops the fraction.
  EXPECT_EQ(toQDate(45336.9999999999), QDate(2024, 2, 14));
}

// ---- Dates as text -----------------------------------------------------------

TEST_F(Regional, FormatDateIsDayMonthYearWithTheSettingsSeparator) {
  EXPECT_EQ(formatDate(45336), QStringLiteral("14/02/2024"));
  EXPECT_EQ(formatDate(45336.75), QStringLiteral("14/02/2024")) << "no time of day";
  EXPECT_EQ(formatDate(-693593), QStringLiteral("01/01/0001"));
  use("de_DE");
  EXPECT_EQ(formatDate(45336), QStringLiteral("14.02.2024"));
  // The pattern fixes the order of the fields; only the separator follows
  // the settings.
  use("en_US");
  EXPECT_EQ(formatDate(45336), QStringLiteral("14/02/2024"));
}

TEST_F(Regional, FormatDateTimeIsTheShortDatePlusTheTimeWhenThereIsOne) {
  const TDateTime withTime = toTDateTime(QDateTime(QDate(2024, 2, 14), QTime(9, 5, 7)));
  struct Case {
    const char* locale;
    TDateTime value;
    const char* expected;
  };
  const Case cases[] = {
      {"pt_BR", 45336, "14/02/2024"},
      {"pt_BR", withTime, "14/02/2024 09:05:07"},
      {"pt_BR", 45336.5, "14/02/2024 12:00:00"},
      {"en_US", withTime, "02/14/2024 09:05:07"},
      {"ja_JP", 45336, "2024/02/14"},
      {"sv_SE", withTime, "2024-02-14 09:05:07"},
      {"de_DE", 2, "01.01.1900"},
  };
  for (const Case& c : cases) {
    use(c.locale);
    EXPECT_EQ(formatDateTime(c.value), QString::fromLatin1(c.expected)) << c.locale;
  }
}

TEST_F(Regional, DatesOutsideFourDigitYearsDoNotFormat) {
  for (double value : {-693594.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
    EXPECT_THROW(formatDate(value), ConversionError) << value;
    EXPECT_THROW(formatDateTime(value), ConversionError) << value;
  }
}

struct ParseCase {
  const char* text;
  TDateTime expected;
};

TEST_F(Regional, ParseDateReadsDayMonthYearUnderBrazilianSettings) {
  const TDateTime feb14 = 45336;
  const ParseCase cases[] = {
      {"14/02/2024", feb14},
      {"1/2/2024", toTDateTime(QDate(2024, 2, 1))},
      {"14/02/24", feb14},
      {"14/02/49", toTDateTime(QDate(2049, 2, 14))},
      {"14/02/50", toTDateTime(QDate(1950, 2, 14))},
      {"29/02/2024", 45351},
      {"  14/02/2024 ", feb14},
      {"14/02/2024 12:00", feb14 + 0.5},
      {"14/02/2024 18:00:00", feb14 + 0.75},
      {"14/02/2024 9:05:07", toTDateTime(QDateTime(QDate(2024, 2, 14), QTime(9, 5, 7)))},
      {"01/01/0001", -693593},
      {"30/12/1899", 0},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(parseDate(QString::fromLatin1(c.text)), c.expected) << c.text;
  }
}

TEST_F(Regional, ParseDateRejectsWhatIsNotADateAndNamesTheText) {
  const char* invalid[] = {
      "",
      "abc",
      "30/02/2024",
      "29/02/2023",
      "14-02-2024",
      "14/02",
      "14/02/2024x",
      "14/02/2024 25:00",
      "14/02/2024 10",
      "14/02/20245",
      "0/01/2024",
      "14/13/2024",
      "14/02/0000",
      "140/2/2024",
      "14/02/2024 10:60",
      "14/02/2024 10:00:00:00",
      "14/ 02/2024",
      "14.02.2024",
  };
  for (const char* text : invalid) expectRejected(text, parseDate);
}

TEST_F(Regional, ParseDateFollowsTheShortDateOrderOfTheSettings) {
  use("en_US");
  // Month first: a day-month-year text either fails or reads another day.
  EXPECT_EQ(parseDate(QStringLiteral("02/14/2024")), 45336);
  EXPECT_EQ(parseDate(QStringLiteral("01/02/2024")), toTDateTime(QDate(2024, 1, 2)));
  EXPECT_THROW(parseDate(QStringLiteral("14/02/2024")), ConversionError);
  use("sv_SE");
  EXPECT_EQ(parseDate(QStringLiteral("2024-02-14")), 45336);
  EXPECT_EQ(parseDate(QStringLiteral("24-2-14")), 45336);
  EXPECT_THROW(parseDate(QStringLiteral("14-02-2024")), ConversionError);
  use("de_DE");
  EXPECT_EQ(parseDate(QStringLiteral("14.02.2024 12:00")), 45336.5);
  EXPECT_THROW(parseDate(QStringLiteral("14/02/2024")), ConversionError);
}

TEST_F(Regional, DateTextsRoundTrip) {
  const TDateTime values[] = {45336,
                              45351.25,
                              toTDateTime(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))),
                              0,
                              2,
                              toTDateTime(QDate(1999, 1, 1)),
                              toTDateTime(QDate(2050, 7, 4))};
  for (const char* locale : {"pt_BR", "en_US", "ja_JP", "sv_SE", "de_DE", "C"}) {
    use(locale);
    for (TDateTime value : values) {
      EXPECT_EQ(parseDate(formatDateTime(value)), value) << locale << " " << value;
    }
  }
  // The day-month-year pattern reads back wherever the short date is in that
  // order, whatever the separator.
  for (const char* locale : {"pt_BR", "de_DE", "C"}) {
    use(locale);
    for (TDateTime value : values) {
      EXPECT_EQ(parseDate(formatDate(value)), std::trunc(value)) << locale << " " << value;
    }
  }
}

// ---- Numbers as text -----------------------------------------------------------

struct MoneyCase {
  double value;
  const char* expected;
};

TEST_F(Regional, FormatMoneyGroupsThousandsAndRoundsLikeFRound) {
  const MoneyCase cases[] = {
      {0, "0,00"},
      {1234567.89, "1.234.567,89"},
      {-45.5, "-45,50"},
      {100, "100,00"},
      {1000, "1.000,00"},
      {123456, "123.456,00"},
      {-1234567, "-1.234.567,00"},
      {999.999, "1.000,00"},
      {0.125, "0,13"},
      {2.675, "2,67"},
      {1000.005, "1.000,01"},
      {-0.005, "-0,01"},
      {-0.004, "0,00"},
      {-0.0, "0,00"},
      {1e15, "1.000.000.000.000.000,00"},
  };
  for (const MoneyCase& c : cases) {
    EXPECT_EQ(formatMoney(c.value), QString::fromLatin1(c.expected)) << c.value;
  }
  use("en_US");
  EXPECT_EQ(formatMoney(1234567.89), QStringLiteral("1,234,567.89"));
  EXPECT_EQ(formatMoney(-0.5), QStringLiteral("-0.50"));
}

TEST_F(Regional, MoneyTextReadsBackAsTheRoundedAmount) {
  // What the panel shows is exactly the engine's FRound of the figure.
  std::mt19937_64 random(45336);
  std::uniform_real_distribution<double> amounts(-1e9, 1e9);
  for (int i = 0; i < 20000; ++i) {
    const double value = amounts(random) / (i % 2 ? 1 : 1000);
    ASSERT_EQ(textToFloat(formatMoney(value)), FRound(2, value)) << value;
  }
}

struct FloatCase {
  const char* text;
  double expected;
};

TEST_F(Regional, TextToFloatUnderBrazilianSettings) {
  const FloatCase cases[] = {
      {"", 0},          {"0", 0},          {"1.234,56", 1234.56}, {"1234,56", 1234.56},
      {"-45,5", -45.5}, {"+3", 3},         {",5", 0.5},           {"5,", 5},
      {" 12,5 ", 12.5}, {"1.5", 15},  // the thousands separator goes wherever it stands
      {"1e3", 1000},    {"1,5E-2", 0.015}, {"0,1", 0.1},
  };
  for (const FloatCase& c : cases) {
    EXPECT_EQ(textToFloat(QString::fromLatin1(c.text)), c.expected) << "'" << c.text << "'";
  }
}

TEST_F(Regional, TextToFloatFollowsTheSettingsSeparators) {
  use("en_US");
  EXPECT_EQ(textToFloat(QStringLiteral("1,234.56")), 1234.56);
  EXPECT_EQ(textToFloat(QStringLiteral("12,5")), 125);
  use("fr_FR");
  EXPECT_EQ(textToFloat(QStringLiteral("1\u202f234,5")), 1234.5);
  use("C");
  EXPECT_EQ(textToFloat(QStringLiteral("-0.25")), -0.25);
}

TEST_F(Regional, TextToFloatRejectsWhatIsNotANumberAndNamesTheText) {
  const char* invalid[] = {"abc", "12,5,3", "1 2", "-",    ",",     "   ",   "1e",
                           "e5",  "inf",    "nan", "0x10", "1e999", "12,5%", "--1"};
  for (const char* text : invalid) expectRejected(text, textToFloat);
}

TEST_F(Regional, TextToIntReadsPlainDecimalIntegers) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {{"12", 12},
               {"-3", -3},
               {"+7", 7},
               {"0", 0},
               {"007", 7},
               {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(textToInt(QString::fromLatin1(c.text)), c.expected) << c.text;
  }
  const char* invalid[] = {"",
                           " 1",
                           "1 ",
                           "1.0",
                           "1,0",
                           "2147483648",
                           "-2147483649",
                           "abc",
                           "-",
                           "+",
                           "99999999999999999999"};
  for (const char* text : invalid) expectRejected(text, textToInt);
  EXPECT_THROW(textToInt(QStringLiteral("\u0661")), ConversionError) << "Arabic-Indic digit";
}

}  // namespace
}  // namespace margivo
