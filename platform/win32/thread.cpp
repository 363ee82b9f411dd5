// Thread priorities on Win32.
#include <windows.h>

#include "platform/thread.h"

namespace plat {
namespace {

// The system's thread priority of each step, -3 to 3.
const int kPriority[7] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                          THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                          THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                          THREAD_PRIORITY_TIME_CRITICAL};

}  // namespace

void SetCurrentThreadPriority(int step) {
  if (step < -3) step = -3;
  if (step > 3) step = 3;
  ::SetThreadPriority(::GetCurrentThread(), kPriority[step + 3]);
}

int CurrentThreadPriority() {
  const int priority = ::GetThreadPriority(::GetCurrentThread());
  int best = 0;
  for (int step = -3; step <= 3; ++step) {
    const int d = kPriority[step + 3] - priority, bestD = kPriority[best + 3] - priority;
    if ((d < 0 ? -d : d) < (bestD < 0 ? -bestD : bestD)) best = step;
  }
  return best;
}

}  // namespace plat
