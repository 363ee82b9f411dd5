#include <cstdio>
#include <exception>

#include "platform/os.h"

namespace plat::os {

void ReportEscaped(const char* where) {
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarnwick: exception escaped a %s: %s\n", where, e.what());
  } catch (...) {
    std::fprintf(stderr, "tarnwick: exception escaped a %s\n", where);
  }
}

}  // namespace plat::os
