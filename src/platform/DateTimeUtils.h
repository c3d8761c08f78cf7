// Date-time values as the framework keeps them (days since 30 December 1899 with the
// time of day as fraction) and their conversion to and from calendar fields.
#pragma once

#include <cstdint>

namespace oru {

// Days since 30 December 1899, midnight; the fraction is the time of day. For values
// before that day the fraction still counts forwards from midnight (-1.25 is
// 29 December 1899, 06:00).
using TDateTime = double;

// Calendar fields in the layout of the system's time record.
struct TSystemTime {
    uint16_t Year = 0;
    uint16_t Month = 0;     // 1..12
    uint16_t DayOfWeek = 0; // 0 = Sunday
    uint16_t Day = 0;       // 1..31
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint16_t Milliseconds = 0;
};

// False when the fields do not form a date between the years 1 and 9999 and a valid
// time of day (DayOfWeek is ignored).
bool TryEncodeDateTime(const TSystemTime& fields, TDateTime& value);
// False when the value lies outside the years 1 to 9999 or is not a number.
bool TryDecodeDateTime(TDateTime value, TSystemTime& fields);

// An MS-DOS date and time (time in the low 16 bits, date in the high 16 bits);
// false when they do not form a valid date-time.
bool TryDosDateTimeToDateTime(uint32_t dosDateTime, TDateTime& value);

} // namespace oru
