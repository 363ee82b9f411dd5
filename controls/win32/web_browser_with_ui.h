// A window that embeds the system's web browser control through OLE (an
// in-place site with a frame) and answers the browser's host-UI questions
// by UISettings: scroll bars, flat scroll bars, the 3-D border and the
// context menu. Where the control or its HTML engine cannot be created
// (WebBrowserAvailable() false) the window stays empty and Navigate
// answers false; nothing else changes for its owner.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <mshtmhst.h>

#include <string>

#include "controls/web_browser_with_ui.h"
#include "gui/control.h"

struct IOleObject;
struct IWebBrowser2;

// DOCHOSTUIFLAG_* for the settings.
DWORD HostUIFlags(const TEnhancedWebBrowserUI& ui);

class TWebBrowserWithUI : public gui::Control {
 public:
  explicit TWebBrowserWithUI(gui::Component* owner = nullptr);
  ~TWebBrowserWithUI() override;

  TEnhancedWebBrowserUI UISettings;

  // Whether a browser is embedded in the window now.
  bool Embedded() const { return browser_ != nullptr; }
  // Shows url (the browser made first when the window is); false without
  // a browser.
  bool Navigate(const std::string& url);
  // The host-UI handler the browser asks (borrowed: no reference added).
  IDocHostUIHandler* UIHandler();

 protected:
  void HandleCreated() override;
  void HandleDestroying() override;
  void Resize() override;

 private:
  class Site;
  void Embed();
  void Unembed();
  Site* site_;
  bool oleStarted_ = false;
  IOleObject* object_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  std::string pending_;
};
