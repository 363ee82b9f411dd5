#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

struct Parts {
  int y, mo, d, h, mi, s, ms;
};

Parts Decode(plat::DateTime t) {
  Parts p{};
  plat::DecodeDateTime(t, p.y, p.mo, p.d, p.h, p.mi, p.s, p.ms);
  return p;
}

TEST(DateTime, KnownDays) {
  EXPECT_EQ(plat::EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(plat::EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_EQ(plat::EncodeDateTime(1970, 1, 1), 25569.0);
  EXPECT_EQ(plat::EncodeDateTime(2000, 1, 1), 36526.0);
  EXPECT_EQ(plat::EncodeDateTime(2000, 3, 1), 36586.0);  // 2000 is a leap year
  EXPECT_EQ(plat::EncodeDateTime(1900, 3, 1), 61.0);     // 1900 is not
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(1899, 12, 30, 12), 0.5);
  // Before the epoch the time of day still counts forward.
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(1899, 12, 29, 6), -1.25);
  Parts p = Decode(-1.25);
  EXPECT_EQ(p.y, 1899);
  EXPECT_EQ(p.mo, 12);
  EXPECT_EQ(p.d, 29);
  EXPECT_EQ(p.h, 6);
  EXPECT_EQ(p.mi, 0);
}

TEST(DateTime, RoundTripsAcrossYearsAndTimes) {
  for (int y : {1601, 1899, 1900, 1999, 2000, 2024, 2038, 2100, 9999})
    for (int mo : {1, 2, 12})
      for (int d : {1, 28})
        for (int h : {0, 13, 23}) {
          const plat::DateTime t = plat::EncodeDateTime(y, mo, d, h, 59, 58, 999);
          const Parts p = Decode(t);
          EXPECT_EQ(p.y, y);
          EXPECT_EQ(p.mo, mo);
          EXPECT_EQ(p.d, d);
          EXPECT_EQ(p.h, h);
          EXPECT_EQ(p.mi, 59);
          EXPECT_EQ(p.s, 58);
          EXPECT_EQ(p.ms, 999);
        }
}

TEST(DateTime, RoundingAtTheEndOfADay) {
  // A hair before midnight rounds to the next day's midnight, never to a
  // 24:00:00 of the same day.
  const Parts p = Decode(plat::EncodeDateTime(2024, 2, 29) + 1.0 - 1e-10);
  EXPECT_EQ(p.mo, 3);
  EXPECT_EQ(p.d, 1);
  EXPECT_EQ(p.h, 0);
  EXPECT_EQ(plat::SecondsOfDay(plat::EncodeDateTime(2024, 2, 29) + 1.0 - 1e-10), 0);
}

TEST(DateTime, SecondsOfDay) {
  EXPECT_EQ(plat::SecondsOfDay(plat::EncodeDateTime(2020, 5, 5, 1, 2, 3, 900)), 3723);
  EXPECT_EQ(plat::SecondsOfDay(0.5), 43200);
  EXPECT_EQ(plat::SecondsOfDay(10.0), 0);
}

TEST(Clock, NowHookAndReset) {
  plat::SetNowForTesting([] { return plat::EncodeDateTime(2001, 2, 3, 4, 5, 6, 700); });
  EXPECT_EQ(plat::SecondsOfDayNow(), 4 * 3600 + 5 * 60 + 6);
  EXPECT_EQ(plat::MillisecondsOfDayNow(), (4 * 3600 + 5 * 60 + 6) * 1000 + 700);
  plat::SetNowForTesting(nullptr);
  EXPECT_GT(plat::Now(), plat::EncodeDateTime(2020, 1, 1));
}

TEST(Clock, MonotonicHookAndReset) {
  plat::SetMonotonicForTesting([] { return int64_t(123456); });
  EXPECT_EQ(plat::MonotonicMs(), 123456);
  plat::SetMonotonicForTesting(nullptr);
  const int64_t a = plat::MonotonicMs();
  const int64_t b = plat::MonotonicMs();
  EXPECT_LE(a, b);
  EXPECT_NE(a, 123456);
}

// The system clock, the local-time conversion of Unix seconds and the
// C library's idea of local time agree.
TEST(Clock, NowMatchesUnixTime) {
  const std::time_t before = std::time(nullptr);
  const plat::DateTime now = plat::Now();
  const std::time_t after = std::time(nullptr);
  const plat::DateTime lo = plat::UnixToDateTime(before);
  const plat::DateTime hi = plat::UnixToDateTime(after) + 1.0 / 86400;
  EXPECT_GE(now, lo - 1e-9);
  EXPECT_LE(now, hi + 1e-9);
  // Local time is UTC moved by whole quarter hours.
  const double offsetMinutes = (plat::UnixToDateTime(0) - 25569.0) * 1440.0;
  EXPECT_NEAR(std::fmod(std::fabs(offsetMinutes), 15.0), 0.0, 1e-6);
}

}  // namespace
