#include "framework/regional.h"

#include <QLocale>
#include <QStringView>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "framework/decimal_p.h"

namespace margivo {
namespace {

// The C and POSIX locales (and an unset environment) have no regional
// settings of their own. Numbers then take the usual C text: '.' before the
// decimals, ',' between thousands. Dates keep the slash and the
// day-month-year order of the Brazilian ERP: the date texts this program
// shares with the settings tool are written that way, and the machines that
// run it without a locale (servers, test runners) must read them back the
// same.
constexpr char16_t kCDecimal = u'.';
constexpr char16_t kCThousands = u',';
constexpr char16_t kCDateSeparator = u'/';
constexpr DateOrder kCDateOrder = DateOrder::DayMonthYear;

// TDateTime of 01/01/0001 and of 31/12/9999 23:59:59.999: the years a short
// date with four year digits can show.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958465.99999999;

bool isCLocale(const QLocale& locale) { return locale.language() == QLocale::C; }

// A separator of one character; Qt may describe one with several (bidi
// marks around it), and the conversions here work with single characters.
QChar singleChar(const QString& text, QChar fallback) {
  return text.size() == 1 ? text.front() : fallback;
}

// Reads the order of day, month and year and the separator from a short date
// pattern of QLocale ("dd/MM/yyyy", "M/d/yy", "yyyy. MM. dd.", "d\u200F/M\u200F/yyyy").
void readShortDatePattern(const QString& pattern, RegionalSettings& settings) {
  int dayAt = -1, monthAt = -1, yearAt = -1;
  QChar separator;
  bool quoted = false;
  for (int i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern.at(i);
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == QLatin1Char('d') && dayAt < 0) dayAt = i;
    if (c == QLatin1Char('M') && monthAt < 0) monthAt = i;
    if (c == QLatin1Char('y') && yearAt < 0) yearAt = i;
    // The separator is the first mark after the first field.
    const bool afterField = dayAt >= 0 || monthAt >= 0 || yearAt >= 0;
    if (afterField && separator.isNull() && !c.isLetter() && !c.isSpace() &&
        c.category() != QChar::Other_Format) {
      separator = c;
    }
  }
  if (dayAt < 0 || monthAt < 0 || yearAt < 0) return;
  if (yearAt < monthAt && monthAt < dayAt) {
    settings.shortDateOrder = DateOrder::YearMonthDay;
  } else if (monthAt < dayAt) {
    settings.shortDateOrder = DateOrder::MonthDayYear;
  } else {
    settings.shortDateOrder = DateOrder::DayMonthYear;
  }
  if (!separator.isNull()) settings.dateSeparator = separator;
}

void applyNumbers(const QLocale& locale, RegionalSettings& settings) {
  if (isCLocale(locale)) {
    settings.decimalSeparator = QChar(kCDecimal);
    settings.thousandSeparator = QChar(kCThousands);
    return;
  }
  settings.decimalSeparator = singleChar(locale.decimalPoint(), QChar(kCDecimal));
  settings.thousandSeparator = singleChar(locale.groupSeparator(), QChar(kCThousands));
  // Both separators in one text must stay distinguishable.
  if (settings.thousandSeparator == settings.decimalSeparator) {
    settings.thousandSeparator =
        settings.decimalSeparator == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(',');
  }
}

void applyDates(const QLocale& locale, RegionalSettings& settings) {
  settings.dateSeparator = QChar(kCDateSeparator);
  settings.shortDateOrder = kCDateOrder;
  if (!isCLocale(locale)) readShortDatePattern(locale.dateFormat(QLocale::ShortFormat), settings);
}

#ifndef Q_OS_WIN
// The locale name of one category as the C library would choose it: LC_ALL
// wins, then the category's own variable, then LANG.
QString localeNameFor(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty()) return value;
  }
  return QStringLiteral("C");
}
#endif

RegionalSettings& storage() {
  static RegionalSettings settings = RegionalSettings::fromEnvironment();
  return settings;
}

