// The advertising banner in this process under Wine against the fake HTTP
// server: a GIF shown and played, markup kept for the browser host (which
// the test prefix does not have, so the area stays empty), and servers that
// fail - an error status, a connection closed without an answer, nobody
// listening - each leaving the banner area empty.
#include "tests/gui_win32/win32_fixture.h"

#include <filesystem>

#include "app/advertise_manager.h"
#include "controls/gif_image.h"
#include "gui/form.h"
#include "tools/fake_http_server.h"
#include "tools/gif_builder.h"
#include "tools/loopback_server.h"

namespace {

std::string TwoFrameGif() {
  gifgen::Image im;
  im.width = 8;
  im.height = 4;
  im.globalTable = gifgen::Palette(4, 7);
  im.frames = {gifgen::ControlFrame(0, 0, 8, 4, gifgen::Indices(8, 4, 4, 1), 1),
               gifgen::ControlFrame(0, 0, 8, 4, gifgen::Indices(8, 4, 4, 2), 1)};
  return gifgen::Encode(im);
}

class AdvertisingTest : public testwin::Win32Test {
 protected:
  AdvertisingTest()
      : gif(TwoFrameGif()), server([this](const FakeHttpServer::Request& r) {
          if (r.target == "/banner.gif") return FakeHttpServer::Text(200, gif, "Content-Type: image/gif\r\n");
          if (r.target == "/banner.html") return FakeHttpServer::Text(200, markup, "Content-Type: text/html\r\n");
          if (r.target == "/hangup") {
            FakeHttpServer::Reply hang;
            hang.after = FakeHttpServer::Reply::kClose;
            return hang;
          }
          return FakeHttpServer::Text(404, "<html>not here</html>", "Content-Type: text/html\r\n");
        }) {
    host.SetBounds(0, 0, 500, 200);
    host.HandleNeeded();
    manager = new TAdvertiseManager(&host, &host);
    manager->UrlSource = [this] { return announced; };
    manager->IeInstalled = false;
  }

  // Fetches url and waits for the fetch's end on this thread.
  void Fetch(const std::string& url) {
    const int ended = manager->FetchesEnded();
    manager->Fetch(url);
    ASSERT_TRUE(WaitFor([&] { return manager->FetchesEnded() == ended + 1; }));
  }

  const std::string gif;
  const std::string markup = "<html><body><a href=\"http://127.0.0.1/\">Banner</a></body></html>";
  FakeHttpServer server;
  gui::Form host;
  TAdvertiseManager* manager;
  std::string announced;
};

TEST_F(AdvertisingTest, AnAnnouncedGifIsFetchedOnceAndPlayed) {
  manager->Poll();  // nothing announced yet
  EXPECT_FALSE(manager->Fetching());
  announced = server.Url("/banner.gif");
  manager->Poll();
  ASSERT_TRUE(WaitFor([&] { return manager->FetchesEnded() == 1; }));
  manager->Poll();  // the same address again: not fetched again
  EXPECT_FALSE(manager->Fetching());
  ASSERT_EQ(server.Requests().size(), 1u);
  const FakeHttpServer::Request req = server.Requests()[0];
  EXPECT_EQ(req.Header("IE-Installed"), "False");
  EXPECT_FALSE(req.HasHeader("Range"));

  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Image);
  EXPECT_EQ(manager->Last().Body, gif);
  EXPECT_TRUE(manager->Shown());
  EXPECT_TRUE(manager->Area()->Visible());
  EXPECT_EQ(manager->Banner()->FrameCount(), 2);
  EXPECT_TRUE(manager->Banner()->Animate());
}

TEST_F(AdvertisingTest, MarkupIsKeptForTheBrowserHostAndFailuresLeaveTheAreaEmpty) {
  manager->IeInstalled = true;  // told so; the browser itself cannot be made here
  // Remote markup never becomes a local file (which would run with a local
  // file's rights, under a name another program could swap).
  std::error_code ec;
  const std::filesystem::path local = std::filesystem::temp_directory_path(ec) / "TarnwickBanner.html";
  std::filesystem::remove(local, ec);
  Fetch(server.Url("/banner.html"));
  EXPECT_EQ(server.Requests().back().Header("IE-Installed"), "True");
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Markup);
  EXPECT_EQ(manager->Last().Body, markup);
  EXPECT_FALSE(manager->Shown());
  EXPECT_FALSE(std::filesystem::exists(local, ec));

  // Each failure after a banner was shown empties the area again.
  std::string nobody;
  {
    LoopbackServer gone([](LoopbackServer&, TSocket&, int) {});
    nobody = "http://127.0.0.1:" + std::to_string(gone.Port()) + "/x.gif";
  }
  for (const std::string& url : {server.Url("/missing.gif"), server.Url("/hangup"), nobody}) {
    Fetch(server.Url("/banner.gif"));
    ASSERT_TRUE(manager->Shown());
    Fetch(url);
    EXPECT_EQ(manager->Last().Kind, TAdvertisement::None) << url;
    EXPECT_FALSE(manager->Last().Error.empty()) << url;
    EXPECT_FALSE(manager->Shown()) << url;
    EXPECT_TRUE(manager->Banner()->Empty()) << url;
    EXPECT_FALSE(manager->Area()->Visible()) << url;
  }
}

}  // namespace
