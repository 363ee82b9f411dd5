#include "app/advertise_manager.h"

#include <new>

#include "app/view_parts.h"
#include "controls/gif_image.h"
#include "controls/win32/web_browser_with_ui.h"
#include "gui/graphics_backend.h"
#include "gui/jpeg_header.h"
#include "peer/gateway/gateway.h"
#include "platform/stream.h"
#include "platform/text.h"

TAdvertiseManager::TAdvertiseManager(gui::Component* owner, gui::Control* parent)
    : gui::Component(owner),
      UrlSource(GatewayAdvertisingURL),
      IeInstalled(WebBrowserAvailable()),
      MakeBrowser([](gui::Component* o) { return new TWebBrowserWithUI(o); }) {
  area_ = view::Strip(parent, gui::alTop, kBannerHeight);
  area_->SetVisible(false);
}

TAdvertiseManager::~TAdvertiseManager() { *alive_ = false; }

void TAdvertiseManager::Poll() {
  const std::string url = UrlSource ? plat::Trim(UrlSource()) : std::string();
  if (url.empty() || url == polled_) return;
  polled_ = url;
  Fetch(url);
}

void TAdvertiseManager::Fetch(const std::string& url) {
  ++fetching_;
  TAdvertisingThread::Start(url, IeInstalled, [this, alive = alive_](const TAdvertisement& a) {
    if (!*alive) return;
    --fetching_;
    ++ended_;
    Show(a);
  });
}

void TAdvertiseManager::Empty() {
  if (banner_) {
    banner_->SetAnimate(false);
    banner_->Clear();
  }
  if (browser_) browser_->SetVisible(false);
  shown_ = false;
  area_->SetVisible(false);
}

TGIFImage* TAdvertiseManager::PictureControl() {
  // The picture control is made with the first picture.
  if (!banner_) {
    banner_ = new TGIFImage(area_);
    banner_->SetAlign(gui::alClient);
    banner_->SetCenter(true);
    banner_->SetLoop(true);
    banner_->Player().MaxScreenPixels = kMaxBannerScreenPixels;
    banner_->Player().MaxTotalPixels = kMaxBannerFramePixels;
    banner_->SetParent(area_);
  }
  return banner_;
}

void TAdvertiseManager::Show(const TAdvertisement& a) {
  last_ = a;
  Empty();
  try {
    shown_ = ShowContent(a);
  } catch (const std::bad_alloc&) {
    Empty();  // no memory for it: nothing half shown
    return;
  }
  area_->SetVisible(shown_);
}

bool TAdvertiseManager::ShowContent(const TAdvertisement& a) {
  if (a.Kind == TAdvertisement::Image && a.Body.rfind("GIF", 0) == 0) {
    plat::MemoryStream s;
    s.Write(a.Body.data(), int64_t(a.Body.size()));
    s.Seek(0, plat::Stream::kBegin);
    try {
      PictureControl()->LoadFromStream(s);
    } catch (const gui::Abort&) {
      return false;  // not a picture after all, or a bigger one than a banner
    }
    banner_->SetAnimate(true);
    return true;
  }
  if (a.Kind == TAdvertisement::Image) {
    // Other pictures (JPEG) are still: decoded by the window system. A
    // JPEG's frame header tells its size first, so that one bigger than a
    // banner is never decoded at all.
    if (gui::IsJpeg(a.Body)) {
      gui::JpegSize size;
      if (!gui::ReadJpegSize(a.Body, size) || int64_t(size.Width) * size.Height > kMaxBannerScreenPixels)
        return false;
    }
    gui::Bitmap picture;
    if (!gui::Graphics().DecodePicture(a.Body, picture)) return false;
    if (int64_t(picture.Width()) * picture.Height() > kMaxBannerScreenPixels) return false;
    PictureControl()->SetGraphic(&picture);
    return true;
  }
  if (a.Kind == TAdvertisement::Markup && IeInstalled) {
    // The markup is streamed into a blank page of the browser: it is
    // never written to a file, so a remote page never has a local file's
    // rights and no other program can swap it.
    if (!browser_) {
      browser_ = MakeBrowser(area_);
      browser_->UISettings.EnableScrollBars = false;
      browser_->UISettings.EnableContextMenu = false;
      browser_->UISettings.Enable3DBorder = false;
      browser_->SetAlign(gui::alClient);
      browser_->SetParent(area_);
    }
    browser_->SetVisible(true);
    if (browser_->ShowMarkup(a.Body)) return true;
    browser_->SetVisible(false);
  }
  return false;
}