ConversionError notANumber(const QString& text) {
  return ConversionError(
      QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
}

ConversionError notAnInteger(const QString& text) {
  return ConversionError(
      QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
}

ConversionError notADate(const QString& text) {
  return ConversionError(QStringLiteral("'%1' is not a valid date").arg(text).toStdString());
}

// Day and milliseconds of a value a date text can show; throws otherwise.
QDateTime checkedDateTime(TDateTime value) {
  if (!(value >= kMinDateTime && value <= kMaxDateTime)) {
    throw notADate(QString::number(value, 'g', 17));
  }
  return toQDateTime(value);
}

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }
QString fourDigits(int n) { return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')); }

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Reads 1 to maxDigits ASCII digits at `pos`; -1 when there are none or too many.
int readNumber(QStringView text, qsizetype& pos, int maxDigits, int* digitCount = nullptr) {
  int value = 0;
  int count = 0;
  while (pos < text.size() && isAsciiDigit(text[pos])) {
    if (++count > maxDigits) return -1;
    value = value * 10 + (text[pos].unicode() - u'0');
    ++pos;
  }
  if (digitCount) *digitCount = count;
  return count == 0 ? -1 : value;
}

bool expect(QStringView text, qsizetype& pos, QChar c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

RegionalSettings RegionalSettings::fromLocaleName(const QString& name) {
  const QLocale locale(name);
  RegionalSettings settings;
  applyNumbers(locale, settings);
  applyDates(locale, settings);
  return settings;
}

RegionalSettings RegionalSettings::fromEnvironment() {
  RegionalSettings settings;
#ifdef Q_OS_WIN
  // Windows keeps the user's regional settings (its Control Panel), not the
  // environment: Qt's system locale reads them, the separators and the
  // short-date pattern the user may have changed included, as the ERP's
  // own programs read them.
  const QLocale system = QLocale::system();
  applyNumbers(system, settings);
  applyDates(system, settings);
#else
  // Qt's own locale data, not the C library's: a pt_BR user gets the
  // Brazilian separators even where that locale was never generated.
  applyNumbers(QLocale(localeNameFor("LC_NUMERIC")), settings);
  applyDates(QLocale(localeNameFor("LC_TIME")), settings);
#endif
  return settings;
}

RegionalSettings RegionalSettings::brazilian() {
  RegionalSettings settings;
  settings.decimalSeparator = QLatin1Char(',');
  settings.thousandSeparator = QLatin1Char('.');
  settings.dateSeparator = QLatin1Char('/');
  settings.shortDateOrder = DateOrder::DayMonthYear;
  return settings;
}

const RegionalSettings& regionalSettings() { return storage(); }

void setRegionalSettings(const RegionalSettings& settings) { storage() = settings; }

QString formatDate(TDateTime value) {
  const QDate date = checkedDateTime(value).date();
  const QChar sep = regionalSettings().dateSeparator;
  return twoDigits(date.day()) + sep + twoDigits(date.month()) + sep + fourDigits(date.year());
}

QString formatDateTime(TDateTime value) {
  const QDateTime dateTime = checkedDateTime(value);
  const QDate date = dateTime.date();
  const RegionalSettings& settings = regionalSettings();
  const QChar sep = settings.dateSeparator;
  QString text;
  switch (settings.shortDateOrder) {
    case DateOrder::DayMonthYear:
      text = twoDigits(date.day()) + sep + twoDigits(date.month()) + sep + fourDigits(date.year());
      break;
    case DateOrder::MonthDayYear:
      text = twoDigits(date.month()) + sep + twoDigits(date.day()) + sep + fourDigits(date.year());
      break;
    case DateOrder::YearMonthDay:
      text = fourDigits(date.year()) + sep + twoDigits(date.month()) + sep + twoDigits(date.day());
      break;
  }
  const QTime time = dateTime.time();
  if (time.msecsSinceStartOfDay() != 0) {
    text += QLatin1Char(' ') + twoDigits(time.hour()) + QLatin1Char(':') +
            twoDigits(time.minute()) + QLatin1Char(':') + twoDigits(time.second());
  }
  return text;
}

TDateTime parseDate(const QString& text) {
  const QStringView input = QStringView(text).trimmed();
  const RegionalSettings& settings = regionalSettings();
  const QChar sep = settings.dateSeparator;
  const bool yearFirst = settings.shortDateOrder == DateOrder::YearMonthDay;

  qsizetype pos = 0;
  int yearDigits = 0;
  int fields[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !expect(input, pos, sep)) throw notADate(text);
    const bool isYear = yearFirst ? i == 0 : i == 2;
    fields[i] = readNumber(input, pos, isYear ? 4 : 2, isYear ? &yearDigits : nullptr);
    if (fields[i] < 0) throw notADate(text);
  }
  int day = 0, month = 0, year = 0;
  switch (settings.shortDateOrder) {
    case DateOrder::DayMonthYear:
      day = fields[0];
      month = fields[1];
      year = fields[2];
      break;
    case DateOrder::MonthDayYear:
      month = fields[0];
      day = fields[1];
      year = fields[2];
      break;
    case DateOrder::YearMonthDay:
      year = fields[0];
      month = fields[1];
      day = fields[2];
      break;
  }
  if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
  const QDate date(year, month, day);
  if (year < 1 || !date.isValid()) throw notADate(text);

  QTime time(0, 0);
  if (pos < input.size()) {
    if (!input[pos].isSpace()) throw notADate(text);
    while (pos < input.size() && input[pos].isSpace()) ++pos;
    const int hour = readNumber(input, pos, 2);
    if (hour < 0 || !expect(input, pos, QLatin1Char(':'))) throw notADate(text);
    const int minute = readNumber(input, pos, 2);
    int second = 0;
    if (minute >= 0 && expect(input, pos, QLatin1Char(':'))) second = readNumber(input, pos, 2);
    if (minute < 0 || second < 0 || pos != input.size()) throw notADate(text);
    time = QTime(hour, minute, second);
    if (!time.isValid()) throw notADate(text);
  }
  return toTDateTime(QDateTime(date, time, Qt::UTC));
}

QString formatMoney(double value) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  const detail::RoundedDecimal rounded = detail::roundDecimal(value, 2);
  const RegionalSettings& settings = regionalSettings();
  QString text;
  if (rounded.negative) text += QLatin1Char('-');
  const std::string& digits = rounded.integerDigits;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += settings.thousandSeparator;
    text += QLatin1Char(digits[i]);
  }
  text += settings.decimalSeparator;
  text += QLatin1String(rounded.fractionDigits.data(),
                        static_cast<qsizetype>(rounded.fractionDigits.size()));
  return text;
}

