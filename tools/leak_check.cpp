#include "tools/leak_check.h"

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define TARN_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define TARN_LEAK_CHECK 1
#endif
#endif

#ifdef TARN_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

bool LeakCheckBuilt() {
#ifdef TARN_LEAK_CHECK
  return true;
#else
  return false;
#endif
}

void ExitAfterLeakCheck(int code) {
  // The output streams only: flushing every stream would wait for the lock
  // of the input, which a thread blocked in a read may hold for ever.
  std::fflush(stdout);
  std::fflush(stderr);
#ifdef TARN_LEAK_CHECK
  __lsan_do_leak_check();
#endif
  std::_Exit(code);
}
