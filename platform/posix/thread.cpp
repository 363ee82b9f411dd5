// Thread priorities on POSIX: an unprivileged process may only lower a
// thread's priority, and the program's threads never need that.
#include "platform/thread.h"

namespace plat {

void SetCurrentThreadPriority(int) {}

}  // namespace plat
