// Odds and ends of the operating system: GUIDs, the program's location,
// the shell, dynamic libraries.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace plat {

// A new GUID as braced upper-case text: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string NewGuidText();
// 16 random bytes (the GUID's value).
void NewGuidBytes(unsigned char out[16]);

std::string ExecutablePath();
// The folder of the executable, ending in the path separator.
std::string ProgramFolder();

// Opens a document or link with the program the system associates with it
// (Win32: ShellExecute "open" with the given working folder, owned by the
// ShellOwner window; POSIX: xdg-open when present, otherwise nothing).
// Returns false on failure.
bool ShellOpen(const std::string& target, const std::string& folder);
// The window that owns what the shell opens and asks (the program's main
// window), asked at each ShellOpen; 0 until an owner is set.
void SetShellOwner(std::function<uintptr_t()> owner);
uintptr_t ShellOwner();

// Run-time loaded libraries (icmp.dll, plug-ins). nullptr on failure.
void* LoadLib(const std::string& name);
void* LibSymbol(void* lib, const char* name);
void FreeLib(void* lib);

// The user's locale's digit-grouping and decimal characters (Win32: the
// first byte of LOCALE_STHOUSAND / LOCALE_SDECIMAL of the user default
// locale, ',' / '.' on failure; POSIX: ',' and '.').
char ThousandsSeparator();
char DecimalSeparator();

// Compares two texts in the order of the user's locale, letter case
// counting: -1, 0 or 1 (Win32: the system's comparison for the user's
// locale; POSIX: a fixed stand-in, letters without regard to case first
// and, where that ties, small before capital at the first difference
// ("a" < "A" < "b"), other bytes by value).
int CompareLocaleText(std::string_view a, std::string_view b);

// Shows a plain message to the user (Win32: a message box; POSIX: stderr).
void ShowMessage(const std::string& text);

}  // namespace plat
