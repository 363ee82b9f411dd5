// The advertising banner in this process under Wine against the fake HTTP
// server: a GIF shown and played, a JPEG shown still, markup streamed into
// a blank page of the browser host (one that answers in the browser's
// place: the test prefix has no browser), and what fails - an error
// status, a connection closed without an answer, nobody listening, a body
// or a picture too big for a banner, memory running out - each leaving
// the banner area empty.
#include "tests/gui_win32/win32_fixture.h"

#include <exdispid.h>
#include <ocidl.h>

#include <new>

#include "app/advertise_manager.h"
#include "controls/gif_image.h"
#include "controls/win32/web_browser_with_ui.h"
#include "gui/form.h"
#include "tools/fake_http_server.h"
#include "tools/gif_builder.h"
#include "tools/jpeg_builder.h"
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

// A document of the browser that takes markup as a stream (IPersistStreamInit).
class StreamedDocument final : public IDispatch, public IPersistStreamInit {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
      *out = static_cast<IDispatch*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
      *out = static_cast<IPersistStreamInit*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override {
    calls.push_back("Load");
    char buf[256];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buf, sizeof buf, &got)) && got > 0) loaded.append(buf, got);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM, WINBOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitNew() override {
    calls.push_back("InitNew");
    return S_OK;
  }

  int refs = 0;
  std::vector<std::string> calls;
  std::string loaded;
};

// The browser host with a browser that opens blank pages and shows doc.
class StreamingBrowser : public TWebBrowserWithUI {
 public:
  StreamingBrowser(gui::Component* owner, StreamedDocument& doc) : TWebBrowserWithUI(owner), doc_(doc) {}
  // The browser telling its host that a page has loaded.
  void PageLoaded() {
    IDispatch* events = nullptr;
    ASSERT_EQ(UIHandler()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)), S_OK);
    DISPPARAMS none{};
    events->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    events->Release();
  }
  int blankPages = 0;

 protected:
  bool CanStreamMarkup() const override { return true; }
  bool OpenBlankPage() override { return ++blankPages > 0; }
  IDispatch* CurrentDocument() override {
    doc_.AddRef();
    return &doc_;
  }

 private:
  StreamedDocument& doc_;
};

// A GIF of a few bytes declaring an 8192 x 8192 screen and frame.
const std::string kHugeGif("GIF89a\x00\x20\x00\x20\x00\x00\x00,\x00\x00\x00\x00\x00\x20\x00\x20\x00\x02\x01\x2C\x00;",
                           28);

// The system's picture decoder, counting what it is asked to decode.
class CountingDecoder : public gui::GdiGraphicsBackend {
 public:
  bool DecodePicture(const std::string& bytes, gui::Bitmap& out) override {
    ++calls;
    return gui::GdiGraphicsBackend::DecodePicture(bytes, out);
  }
  int calls = 0;
};

// A w x h GIF of frames frames, each covering the whole screen.
std::string ScreenGif(int w, int h, int frames) {
  gifgen::Image im;
  im.width = w;
  im.height = h;
  im.globalTable = gifgen::Palette(2, 3);
  for (int i = 0; i < frames; ++i)
    im.frames.push_back(gifgen::ControlFrame(0, 0, w, h, std::vector<uint8_t>(size_t(w) * size_t(h), uint8_t(i % 2)), 1));
  return gifgen::Encode(im);
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
          if (r.target == "/big.gif")
            return FakeHttpServer::Text(200, gif + std::string(size_t(kMaxAdvertisementBytes), '\0'),
                                        "Content-Type: image/gif\r\n");
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

// Remote markup is never written to a file (which would run with a local
// file's rights, under a name another program could swap): it goes into a
// blank page's document as a stream once that page has loaded.
TEST_F(AdvertisingTest, MarkupIsStreamedIntoABlankPage) {
  manager->IeInstalled = true;
  StreamedDocument document;
  StreamingBrowser* browser = nullptr;
  manager->MakeBrowser = [&](gui::Component* owner) { return browser = new StreamingBrowser(owner, document); };
  Fetch(server.Url("/banner.html"));
  EXPECT_EQ(server.Requests().back().Header("IE-Installed"), "True");
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Markup);
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(manager->Shown());
  EXPECT_TRUE(manager->Area()->Visible());
  EXPECT_TRUE(browser->Visible());
  EXPECT_EQ(browser->blankPages, 1);
  EXPECT_TRUE(document.calls.empty()) << "the markup waits for its blank page";
  browser->PageLoaded();
  EXPECT_EQ(document.calls, (std::vector<std::string>{"InitNew", "Load"}));
  EXPECT_EQ(document.loaded, markup);
  browser->PageLoaded();  // the markup's own page: nothing more goes in
  EXPECT_EQ(document.calls.size(), 2u);
  EXPECT_EQ(document.refs, 0);

  // The next banner: another blank page, its markup in turn.
  manager->Show({TAdvertisement::Markup, "", "text/html", "<p>second</p>", ""});
  EXPECT_EQ(browser->blankPages, 2);
  browser->PageLoaded();
  EXPECT_EQ(document.loaded, markup + "<p>second</p>");
}

