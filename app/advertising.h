// The advertising fetch: the banner the Duskwire cache server announced is
// fetched over HTTP on a thread of its own. The request tells the banner
// server whether the system's web browser control can be made here
// ("IE-Installed: True" or "False"), asks for the whole resource (no
// range) and reads the body as an image or as markup by its Content-Type.
// Every failure - an unreachable server, a broken answer, a status other
// than 2xx, a body longer than kMaxAdvertisementBytes - ends with nothing
// to show. The thread never touches a window:
// it hands what it fetched to the main thread and frees itself.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/thread.h"

struct TAdvertisement {
  enum TKind { None, Image, Markup };
  TKind Kind = None;
  std::string Url;
  std::string ContentType;
  std::string Body;   // the image's bytes or the markup's text
  std::string Error;  // why there is nothing (Kind None)
};

// The largest banner body taken: a longer one is a failed fetch (a banner
// is a small picture or page; nothing of a longer one is kept).
constexpr int64_t kMaxAdvertisementBytes = int64_t(1) << 20;

// Fetches url (blocking); time-out in seconds for each wait on the server.
TAdvertisement FetchAdvertisement(const std::string& url, bool ieInstalled, int timeoutSeconds = 30);

class TAdvertisingThread : public plat::Thread {
 public:
  using TDone = std::function<void(const TAdvertisement&)>;
  // Starts a fetch; done runs on the main thread with its outcome.
  static void Start(const std::string& url, bool ieInstalled, TDone done);

 protected:
  void Execute() override;

 private:
  TAdvertisingThread(std::string url, bool ieInstalled, TDone done);
  std::string url_;
  bool ieInstalled_;
  TDone done_;
};
