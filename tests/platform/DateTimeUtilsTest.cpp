#include "platform/DateTimeUtils.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace oru;

namespace {
TSystemTime Fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    TSystemTime f;
    f.Year = static_cast<uint16_t>(y);
    f.Month = static_cast<uint16_t>(mo);
    f.Day = static_cast<uint16_t>(d);
    f.Hour = static_cast<uint16_t>(h);
    f.Minute = static_cast<uint16_t>(mi);
    f.Second = static_cast<uint16_t>(s);
    f.Milliseconds = static_cast<uint16_t>(ms);
    return f;
}
} // namespace

TEST(DateTime, EncodesKnownDays) {
    TDateTime v = -1;
    ASSERT_TRUE(TryEncodeDateTime(Fields(1899, 12, 30), v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(TryEncodeDateTime(Fields(2000, 1, 1, 12), v));
    EXPECT_DOUBLE_EQ(v, 36526.5);
    ASSERT_TRUE(TryEncodeDateTime(Fields(1, 1, 1), v));
    EXPECT_EQ(v, -693593);
    ASSERT_TRUE(TryEncodeDateTime(Fields(9999, 12, 31), v));
    EXPECT_EQ(v, 2958465);
    // Before the epoch the time of day still runs forwards from midnight.
    ASSERT_TRUE(TryEncodeDateTime(Fields(1899, 12, 29, 6), v));
    EXPECT_DOUBLE_EQ(v, -1.25);
}

TEST(DateTime, RefusesImpossibleFields) {
    TDateTime v = 0;
    EXPECT_TRUE(TryEncodeDateTime(Fields(2000, 2, 29), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(1900, 2, 29), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 4, 31), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(0, 1, 1), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(10000, 1, 1), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 13, 1), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 1, 0), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 1, 1, 24), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 1, 1, 0, 60), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 1, 1, 0, 0, 60), v));
    EXPECT_FALSE(TryEncodeDateTime(Fields(2021, 1, 1, 0, 0, 0, 1000), v));
}

TEST(DateTime, DecodesBackToTheFieldsWithWeekday) {
    for (auto f : {Fields(2021, 7, 14, 9, 30, 42, 123), Fields(1601, 1, 1), Fields(1899, 12, 29, 6),
                   Fields(1, 1, 1, 23, 59, 59, 999), Fields(2000, 2, 29, 0, 0, 1),
                   Fields(9999, 12, 31, 12)}) {
        TDateTime v = 0;
        ASSERT_TRUE(TryEncodeDateTime(f, v));
        TSystemTime back;
        ASSERT_TRUE(TryDecodeDateTime(v, back)) << v;
        EXPECT_EQ(back.Year, f.Year);
        EXPECT_EQ(back.Month, f.Month);
        EXPECT_EQ(back.Day, f.Day);
        EXPECT_EQ(back.Hour, f.Hour);
        EXPECT_EQ(back.Minute, f.Minute);
        EXPECT_EQ(back.Second, f.Second);
        EXPECT_EQ(back.Milliseconds, f.Milliseconds);
    }
    TSystemTime f;
    ASSERT_TRUE(TryDecodeDateTime(36526, f)); // 1 January 2000 was a Saturday
    EXPECT_EQ(f.DayOfWeek, 6);
    ASSERT_TRUE(TryDecodeDateTime(0, f)); // 30 December 1899 was a Saturday too
    EXPECT_EQ(f.DayOfWeek, 6);
}

TEST(DateTime, RoundingJustBeforeMidnightGivesTheNextDay) {
    TSystemTime f;
    ASSERT_TRUE(TryDecodeDateTime(36526.0 - 1e-10, f));
    EXPECT_EQ(f.Year, 2000);
    EXPECT_EQ(f.Day, 1);
    EXPECT_EQ(f.Hour, 0);
    EXPECT_EQ(f.Milliseconds, 0);
}

TEST(DateTime, DecodingRefusesValuesOutsideTheCalendar) {
    TSystemTime f;
    EXPECT_FALSE(TryDecodeDateTime(std::nan(""), f));
    EXPECT_FALSE(TryDecodeDateTime(INFINITY, f));
    EXPECT_FALSE(TryDecodeDateTime(-693594.0, f));
    EXPECT_FALSE(TryDecodeDateTime(2958466.0, f));
    EXPECT_FALSE(TryDecodeDateTime(1e300, f));
}

TEST(DateTime, DosDateAndTime) {
    // 14 July 2021 09:30:42: date (41 << 9 | 7 << 5 | 14), time (9 << 11 | 30 << 5 | 21).
    uint32_t dos =
        (uint32_t((41 << 9) | (7 << 5) | 14) << 16) | uint32_t((9 << 11) | (30 << 5) | 21);
    TDateTime v = 0, expected = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(dos, v));
    ASSERT_TRUE(TryEncodeDateTime(Fields(2021, 7, 14, 9, 30, 42), expected));
    EXPECT_DOUBLE_EQ(v, expected);
    EXPECT_FALSE(TryDosDateTimeToDateTime(0, v)); // month 0, day 0
    EXPECT_FALSE(TryDosDateTimeToDateTime((uint32_t((41 << 9) | (2 << 5) | 30) << 16), v));
}
