// The advertising banner of the main window: a strip along the top of the
// views that stays hidden until there is something to show. It is asked
// now and then to look for the banner address the Duskwire cache server announced
// (through the running gateway) and fetches each new address once on the
// advertising thread; a GIF is shown (and played) by the animated image
// control, which also shows other pictures (JPEG) still, as the window
// system decodes them; markup by the embedded web browser where the system
// has one.
// Anything else, and every failed fetch, leaves the banner area empty.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/advertising.h"
#include "gui/component.h"
#include "gui/win32/std_controls.h"

class TGIFImage;
class TWebBrowserWithUI;

class TAdvertiseManager : public gui::Component {
 public:
  static constexpr int kBannerHeight = 64;
  // What a banner may cost: a GIF's logical screen (a still picture's
  // size too) and the pixels of all its frames (a larger one leaves the
  // banner empty).
  static constexpr int64_t kMaxBannerScreenPixels = int64_t(1) << 20;
  static constexpr int64_t kMaxBannerFramePixels = int64_t(4) << 20;

  // The banner strip goes along the top of parent.
  TAdvertiseManager(gui::Component* owner, gui::Control* parent);
  ~TAdvertiseManager() override;

  // Where the banner address comes from (the running gateway's by default).
  std::function<std::string()> UrlSource;
  // Told to the banner server; whether the browser host can be made.
  bool IeInstalled;
  // Makes the browser host that shows markup, with owner as its owner
  // (the system's by default).
  std::function<TWebBrowserWithUI*(gui::Component* owner)> MakeBrowser;

  // Fetches url on the advertising thread; what comes is shown.
  void Fetch(const std::string& url);
  // Shows a fetched banner (an empty area for anything it cannot show,
  // a picture beyond the banner's bounds included).
  void Show(const TAdvertisement& a);
  // Asks for the address and fetches it when it is new (the main window
  // asks every few seconds).
  void Poll();

  bool Fetching() const { return fetching_ > 0; }
  int FetchesEnded() const { return ended_; }
  const TAdvertisement& Last() const { return last_; }
  // Something is in the banner area (and the area is shown).
  bool Shown() const { return shown_; }
  gui::Panel* Area() const { return area_; }
  // The picture control (nullptr until the first picture came).
  TGIFImage* Banner() const { return banner_; }

 private:
  void Empty();
  // Puts a into the banner area; whether something is shown.
  bool ShowContent(const TAdvertisement& a);
  TGIFImage* PictureControl();

  gui::Panel* area_;
  TGIFImage* banner_ = nullptr;
  TWebBrowserWithUI* browser_ = nullptr;
  std::string polled_;
  int fetching_ = 0;
  int ended_ = 0;
  bool shown_ = false;
  TAdvertisement last_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
