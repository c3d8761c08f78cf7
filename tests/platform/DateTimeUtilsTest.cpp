#include "platform/DateTimeUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace oru;

namespace {
TSystemTime Fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return TSystemTime{uint16_t(y), uint16_t(mo), 0,           uint16_t(d),
                       uint16_t(h), uint16_t(mi), uint16_t(s), uint16_t(ms)};
}
double Encoded(const TSystemTime& f) {
    TDateTime v = 0;
    return TryEncodeDateTime(f, v) ? v : NAN;
}
} // namespace

TEST(DateTime, EncodesKnownDaysAndRefusesImpossibleOnes) {
    EXPECT_EQ(Encoded(Fields(1899, 12, 30)), 0);
    EXPECT_EQ(Encoded(Fields(2000, 1, 1, 12)), 36526.5);
    EXPECT_EQ(Encoded(Fields(1, 1, 1)), -693593);
    EXPECT_EQ(Encoded(Fields(9999, 12, 31)), 2958465);
    EXPECT_EQ(Encoded(Fields(1899, 12, 29, 6)), -1.25); // the time still runs forwards
    EXPECT_FALSE(std::isnan(Encoded(Fields(2000, 2, 29))));
    for (auto f : {Fields(1900, 2, 29), Fields(2021, 4, 31), Fields(0, 1, 1), Fields(10000, 1, 1),
                   Fields(2021, 13, 1), Fields(2021, 1, 0), Fields(2021, 1, 1, 24),
                   Fields(2021, 1, 1, 0, 60), Fields(2021, 1, 1, 0, 0, 60),
                   Fields(2021, 1, 1, 0, 0, 0, 1000)})
        EXPECT_TRUE(std::isnan(Encoded(f))) << f.Year << "-" << f.Month << "-" << f.Day;
}

TEST(DateTime, DecodesBackToTheFieldsWithWeekday) {
    for (auto f : {Fields(2021, 7, 14, 9, 30, 42, 123), Fields(1601, 1, 1), Fields(1899, 12, 29, 6),
                   Fields(1, 1, 1, 23, 59, 59, 999), Fields(2000, 2, 29, 0, 0, 1), Fields(2021, 3, 1),
                   Fields(9999, 12, 31, 12)}) {
        TSystemTime back;
        ASSERT_TRUE(TryDecodeDateTime(Encoded(f), back)) << Encoded(f);
        back.DayOfWeek = 0;
        EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0) << back.Year << "-" << back.Month;
    }
    TSystemTime f;
    ASSERT_TRUE(TryDecodeDateTime(36526, f)); // 1 January 2000, a Saturday
    EXPECT_EQ(f.DayOfWeek, 6);
    // Rounding just before midnight lands on the next day.
    ASSERT_TRUE(TryDecodeDateTime(36526.0 - 1e-10, f));
    EXPECT_EQ(f.Day, 1);
    EXPECT_EQ(f.Hour, 0);
    for (double bad : {double(NAN), double(INFINITY), -693594.0, 2958466.0, 1e300})
        EXPECT_FALSE(TryDecodeDateTime(bad, f)) << bad;
}

TEST(DateTime, DosDateAndTime) {
    // 14 July 2021 09:30:42: date (41 << 9 | 7 << 5 | 14), time (9 << 11 | 30 << 5 | 21).
    uint32_t dos = uint32_t((41 << 9) | (7 << 5) | 14) << 16 | uint32_t((9 << 11) | (30 << 5) | 21);
    TDateTime v = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(dos, v));
    EXPECT_EQ(v, Encoded(Fields(2021, 7, 14, 9, 30, 42)));
    EXPECT_FALSE(TryDosDateTimeToDateTime(0, v)); // month 0, day 0
    EXPECT_FALSE(TryDosDateTimeToDateTime(uint32_t((41 << 9) | (2 << 5) | 30) << 16, v));
}
