// What this process holds in memory, for the console's MEMORY command and
// the benchmarks.
#pragma once
#include <cstdint>

struct ProcessMemory {
  // The process's pages in memory, as the system shows them (Win32: its
  // working set, which Wine takes from the resident set; POSIX: the resident
  // set); -1 when it cannot be read.
  int64_t Resident = -1;
  // Bytes of the blocks in use in the process's heaps.
  int64_t Heap = 0;
};

ProcessMemory MeasureProcessMemory();
