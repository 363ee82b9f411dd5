// Clocks. Date-times are days since 1899-12-30 in local time, the fraction
// being the time of day (the unit every time value of the program uses).
// Durations use the monotonic clock. Both can be replaced by tests.
#pragma once
#include <cstdint>
#include <functional>

namespace plat {

using DateTime = double;

DateTime Now();                      // local date-time
int64_t MonotonicMs();               // milliseconds since an arbitrary start
int SecondsOfDay(DateTime t);        // hours*3600 + minutes*60 + seconds of t
int SecondsOfDayNow();               // SecondsOfDay(Now())
int MillisecondsOfDayNow();          // time of day of Now() in milliseconds

// Splits / builds date-times (local, proleptic Gregorian).
void DecodeDateTime(DateTime t, int& year, int& month, int& day,
                    int& hour, int& minute, int& second, int& ms);
DateTime EncodeDateTime(int year, int month, int day,
                        int hour = 0, int minute = 0, int second = 0, int ms = 0);
// Seconds since 1970-01-01 UTC <-> local date-time.
DateTime UnixToDateTime(int64_t unixSeconds);

// Test hooks: replace the clocks until reset with nullptr.
void SetNowForTesting(std::function<DateTime()> fn);
void SetMonotonicForTesting(std::function<int64_t()> fn);

}  // namespace plat
