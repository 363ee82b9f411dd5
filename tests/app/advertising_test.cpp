// The advertising banner in this process under Wine against the fake HTTP
// server: a GIF shown and played, a JPEG shown still, markup kept for the browser host (which
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

// A 16 x 8 red JPEG picture, as hex.
const char kRedJpegHex[] =
    "ffd8ffe000104a46494600010100000100010000ffdb0043000201010101010201010102020202020403020202020504"
    "040304060506060605060606070908060709070606080b08090a0a0a0a0a06080b0c0b0a0c090a0a0affdb0043010202"
    "02020202050303050a0706070a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a"
    "0a0a0a0a0a0a0a0a0a0a0a0a0a0affc00011080008001003012200021101031101ffc4001f0000010501010101010100"
    "000000000000000102030405060708090a0bffc400b5100002010303020403050504040000017d010203000411051221"
    "31410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a"
    "434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a9293949596979899"
    "9aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1"
    "f2f3f4f5f6f7f8f9faffc4001f0100030101010101010101010000000000000102030405060708090a0bffc400b51100"
    "020102040403040705040400010277000102031104052131061241510761711322328108144291a1b1c109233352f015"
    "6272d10a162434e125f11718191a262728292a35363738393a434445464748494a535455565758595a63646566676869"
    "6a737475767778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4"
    "c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9faffda000c03010002110311003f00f8"
    "be8a28afe533fdfc3fffd9";

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

class AdvertisingTest : public testwin::Win32Test {
 protected:
  AdvertisingTest()
      : gif(TwoFrameGif()), jpeg(FromHex(kRedJpegHex)), server([this](const FakeHttpServer::Request& r) {
          if (r.target == "/banner.gif") return FakeHttpServer::Text(200, gif, "Content-Type: image/gif\r\n");
          if (r.target == "/banner.jpg") return FakeHttpServer::Text(200, jpeg, "Content-Type: image/jpeg\r\n");
          if (r.target == "/broken.jpg")
            return FakeHttpServer::Text(200, jpeg.substr(0, 20) + "not the rest", "Content-Type: image/jpeg\r\n");
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
  const std::string jpeg;
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

TEST_F(AdvertisingTest, AJpegIsShownStillAndABrokenOneLeavesTheAreaEmpty) {
  Fetch(server.Url("/banner.jpg"));
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Image);
  ASSERT_TRUE(manager->Shown());
  EXPECT_TRUE(manager->Area()->Visible());
  const gui::Bitmap* still = manager->Banner()->Graphic();
  ASSERT_NE(still, nullptr);
  EXPECT_EQ(still->Width(), 16);
  EXPECT_EQ(still->Height(), 8);
  const gui::Color c = still->Pixel(8, 4);
  EXPECT_GT(gui::RedOf(c), 200);
  EXPECT_LT(gui::GreenOf(c), 60);
  EXPECT_LT(gui::BlueOf(c), 60);

  Fetch(server.Url("/broken.jpg"));
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Image);
  EXPECT_FALSE(manager->Shown());
  EXPECT_TRUE(manager->Banner()->Empty());
  EXPECT_FALSE(manager->Area()->Visible());
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