double textToFloat(const QString& text) {
  if (text.isEmpty()) return 0;
  const RegionalSettings& settings = regionalSettings();
  QString cleaned = text;
  cleaned.remove(settings.thousandSeparator);
  const QStringView input = QStringView(cleaned).trimmed();

  // [sign] digits [separator digits] [E [sign] digits], with at least one
  // digit before the exponent; rewritten in the C form for from_chars.
  std::string ascii;
  qsizetype pos = 0;
  bool negative = false;
  if (pos < input.size() && (input[pos] == QLatin1Char('+') || input[pos] == QLatin1Char('-'))) {
    negative = input[pos] == QLatin1Char('-');
    ++pos;
  }
  int mantissaDigits = 0;
  for (; pos < input.size() && isAsciiDigit(input[pos]); ++pos, ++mantissaDigits) {
    ascii += static_cast<char>(input[pos].unicode());
  }
  if (pos < input.size() && input[pos] == settings.decimalSeparator) {
    ascii += '.';
    for (++pos; pos < input.size() && isAsciiDigit(input[pos]); ++pos, ++mantissaDigits) {
      ascii += static_cast<char>(input[pos].unicode());
    }
  }
  if (mantissaDigits == 0) throw notANumber(text);
  if (pos < input.size() && (input[pos] == QLatin1Char('e') || input[pos] == QLatin1Char('E'))) {
    ascii += 'e';
    ++pos;
    if (pos < input.size() && (input[pos] == QLatin1Char('+') || input[pos] == QLatin1Char('-'))) {
      ascii += static_cast<char>(input[pos].unicode());
      ++pos;
    }
    int exponentDigits = 0;
    for (; pos < input.size() && isAsciiDigit(input[pos]); ++pos, ++exponentDigits) {
      ascii += static_cast<char>(input[pos].unicode());
    }
    if (exponentDigits == 0) throw notANumber(text);
  }
  if (pos != input.size()) throw notANumber(text);

  double value = 0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error != std::errc() || end != ascii.data() + ascii.size()) throw notANumber(text);
  return negative ? -value : value;
}

int textToInt(const QString& text) {
  qsizetype pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
    negative = text[pos] == QLatin1Char('-');
    ++pos;
  }
  if (pos == text.size()) throw notAnInteger(text);
  long long value = 0;
  for (; pos < text.size(); ++pos) {
    if (!isAsciiDigit(text[pos])) throw notAnInteger(text);
    value = value * 10 + (text[pos].unicode() - u'0');
    if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
      throw notAnInteger(text);
    }
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) throw notAnInteger(text);
  return static_cast<int>(value);
}

}  // namespace margivo
