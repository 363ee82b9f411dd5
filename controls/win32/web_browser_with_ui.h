// A window that embeds the system's web browser control through OLE (an
// in-place site with a frame) and answers the browser's host-UI questions
// by UISettings: scroll bars, flat scroll bars, the 3-D border and the
// context menu. Where the control or its HTML engine cannot be created
// (WebBrowserAvailable() false) the window stays empty and Navigate and
// ShowMarkup answer false; nothing else changes for its owner.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <mshtmhst.h>

#include <string>

#include "controls/web_browser_with_ui.h"
#include "gui/control.h"

struct IConnectionPoint;
struct IDispatch;
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
  // Shows markup that came from elsewhere: a blank page is opened and the
  // markup streamed into its document once it is there, so no file is
  // written and the markup has a blank page's rights, never a local
  // file's. False without a browser.
  bool ShowMarkup(const std::string& markup);
  // The host-UI handler the browser asks (borrowed: no reference added).
  IDocHostUIHandler* UIHandler();

 protected:
  void HandleCreated() override;
  void HandleDestroying() override;
  void Resize() override;
  // What showing markup asks of the embedded browser: whether it is there
  // and tells when a page has loaded, a blank page opened, and the
  // document shown now (a reference the caller releases; nullptr: none).
  // (Tests answer in the browser's place.)
  virtual bool CanStreamMarkup() const { return browser_ && events_; }
  virtual bool OpenBlankPage() { return Navigate("about:blank"); }
  virtual IDispatch* CurrentDocument();

 private:
  class Site;
  void Embed();
  void Unembed();
  // A document finished loading: the markup waiting for it goes in.
  void DocumentReady();
  Site* site_;
  bool oleStarted_ = false;
  IOleObject* object_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  IConnectionPoint* events_ = nullptr;  // the browser's events, told to the site
  DWORD eventsCookie_ = 0;
  std::string pending_;
  std::string markup_;
  bool markupWaiting_ = false;
};
