#include "app/advertising.h"

#include "core/web_client_wrapper.h"
#include "platform/text.h"

TAdvertisement FetchAdvertisement(const std::string& url, bool ieInstalled, int timeoutSeconds) {
  TAdvertisement a;
  a.Url = url;
  if (plat::Trim(url).empty()) {
    a.Error = "no banner address";
    return a;
  }
  try {
    TWebClient web;
    web.SetTimeout(timeoutSeconds);
    web.Handle().MaxBodySize = kMaxAdvertisementBytes;
    web.SetRequestHeader("IE-Installed", ieInstalled ? "True" : "False");
    web.Open(url);
    const int status = web.Request(0, 0);
    // An error page is no banner.
    if (status < 200 || status > 299) {
      a.Error = "HTTP status " + std::to_string(status);
      web.Close();
      return a;
    }
    a.ContentType = web.GetResponseHeader("Content-Type");
    int64_t from = 0, to = 0;
    if (plat::UpperCase(plat::Trim(a.ContentType)).rfind("IMAGE/", 0) == 0) {
      const void* data = nullptr;
      web.ReadBody(data, from, to);
      a.Body.assign(static_cast<const char*>(data), size_t(web.Handle().Body().Size()));
      a.Kind = TAdvertisement::Image;
    } else {
      web.ReadBodyAsString(a.Body, from, to);
      a.Kind = TAdvertisement::Markup;
    }
    web.Close();
  } catch (const EWebClient& e) {
    a.Kind = TAdvertisement::None;
    a.Body.clear();
    a.Error = e.what();
  }
  return a;
}

TAdvertisingThread::TAdvertisingThread(std::string url, bool ieInstalled, TDone done)
    : plat::Thread(true), url_(std::move(url)), ieInstalled_(ieInstalled), done_(std::move(done)) {}

void TAdvertisingThread::Start(const std::string& url, bool ieInstalled, TDone done) {
  auto* t = new TAdvertisingThread(url, ieInstalled, std::move(done));
  t->SetFreeOnTerminate(true);
  t->Resume();
}

void TAdvertisingThread::Execute() {
  const TAdvertisement a = FetchAdvertisement(url_, ieInstalled_);
  Synchronize([&] { done_(a); });
}
