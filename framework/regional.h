// Regional settings: the separators and date order that every conversion
// between text and numbers or dates uses, and the conversions themselves.
//
// The settings are read once from the user's locale the first time they are
// asked for, and can be replaced explicitly (tests do). On Windows they are
// the user's regional settings of Windows. Elsewhere the locale name of
// numbers is LC_ALL, else LC_NUMERIC, else LANG; that of dates LC_ALL, else
// LC_TIME, else LANG (empty variables count as unset), as QLocale picks them.
// The separators and date order come from Qt's locale data, not from the C
// library, so "pt_BR.UTF-8" works where that locale was never generated.
// A C or POSIX locale, an unset environment or a name Qt does not know give
// '.' and ',' as decimal and thousands separators, '/' as date separator and
// day-month-year order (the order of the date texts the ERP's tools write).
//
// The settings are process-wide and not synchronised: read and replace them
// from one thread (the program has only one).
//
// Errors: conversions of text that is not a number or a date throw
// ConversionError, whose message quotes the text:
//   '30/02/2024' is not a valid date
//   'abc' is not a valid floating point value
//   '' is not a valid integer value
#pragma once

#include <QChar>
#include <QString>
#include <stdexcept>

#include "framework/datetime.h"

namespace margivo {

class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

struct RegionalSettings {
  QChar decimalSeparator = QLatin1Char(',');
  QChar thousandSeparator = QLatin1Char('.');
  QChar dateSeparator = QLatin1Char('/');
  DateOrder shortDateOrder = DateOrder::DayMonthYear;

  // The settings of a named locale ("pt_BR", "en_US", "C"...).
  static RegionalSettings fromLocaleName(const QString& name);
  // The settings of the user's locale: from the environment, or on Windows
  // from the user's regional settings.
  static RegionalSettings fromEnvironment();
  // Brazilian Portuguese: ',' '.' '/' day-month-year.
  static RegionalSettings brazilian();
};

// The process-wide settings; read from the environment on first use.
const RegionalSettings& regionalSettings();
// Replaces the process-wide settings (start-up, tests).
void setRegionalSettings(const RegionalSettings& settings);

// "dd/mm/yyyy" with the date separator of the settings: 14/02/2024. Day
// first whatever the short-date order (only the separator follows the
// settings); the time of day is dropped. Throws ConversionError for a value
// outside the years 1 to 9999 (and for NaN or an infinity).
QString formatDate(TDateTime value);
// The short date in the settings' order with two-digit day and month and a
// four-digit year (14/02/2024, 02/14/2024, 2024-02-14), plus " hh:mm:ss"
// when the value has a time of day (how a date column reads as text).
// parseDate() reads it back under the same settings. Throws as formatDate().
QString formatDateTime(TDateTime value);
// Parses a short date in the settings' order and separator (day and month may
// have one or two digits; a two-digit year is taken as 20yy below 50, 19yy
// otherwise); an optional time "hh:mm[:ss]" may follow. Throws
// ConversionError naming the text when it is not a valid date.
TDateTime parseDate(const QString& text);

// "#,###0.00" (and "###,##0.00", which gives the same text): rounded to two
// decimals exactly as FRound(2, value) rounds, a thousands separator between
// every group of three integer digits, at least one integer digit, a leading
// minus for negatives (never "-0,00"). NaN and infinities give "NAN", "INF"
// and "-INF".
QString formatMoney(double value);

// Text to number with the settings' decimal separator; every thousands
// separator is removed first (wherever it stands: "1.5" is 15 under
// Brazilian settings) and the empty text reads as 0. Accepts blanks around
// the number, a sign, digits on either side of the separator and an exponent
// ("1,5E-2"); ASCII digits only. Throws ConversionError for anything else,
// blanks alone included, and for a value beyond the range of a double.
double textToFloat(const QString& text);
// Whole number in decimal: an optional sign and ASCII digits ("12", "-3",
// "+7"; " -3 " is not accepted: no blanks). Throws ConversionError naming the
// text when it is empty, holds anything else or does not fit in an int.
int textToInt(const QString& text);

}  // namespace margivo
