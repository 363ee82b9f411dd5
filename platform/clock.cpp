#include "platform/clock.h"

#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/os.h"

namespace plat {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day number of 1970-01-01 counted from 1899-12-30.
constexpr int64_t kUnixEpochDay = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(yoe + era * 400 + (month <= 2));
}

// A date-time split into its day number and the milliseconds of that day.
// Before 1899-12-30 the fraction still counts forward from midnight (the
// date-time convention: -1.25 is 1899-12-29 06:00).
void SplitDateTime(DateTime t, int64_t& dayNo, int64_t& msOfDay) {
  if (!std::isfinite(t)) t = 0;
  if (t >= 0) {
    const int64_t total = std::llround(t * double(kMsPerDay));
    dayNo = total / kMsPerDay;
    msOfDay = total % kMsPerDay;
    return;
  }
  dayNo = int64_t(std::trunc(t));
  msOfDay = std::llround((double(dayNo) - t) * double(kMsPerDay));
  if (msOfDay >= kMsPerDay) {
    msOfDay -= kMsPerDay;
    --dayNo;
  }
}

// The replaceable clocks. The flag keeps the common path (no hook) free
// of the lock.
template <class R>
class Hook {
 public:
  void Set(std::function<R()> fn) {
    std::lock_guard<std::mutex> g(lock_);
    fn_ = fn ? std::make_shared<std::function<R()>>(std::move(fn)) : nullptr;
    set_.store(fn_ != nullptr);
  }
  template <class Raw>
  R Call(Raw raw) {
    if (set_.load()) {
      std::shared_ptr<std::function<R()>> fn;
      {
        std::lock_guard<std::mutex> g(lock_);
        fn = fn_;
      }
      if (fn) return (*fn)();
    }
    return raw();
  }

 private:
  std::mutex lock_;
  std::shared_ptr<std::function<R()>> fn_;
  std::atomic<bool> set_{false};
};

Hook<DateTime>& NowHook() {
  static Hook<DateTime> h;
  return h;
}

Hook<int64_t>& MonotonicHook() {
  static Hook<int64_t> h;
  return h;
}

}  // namespace

DateTime Now() { return NowHook().Call(os::NowRaw); }

int64_t MonotonicMs() { return MonotonicHook().Call(os::MonotonicRawMs); }

void SetNowForTesting(std::function<DateTime()> fn) { NowHook().Set(std::move(fn)); }

void SetMonotonicForTesting(std::function<int64_t()> fn) { MonotonicHook().Set(std::move(fn)); }

void DecodeDateTime(DateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& ms) {
  int64_t dayNo = 0, msOfDay = 0;
  SplitDateTime(t, dayNo, msOfDay);
  CivilFromDays(dayNo - kUnixEpochDay, year, month, day);
  hour = int(msOfDay / 3600000);
  minute = int(msOfDay / 60000 % 60);
  second = int(msOfDay / 1000 % 60);
  ms = int(msOfDay % 1000);
}

DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  const double date = double(DaysFromCivil(year, month, day) + kUnixEpochDay);
  const double time =
      double((int64_t(hour) * 3600 + int64_t(minute) * 60 + second) * 1000 + ms) / double(kMsPerDay);
  return date < 0 ? date - time : date + time;
}

int SecondsOfDay(DateTime t) {
  int64_t dayNo = 0, msOfDay = 0;
  SplitDateTime(t, dayNo, msOfDay);
  return int(msOfDay / 1000);
}

int SecondsOfDayNow() { return SecondsOfDay(Now()); }

int MillisecondsOfDayNow() {
  int64_t dayNo = 0, msOfDay = 0;
  SplitDateTime(Now(), dayNo, msOfDay);
  return int(msOfDay);
}

DateTime UnixToDateTime(int64_t unixSeconds) {
  // The re-entrant conversion: no shared buffer, and (unlike localtime)
  // no look at the system's time-zone file on every call, which a folder
  // walk would pay once per entry.
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
#ifdef _WIN32
  const bool ok = localtime_s(&tm, &t) == 0;
#else
  const bool ok = localtime_r(&t, &tm) != nullptr;
#endif
  if (!ok)  // out of the C library's range: UTC is the best left
    return double(kUnixEpochDay) + double(unixSeconds) / 86400.0;
  return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

}  // namespace plat
