#include "tools/process_memory.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include <vector>

ProcessMemory MeasureProcessMemory() {
  ProcessMemory m;
  PROCESS_MEMORY_COUNTERS pmc{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) m.Resident = int64_t(pmc.WorkingSetSize);
  // Every heap, the C runtime's included, walked block by block.
  std::vector<HANDLE> heaps(64);
  DWORD n = GetProcessHeaps(DWORD(heaps.size()), heaps.data());
  if (n > heaps.size()) {
    heaps.resize(n);
    n = GetProcessHeaps(n, heaps.data());
  }
  for (DWORD i = 0; i < n && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heaps[i], &e))
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) m.Heap += int64_t(e.cbData);
    HeapUnlock(heaps[i]);
  }
  return m;
}

#else
#include <malloc.h>

#include <cstdio>

ProcessMemory MeasureProcessMemory() {
  ProcessMemory m;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) m.Resident = int64_t(kb) * 1024;
    std::fclose(f);
  }
  const struct mallinfo2 h = mallinfo2();
  m.Heap = int64_t(h.uordblks + h.hblkhd);
  return m;
}
#endif
