// The re-entrant lock on Win32: the system's critical section.
#include <windows.h>

#include "platform/sync.h"

namespace plat {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSection));
constexpr DWORD kSpinCount = 4000;  // as the system's own heap spins

CRITICAL_SECTION* Section(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

CriticalSection::CriticalSection() { InitializeCriticalSectionAndSpinCount(Section(cs_), kSpinCount); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Section(cs_)); }
void CriticalSection::Enter() { EnterCriticalSection(Section(cs_)); }
void CriticalSection::Leave() { LeaveCriticalSection(Section(cs_)); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(Section(cs_)) != 0; }

}  // namespace plat