// A body longer than a banner may be, a GIF whose screen is too big for a
// banner (a few bytes asking for 8192 x 8192 pixels), and memory running
// out while a GIF is decoded: each leaves the banner empty.
TEST_F(AdvertisingTest, ABannerTooBigOrMemoryRunningOutLeavesTheAreaEmpty) {
  Fetch(server.Url("/big.gif"));
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::None);
  EXPECT_FALSE(manager->Shown());

  const TAdvertisement good{TAdvertisement::Image, "", "image/gif", gif, ""};
  manager->Show(good);
  ASSERT_TRUE(manager->Shown());
  manager->Show({TAdvertisement::Image, "", "image/gif", kHugeGif, ""});
  EXPECT_FALSE(manager->Shown());
  EXPECT_FALSE(manager->Area()->Visible());
  EXPECT_TRUE(manager->Banner()->Empty());
  EXPECT_EQ(manager->Banner()->LastError(), kGIFErrorDecoding);

  manager->Show(good);
  ASSERT_TRUE(manager->Shown());
  manager->Banner()->OnProgress = [](TGIFImage*, int, int, int, bool&) { throw std::bad_alloc(); };
  EXPECT_NO_THROW(manager->Show(good));
  EXPECT_FALSE(manager->Shown());
  EXPECT_FALSE(manager->Area()->Visible());
  EXPECT_TRUE(manager->Banner()->Empty());
  EXPECT_FALSE(manager->Banner()->Player().Playing());
}

// A banner's bounds: a GIF of at most 1,048,576 screen pixels and 4 M
// frame pixels altogether is played, one past either is not; a JPEG of at
// most 1,048,576 pixels is shown, a bigger one is refused by its frame
// header, without the system's decoder being asked to make it.
TEST_F(AdvertisingTest, PicturesBeyondABannersBoundsLeaveTheAreaEmpty) {
  CountingDecoder decoder;
  gui::ScopedService<gui::GraphicsBackend> counting(decoder);
  auto shows = [&](const std::string& body, const char* type) {
    manager->Show({TAdvertisement::Image, "", type, body, ""});
    EXPECT_EQ(manager->Area()->Visible(), manager->Shown());
    EXPECT_EQ(manager->Banner()->Empty(), !manager->Shown());
    return manager->Shown();
  };
  EXPECT_TRUE(shows(ScreenGif(1024, 1024, 4), "image/gif"));
  EXPECT_EQ(manager->Banner()->FrameCount(), 4);
  EXPECT_FALSE(shows(ScreenGif(2048, 1024, 1), "image/gif")) << "screen pixels";
  EXPECT_TRUE(shows(gif, "image/gif"));
  EXPECT_FALSE(shows(ScreenGif(1024, 1024, 5), "image/gif")) << "frame pixels";

  ASSERT_TRUE(shows(jpeggen::Grey(1024, 1024, 200), "image/jpeg"));
  EXPECT_EQ(decoder.calls, 1);
  const gui::Bitmap* still = manager->Banner()->Graphic();
  ASSERT_NE(still, nullptr);
  EXPECT_EQ(still->Width(), 1024);
  EXPECT_EQ(still->Height(), 1024);
  EXPECT_NEAR(gui::GreenOf(still->Pixel(700, 300)), 200, 3);
  EXPECT_FALSE(shows(jpeggen::Grey(2048, 1024, 200), "image/jpeg"));
  EXPECT_EQ(decoder.calls, 1) << "decoded though its header told its size";
}

TEST_F(AdvertisingTest, WithoutABrowserMarkupLeavesTheAreaEmptyAsDoFailures) {
  manager->IeInstalled = true;  // told so; the browser itself cannot be made here
  Fetch(server.Url("/banner.html"));
  EXPECT_EQ(server.Requests().back().Header("IE-Installed"), "True");
  EXPECT_EQ(manager->Last().Kind, TAdvertisement::Markup);
  EXPECT_EQ(manager->Last().Body, markup);
  EXPECT_FALSE(manager->Shown());

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
