// Date-time values as the ERP and the calculation count them.
//
// A TDateTime is a number of days since 30 December 1899 (day 0), with the
// time of day as the fraction (0.5 is noon). Negative values lie before the
// epoch; the engine never meets them. 0 is also the "zero date" that a null
// date column or a missing row reads as.
#pragma once

#include <QDate>
#include <QDateTime>

namespace margivo {

using TDateTime = double;

// Days between 30/12/1899 and `date`. REQUIRES: date.isValid().
TDateTime toTDateTime(const QDate& date);
// Date and time of day (local wall-clock time, no time zone conversion).
TDateTime toTDateTime(const QDateTime& dateTime);
// The calendar day of `value` (the fraction is dropped).
QDate toQDate(TDateTime value);
// Day and time of day of `value`, rounded to the millisecond (a value a
// fraction of a millisecond before midnight gives the next day at 00:00).
// The result carries the wall-clock fields with time spec UTC, so that no
// daylight-saving gap of the machine's time zone shifts them.
QDateTime toQDateTime(TDateTime value);

}  // namespace margivo
