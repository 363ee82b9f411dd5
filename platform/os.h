// Internal: what the portable part of the platform layer needs from each
// system's implementation (platform/posix or platform/win32).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatcher.h"

namespace plat::os {

DateTime NowRaw();        // the system's local date-time
int64_t MonotonicRawMs(); // the system's monotonic clock
// The target that Thread::Synchronize sends to (made by MainLoop::Init).
MessageTarget& SyncTarget();
// Reports the exception being handled (call it inside a catch block) that a
// posted call, timer or notification let escape: the loop goes on.
void ReportEscaped(const char* where);
// The system's own scan roots (Win32: the fixed drives); FixedDriveRoots
// returns them unless a test has set its own.
std::vector<std::string> FixedDriveRootsRaw();

}  // namespace plat::os
