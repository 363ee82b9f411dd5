// The system-independent part of platform/system.h: the window that owns
// what the shell opens.
#include <mutex>
#include <utility>

#include "platform/system.h"

namespace plat {

namespace {

std::mutex ownerLock;
std::function<uintptr_t()>& Owner() {
  static std::function<uintptr_t()> owner;
  return owner;
}

}  // namespace

void SetShellOwner(std::function<uintptr_t()> owner) {
  std::lock_guard<std::mutex> g(ownerLock);
  Owner() = std::move(owner);
}

uintptr_t ShellOwner() {
  std::function<uintptr_t()> owner;
  {
    std::lock_guard<std::mutex> g(ownerLock);
    owner = Owner();
  }
  return owner ? owner() : 0;
}

}  // namespace plat
