// The system clocks on Win32: the local wall clock and a monotonic
// millisecond counter from the performance counter (valid on every
// Windows version the program runs on).
#include <windows.h>

#include "platform/clock.h"
#include "platform/os.h"

namespace plat::os {

DateTime NowRaw() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                        st.wMilliseconds);
}

int64_t MonotonicRawMs() {
  static const int64_t freq = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? int64_t(f.QuadPart) : 0;
  }();
  if (freq == 0) return int64_t(GetTickCount());  // no counter: the tick count
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  // Split so that the multiplication cannot overflow.
  int64_t ticks = c.QuadPart;
  return ticks / freq * 1000 + ticks % freq * 1000 / freq;
}

}  // namespace plat::os
