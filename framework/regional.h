// Regional settings: the separators and date order that every conversion
// between text and numbers or dates uses, and the conversions themselves.
//
// The settings are read once from the user's locale (LC_ALL, then LC_NUMERIC,
// then LANG, as QLocale picks them) the first time they are asked for, and can
// be replaced explicitly (tests do). A C or POSIX locale gives '.' and ',' as
// decimal and thousands separators, '/' as date separator and day-month-year
// order... see regional.cpp for the exact fall-backs.
//
// Errors: conversions of text that is not a number or a date throw
// ConversionError, whose message quotes the text.
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
  // The settings of the user's locale, from the environment.
  static RegionalSettings fromEnvironment();
  // Brazilian Portuguese: ',' '.' '/' day-month-year.
  static RegionalSettings brazilian();
};

// The process-wide settings; read from the environment on first use.
const RegionalSettings& regionalSettings();
// Replaces the process-wide settings (start-up, tests).
void setRegionalSettings(const RegionalSettings& settings);

// "dd/mm/yyyy" with the date separator of the settings: 14/02/2024.
QString formatDate(TDateTime value);
// The short date, plus " hh:mm:ss" when the value has a time of day (how a
// date column reads as text).
QString formatDateTime(TDateTime value);
// Parses a short date in the settings' order and separator (day and month may
// have one or two digits; a two-digit year is taken as 20yy below 50, 19yy
// otherwise); an optional time "hh:mm[:ss]" may follow. Throws
// ConversionError naming the text when it is not a valid date.
TDateTime parseDate(const QString& text);

// "#,###0.00" (and "###,##0.00", which gives the same text): rounded to two
// decimals, a thousands separator between every group of three integer
// digits, at least one integer digit, a leading minus for negatives.
QString formatMoney(double value);

// Text to number with the settings' decimal separator; the thousands separator
// is removed first and an empty text reads as 0. Throws ConversionError.
double textToFloat(const QString& text);
// Whole number in decimal ("12", " -3 " is not accepted: no blanks). Throws
// ConversionError naming the text.
int textToInt(const QString& text);

}  // namespace margivo
