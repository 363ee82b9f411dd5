// Thread priorities on POSIX: an unprivileged process may only lower a
// thread's priority, and the program's threads never need that. The step
// is remembered, so a thread can tell what it was asked to run at.
#include "platform/thread.h"

namespace plat {
namespace {

thread_local int currentStep = 0;

}  // namespace

void SetCurrentThreadPriority(int step) { currentStep = step < -3 ? -3 : step > 3 ? 3 : step; }

int CurrentThreadPriority() { return currentStep; }

}  // namespace plat
