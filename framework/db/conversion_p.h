// Internal: values between the engine's representations and the program's.
//
// Dates: a TDateTime counts days from 30/12/1899 with the time of day as the
// fraction; the engine counts days from 17/11/1858 and the time of day in
// units of 1/10000 s. Numbers: integer columns with a scale are decimals
// (1250 with scale -2 is 12.5). Numbers read or sent as text use the
// regional decimal separator, as the text the user sees.
#pragma once

#include <ibase.h>

#include <QString>

#include "framework/datetime.h"

namespace margivo::detail {

// The engine's day and time of day as a TDateTime. Before the epoch the day
// counts back and the time of day still counts forward: -1.25 is 29/12/1899
// 06:00.
TDateTime fromIsc(ISC_DATE days, ISC_TIME time);
// The time of day alone, as the fraction of a day.
TDateTime fromIscTime(ISC_TIME time);
// The time of day as "hh:mm:ss".
QString iscTimeText(ISC_TIME time);
// A TDateTime as the engine's timestamp, to the millisecond. Throws
// ConversionError for NaN, infinities and values far outside the calendar.
ISC_TIMESTAMP toIsc(TDateTime value);

// The decimal that `value` with `scale` stands for, as the nearest double.
double scaled(qint64 value, int scale);

// Up to 15 significant digits, with the regional decimal separator; reads
// back with textToFloat().
QString floatToText(double value);

}  // namespace margivo::detail
