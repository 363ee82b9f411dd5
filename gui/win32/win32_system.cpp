#include <windows.h>

#include "gui/win_names.h"

#include "gui/win32/win32_system.h"

#include <cstring>

namespace gui {

// ---------------------------------------------------------------- environment

Point Win32Environment::CursorPos() const {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

bool Win32Environment::AsyncKeyDown(int vk) const { return (GetAsyncKeyState(vk) & 0x8000) != 0; }
bool Win32Environment::KeyDown(int vk) const { return (GetKeyState(vk) & 0x8000) != 0; }
bool Win32Environment::KeyToggled(int vk) const { return (GetKeyState(vk) & 1) != 0; }
unsigned Win32Environment::DoubleClickTime() const { return GetDoubleClickTime(); }

unsigned Win32Environment::WheelScrollLines() const {
  UINT lines = 3;
  if (!SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) lines = 3;
  return lines;
}

int Win32Environment::SystemMetric(int index) const { return GetSystemMetrics(index); }
uint32_t Win32Environment::TickCount() const { return GetTickCount(); }
bool Win32Environment::NewStyleControls() const { return LOBYTE(LOWORD(GetVersion())) >= 4; }

Color Win32SystemColors::RGBOf(int index) const {
  if (index < 0 || index >= kSystemColorCount) return 0;
  return Color(GetSysColor(index)) & 0xFFFFFF;
}

// ---------------------------------------------------------------- clipboard

namespace {

// The clipboard, open for one scope (a few tries: another program may
// hold it for a moment).
class OpenClip {
 public:
  OpenClip() {
    for (int i = 0; i < 10 && !open_; ++i) {
      open_ = OpenClipboard(nullptr) != 0;
      if (!open_) Sleep(10);
    }
  }
  ~OpenClip() {
    if (open_) CloseClipboard();
  }
  bool ok() const { return open_; }

 private:
  bool open_ = false;
};

}  // namespace

bool Win32Clipboard::HasText() const { return IsClipboardFormatAvailable(CF_TEXT) != 0; }

std::string Win32Clipboard::GetText() const {
  OpenClip clip;
  if (!clip.ok()) return {};
  HANDLE h = GetClipboardData(CF_TEXT);
  if (!h) return {};
  const char* p = static_cast<const char*>(GlobalLock(h));
  if (!p) return {};
  // Up to the terminating zero, never past the block.
  const size_t size = GlobalSize(h);
  std::string s(p, strnlen(p, size));
  GlobalUnlock(h);
  return s;
}

bool Win32Clipboard::SetText(const std::string& text) {
  OpenClip clip;
  if (!clip.ok()) return false;
  EmptyClipboard();
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!g) return false;
  char* p = static_cast<char*>(GlobalLock(g));
  std::memcpy(p, text.c_str(), text.size() + 1);
  GlobalUnlock(g);
  if (!SetClipboardData(CF_TEXT, g)) {
    GlobalFree(g);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- registry

namespace {

class Key {
 public:
  Key(const std::string& path, REGSAM access, bool create) {
    LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access,
                                      nullptr, &h_, nullptr)
                    : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &h_);
    if (r != ERROR_SUCCESS) h_ = nullptr;
  }
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY h() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

std::vector<std::string> EnumNames(const std::string& path, bool values) {
  std::vector<std::string> out;
  Key k(path, KEY_READ, false);
  if (!k.h()) return out;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD len = sizeof name;
    const LONG r = values ? RegEnumValueA(k.h(), i, name, &len, nullptr, nullptr, nullptr, nullptr)
                          : RegEnumKeyExA(k.h(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS) out.emplace_back(name, len);
  }
  return out;
}

}  // namespace

bool Win32Registry::KeyExists(const std::string& path) const {
  return Key(path, KEY_READ, false).h() != nullptr;
}

bool Win32Registry::CreateKey(const std::string& path) {
  return Key(path, KEY_WRITE, true).h() != nullptr;
}

bool Win32Registry::DeleteKey(const std::string& path) {
  if (!KeyExists(path)) return false;
  // Subkeys first: a key with subkeys cannot be deleted.
  for (const std::string& sub : SubKeys(path)) DeleteKey(path + "\\" + sub);
  return RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> Win32Registry::SubKeys(const std::string& path) const {
  return EnumNames(path, false);
}

std::vector<std::string> Win32Registry::ValueNames(const std::string& path) const {
  return EnumNames(path, true);
}

bool Win32Registry::ReadValue(const std::string& path, const std::string& name,
                              std::string& out) const {
  Key k(path, KEY_READ, false);
  if (!k.h()) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.h(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  std::vector<BYTE> buf(size + 1, 0);
  if (RegQueryValueExA(k.h(), name.c_str(), nullptr, &type, buf.data(), &size) != ERROR_SUCCESS)
    return false;
  if (type == REG_DWORD && size >= 4) {
    DWORD v;
    std::memcpy(&v, buf.data(), 4);
    out = std::to_string(int32_t(v));
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    out.assign(reinterpret_cast<const char*>(buf.data()), strnlen(reinterpret_cast<const char*>(buf.data()), size));
  } else {
    out.assign(reinterpret_cast<const char*>(buf.data()), size);
  }
  return true;
}

bool Win32Registry::WriteValue(const std::string& path, const std::string& name,
                               const std::string& value) {
  Key k(path, KEY_WRITE, true);
  if (!k.h()) return false;
  return RegSetValueExA(k.h(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(const std::string& path, const std::string& name) {
  Key k(path, KEY_WRITE, false);
  return k.h() && RegDeleteValueA(k.h(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace gui
