// GUIDs, the program's location, the shell, run-time loaded libraries and
// the plain message box on Win32.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/system.h"

namespace plat {

void NewGuidBytes(unsigned char out[16]) {
  GUID g;
  if (FAILED(CoCreateGuid(&g))) std::memset(&g, 0, sizeof g);
  static_assert(sizeof g == 16);
  std::memcpy(out, &g, 16);
}

std::string NewGuidText() {
  GUID g;
  if (FAILED(CoCreateGuid(&g))) std::memset(&g, 0, sizeof g);
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), unsigned(g.Data2), unsigned(g.Data3),
                unsigned(g.Data4[0]), unsigned(g.Data4[1]), unsigned(g.Data4[2]),
                unsigned(g.Data4[3]), unsigned(g.Data4[4]), unsigned(g.Data4[5]),
                unsigned(g.Data4[6]), unsigned(g.Data4[7]));
  return buf;
}

std::string ExecutablePath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);  // cut short: try a larger buffer
  }
}

std::string ProgramFolder() { return ExtractFilePath(ExecutablePath()); }

bool ShellOpen(const std::string& target, const std::string& folder) {
  HINSTANCE r = ShellExecuteA(reinterpret_cast<HWND>(ShellOwner()), "open", target.c_str(), nullptr,
                              folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

void* LoadLib(const std::string& name) {
  return reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
}

void* LibSymbol(void* lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}

void FreeLib(void* lib) {
  if (lib) FreeLibrary(static_cast<HMODULE>(lib));
}

static char LocaleChar(LCTYPE what, char fallback) {
  char buf[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, what, buf, int(sizeof buf)) <= 0 || !buf[0])
    return fallback;
  return buf[0];
}

char ThousandsSeparator() { return LocaleChar(LOCALE_STHOUSAND, ','); }
char DecimalSeparator() { return LocaleChar(LOCALE_SDECIMAL, '.'); }

int CompareLocaleText(std::string_view a, std::string_view b) {
  switch (CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), int(a.size()), b.data(), int(b.size()))) {
    case CSTR_LESS_THAN: return -1;
    case CSTR_EQUAL: return 0;
    case CSTR_GREATER_THAN: return 1;
    default: break;  // refused: the texts' bytes decide
  }
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void ShowMessage(const std::string& text) {
  // Titled with the program's name, as the user knows it.
  std::string title = ExtractFileName(ExecutablePath());
  std::string ext = ExtractFileExt(title);
  title.resize(title.size() - ext.size());
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL);
}

}  // namespace plat
