#include "framework/datetime.h"

#include <cmath>
#include <cstdint>

namespace margivo {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

const QDate& epoch() {
  static const QDate date(1899, 12, 30);
  return date;
}

// A TDateTime before the epoch keeps its time of day as a positive fraction
// behind a negative day number: -1.25 is 29/12/1899 06:00, not 18:00. The
// linear value (days elapsed since the epoch, -0.75 there) is what the clock
// arithmetic below needs.
double toLinear(TDateTime value) {
  if (value >= 0) return value;
  const double day = std::trunc(value);
  return day + (day - value);
}

TDateTime fromLinear(double linear) {
  if (linear >= 0) return linear;
  const double day = std::floor(linear);
  const double time = linear - day;
  return day - time;
}

// Whole days and milliseconds of the day, rounded to the millisecond as the
// ERP's clock fields are.
void split(TDateTime value, std::int64_t& days, std::int64_t& ms) {
  const auto total = static_cast<std::int64_t>(std::llround(toLinear(value) * kMsPerDay));
  days = total / kMsPerDay;
  ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
}

}  // namespace

TDateTime toTDateTime(const QDate& date) { return static_cast<double>(epoch().daysTo(date)); }

TDateTime toTDateTime(const QDateTime& dateTime) {
  const double days = static_cast<double>(epoch().daysTo(dateTime.date()));
  const double time = static_cast<double>(dateTime.time().msecsSinceStartOfDay()) / kMsPerDay;
  return fromLinear(days + time);
}

QDate toQDate(TDateTime value) { return epoch().addDays(static_cast<qint64>(std::trunc(value))); }

QDateTime toQDateTime(TDateTime value) {
  std::int64_t days = 0;
  std::int64_t ms = 0;
  split(value, days, ms);
  // Wall-clock fields only: as UTC, no daylight-saving gap can move them
  // (Brazilian summer time used to start at midnight, a local time that did
  // not exist on that day).
  return QDateTime(epoch().addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)),
                   Qt::UTC);
}

}  // namespace margivo
