#include "platform/DateTimeUtils.h"

#include <cmath>

namespace oru {

namespace {

constexpr int64_t MSecsPerDay = 86400000;
// Day number of 30 December 1899 counted from 1 January 0001 as day 1.
constexpr int64_t DateDelta = 693594;
// Exclusive bounds: the time of 1 January 0001 runs from -693593 towards -693594,
// and 1 January 10000 begins at 2958466.
constexpr double MinDateTimeBound = -693594.0;
constexpr double MaxDateTimeBound = 2958466.0;

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1 January 0001 (day 1) to the given date.
int64_t DayNumber(int year, int month, int day) {
    int64_t n = day;
    for (int m = 1; m < month; ++m)
        n += DaysInMonth(year, m);
    int64_t y = year - 1;
    return n + y * 365 + y / 4 - y / 100 + y / 400;
}

} // namespace

bool TryEncodeDateTime(const TSystemTime& f, TDateTime& value) {
    if (f.Year < 1 || f.Year > 9999 || f.Month < 1 || f.Month > 12 || f.Day < 1 ||
        f.Day > DaysInMonth(f.Year, f.Month) || f.Hour > 23 || f.Minute > 59 || f.Second > 59 ||
        f.Milliseconds > 999)
        return false;
    double days = static_cast<double>(DayNumber(f.Year, f.Month, f.Day) - DateDelta);
    double time =
        static_cast<double>(((f.Hour * 60 + f.Minute) * 60 + f.Second) * 1000 + f.Milliseconds) /
        static_cast<double>(MSecsPerDay);
    // Before the epoch the day counts backwards but the time of day still forwards.
    value = days < 0 ? days - time : days + time;
    return true;
}

bool TryDecodeDateTime(TDateTime value, TSystemTime& f) {
    if (!std::isfinite(value) || value <= MinDateTimeBound || value >= MaxDateTimeBound)
        return false;
    double whole = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - whole) * MSecsPerDay);
    int64_t day = static_cast<int64_t>(whole);
    if (ms >= MSecsPerDay) { // rounding reached the next midnight
        ms -= MSecsPerDay;
        day += value < 0 ? -1 : 1;
    }
    int64_t n = day + DateDelta; // 1 = 1 January 0001
    if (n < 1 || n > DayNumber(9999, 12, 31))
        return false;
    f.DayOfWeek = static_cast<uint16_t>(n % 7); // day 1 was a Monday
    int64_t d = n - 1;
    int64_t y400 = d / 146097;
    d %= 146097;
    int64_t y100 = d / 36524;
    if (y100 == 4)
        y100 = 3;
    d -= y100 * 36524;
    int64_t y4 = d / 1461;
    d %= 1461;
    int64_t y1 = d / 365;
    if (y1 == 4)
        y1 = 3;
    d -= y1 * 365;
    int year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    int month = 1;
    while (d >= DaysInMonth(year, month)) {
        d -= DaysInMonth(year, month);
        ++month;
    }
    f.Year = static_cast<uint16_t>(year);
    f.Month = static_cast<uint16_t>(month);
    f.Day = static_cast<uint16_t>(d + 1);
    f.Hour = static_cast<uint16_t>(ms / 3600000);
    f.Minute = static_cast<uint16_t>(ms / 60000 % 60);
    f.Second = static_cast<uint16_t>(ms / 1000 % 60);
    f.Milliseconds = static_cast<uint16_t>(ms % 1000);
    return true;
}

bool TryDosDateTimeToDateTime(uint32_t dosDateTime, TDateTime& value) {
    TSystemTime f;
    uint32_t date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
    f.Year = static_cast<uint16_t>(1980 + (date >> 9));
    f.Month = static_cast<uint16_t>((date >> 5) & 15);
    f.Day = static_cast<uint16_t>(date & 31);
    f.Hour = static_cast<uint16_t>(time >> 11);
    f.Minute = static_cast<uint16_t>((time >> 5) & 63);
    f.Second = static_cast<uint16_t>((time & 31) * 2);
    return TryEncodeDateTime(f, value);
}

} // namespace oru
