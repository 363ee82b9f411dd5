// Thread priorities on Win32.
#include <windows.h>

#include "platform/thread.h"

namespace plat {

void SetCurrentThreadPriority(int step) {
  static const int kPriority[7] = {THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,
                                   THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                   THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                   THREAD_PRIORITY_TIME_CRITICAL};
  if (step < -3) step = -3;
  if (step > 3) step = 3;
  ::SetThreadPriority(::GetCurrentThread(), kPriority[step + 3]);
}

}  // namespace plat
