// What the main loop's two implementations share.
#include "platform/dispatcher.h"

#include <atomic>

namespace plat {

namespace {
std::atomic<bool> refuseTimers{false};
}  // namespace

void RefuseTimersForTesting(bool refuse) { refuseTimers = refuse; }

bool TimersRefusedForTesting() { return refuseTimers; }

}  // namespace plat
