#include "framework/db/conversion_p.h"

#include <QTime>
#include <cmath>
#include <string>

#include "framework/regional.h"

namespace margivo::detail {
namespace {

constexpr int kIscEpochOffset = 15018;  // days from 17/11/1858 to 30/12/1899
constexpr qint64 kMsPerDay = 86400000;
constexpr qint64 kIscTimeUnitsPerMs = 10;

double powerOfTen(int exponent) {
  double result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

}  // namespace

TDateTime fromIsc(ISC_DATE days, ISC_TIME time) {
  const double fraction = fromIscTime(time);
  const qint64 day = qint64(days) - kIscEpochOffset;
  return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

TDateTime fromIscTime(ISC_TIME time) {
  return double(time) / double(kMsPerDay * kIscTimeUnitsPerMs);
}

QString iscTimeText(ISC_TIME time) {
  return QTime::fromMSecsSinceStartOfDay(int(time / kIscTimeUnitsPerMs))
      .toString(QStringLiteral("hh:mm:ss"));
}

ISC_TIMESTAMP toIsc(TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) {
    throw ConversionError("date value out of range: " + std::to_string(value));
  }
  qint64 day = qint64(std::trunc(value));
  qint64 ms = std::llround(std::fabs(value - double(day)) * double(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += value < 0 ? -1 : 1;
  }
  ISC_TIMESTAMP stamp;
  stamp.timestamp_date = ISC_DATE(day + kIscEpochOffset);
  stamp.timestamp_time = ISC_TIME(ms * kIscTimeUnitsPerMs);
  return stamp;
}

double scaled(qint64 value, int scale) {
  // Dividing by the power of ten gives the double nearest the decimal
  // (1250 with scale -2 is exactly the double nearest 12.5).
  if (scale < 0) return double(value) / powerOfTen(-scale);
  return double(value) * powerOfTen(scale);
}

QString floatToText(double value) {
  QString text = QString::number(value, 'g', 15);
  const QChar separator = regionalSettings().decimalSeparator;
  if (separator != u'.') text.replace(u'.', separator);
  return text;
}

}  // namespace margivo::detail
