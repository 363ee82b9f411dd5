// What the main window's tests stand on: the window layer's fixed colours
// and text measuring, a recording tray, the shipped language texts, and a
// main window whose files live in a fresh temporary program folder and
// whose gateway keeps to loopback addresses and free ports without a
// Gnutella seed (the program's port, 10000, may be another program's); the
// port check asks 127.0.0.1 (no outside host), and the messages the
// windows would show in a box are noted instead.
#pragma once
#include "tests/gui_win32/win32_fixture.h"

#include <memory>
#include <string>
#include <vector>

#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/main_form.h"
#include "app/view_parts.h"
#include "controls/tray.h"
#include "core/simple_config.h"
#include "platform/files.h"
#include "tests/support/test_util.h"

namespace testapp {

// A Unix path as Wine's Z: drive shows it.
inline std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

// A file with its folders made first.
inline void PutFile(const std::string& path, const std::string& bytes) {
  plat::ForceDirectories(plat::ExtractFilePath(path));
  testutil::WriteFileBytes(path, bytes);
}

// A network of the provider on 127.0.0.1 that logs in as alice.
inline TLegacyServer LocalServer(int port) {
  TLegacyServer s;
  s.Host = "127.0.0.1";
  s.Port = port;
  s.Nick = "alice";
  return s;
}

// The button with this caption inside a control.
inline gui::Button* ButtonIn(gui::Control* in, const std::string& caption) {
  for (int i = 0; i < in->ControlCount(); ++i) {
    gui::Control* c = in->Controls(i);
    if (auto* b = dynamic_cast<gui::Button*>(c); b && b->Caption() == caption) return b;
    if (gui::Button* b = ButtonIn(c, caption)) return b;
  }
  return nullptr;
}

// Characters typed into an entry, each as the keyboard's WM_CHAR.
inline void Type(gui::Edit* entry, const std::string& text) {
  for (char c : text) SendMessageA(reinterpret_cast<HWND>(entry->Handle()), WM_CHAR, WPARAM((unsigned char)c), 1);
}

// A program folder that cannot be written: its path runs through a file.
inline std::string UnwritableFolder() {
  const std::string base = testutil::TempFolder("unwritable");
  testutil::WriteFileBytes(base + "blocker", "a file, not a folder");
  return base + "blocker\\program\\";
}

// The captions this process's windows asked for that the shipped language
// file lacks or holds otherwise ("section key: text" each).
inline std::vector<std::string> UnshippedTexts() {
  TSimpleConfig shipped;
  std::vector<std::string> faults;
  if (!shipped.LoadFromFile(WindowsPath(testutil::SourceDir()) + "\\app\\Application.flf")) return {"no file"};
  for (const TLangEntry& e : LangTextsAsked()) {
    shipped.SetSection(e.Section);
    if (shipped.ReadString(e.Key) != e.English) faults.push_back(e.Section + " " + e.Key + ": " + e.English);
  }
  return faults;
}

// Enter in the main window's search box (box), as the keyboard sends it.
inline void EnterSearch(TMainForm& form, gui::Edit* box, const std::string& text) {
  form.ShowView(TMainForm::vSearch);
  box->SetText(text);
  box->SetFocus();
  PostMessageA(reinterpret_cast<HWND>(box->Handle()), WM_KEYDOWN, VK_RETURN, 1);
  gui::App().ProcessMessages();
}

// The disk scans of a test walk these folders instead of the fixed drives.
struct ScanRoots {
  explicit ScanRoots(std::vector<std::string> r) { plat::SetFixedDriveRootsForTesting(std::move(r)); }
  ~ScanRoots() { plat::SetFixedDriveRootsForTesting({}); }
};

class MainFormTest : public testwin::Win32Test {
 protected:
  MainFormTest() : trayIn_(tray_) {
    folder = testutil::TempFolder("main-form");
    LanguageStore().LoadFromFile(WindowsPath(testutil::SourceDir()) + "\\app\\Application.flf");
    TSimpleConfig& s = SettingsStore();
    s.SetSection("Advanced");
    s.WriteString("Nick", "alice");
    s.WriteString("DataPort", "0");  // any free port
    s.WriteString("PortCheckHost", "127.0.0.1");
    s.DeleteSection("Downloads");    // the download folder below the program folder
    shower_ = view::SetMessageShower([this](const std::string& text) { messages.push_back(text); });
  }
  ~MainFormTest() override { view::SetMessageShower(shower_); }

  // A main window on the test's folder; cache: the Duskwire cache server's port (0: none).
  std::unique_ptr<TMainForm> MakeForm(int cachePort = 0) {
    TMainFormOptions o;
    o.ProgramFolder = folder;
    o.Clock = clock;
    o.AdjustGateway = [cachePort](TGatewaySettings& g) {
      g.ClientPort = 0;
      g.DuskwireAddress = g.GnutellaAddress = "127.0.0.1";
      g.DuskwirePort = 0;
      g.GnutellaSeedHost.clear();
      g.LoginWait = 30;
      g.CacheHost = cachePort ? "127.0.0.1" : "";
      g.CachePort = cachePort;
    };
    auto f = std::make_unique<TMainForm>(o);
    f->HandleNeeded();
    f->AskFileExists = [this](const std::string& path) {
      asked.push_back(path);
      return answer;
    };
    return f;
  }

  // What the tray asked of the shell.
  const TRecordingTrayShell& Tray() const { return tray_; }

  std::string folder;
  // The clock of the gateway's login wait (none: the real one).
  std::function<int64_t()> clock;
  // What the windows told the user in message boxes.
  std::vector<std::string> messages;
  std::vector<std::string> asked;
  TFileExistsChoice answer = TFileExistsChoice::Cancel;

 private:
  TRecordingTrayShell tray_;
  gui::ScopedService<TTrayShell> trayIn_;
  view::TMessageShower shower_;
};

}  // namespace testapp
