#include "controls/win32/web_browser_with_ui.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleidl.h>

#include <cstring>

#include <utility>
#include <vector>

namespace {

// The HTML engine's document class: without it the browser shows nothing.
const CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

bool Creatable(const CLSID& cls) {
  IUnknown* object = nullptr;
  if (FAILED(CoCreateInstance(cls, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&object))) ||
      !object)
    return false;
  object->Release();
  return true;
}

bool Probe() {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool available = Creatable(CLSID_WebBrowser) && Creatable(kHtmlDocument);
  if (SUCCEEDED(init)) CoUninitialize();
  return available;
}

// The bytes of s as a stream of exactly that size (nullptr when none can
// be made).
IStream* BytesStream(const std::string& s) {
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, s.empty() ? 1 : s.size());
  if (!g) return nullptr;
  if (void* p = GlobalLock(g)) {
    if (!s.empty()) std::memcpy(p, s.data(), s.size());
    GlobalUnlock(g);
  }
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(g, TRUE, &stream)) || !stream) {
    GlobalFree(g);
    return nullptr;
  }
  ULARGE_INTEGER size;
  size.QuadPart = s.size();
  stream->SetSize(size);
  return stream;
}

std::vector<wchar_t> Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> w(size_t(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), n);
  return w;
}

}  // namespace

bool WebBrowserAvailable() {
  static const bool available = Probe();
  return available;
}

DWORD HostUIFlags(const TEnhancedWebBrowserUI& ui) {
  DWORD f = 0;
  if (!ui.EnableScrollBars) f |= DOCHOSTUIFLAG_SCROLL_NO;
  if (ui.EnableFlatScrollBars) f |= DOCHOSTUIFLAG_FLAT_SCROLLBAR;
  if (!ui.Enable3DBorder) f |= DOCHOSTUIFLAG_NO3DBORDER;
  return f;
}

// ---------------------------------------------------------------- the site

// The browser's side of the container: its client site, in-place site and
// host-UI handler, with the frame it asks for, and the sink of its events. Reference-counted: the
// browser may hold it for a while after the window went, so it only
// reaches the host while the host is there.
class TWebBrowserWithUI::Site final : public IOleClientSite,
                                     public IOleInPlaceSite,
                                     public IDocHostUIHandler,
                                     public IDispatch {
 public:
  explicit Site(TWebBrowserWithUI* host) : host_(host), frame_(this) {}
  void Detach() { host_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IDocHostUIHandler)
      *out = static_cast<IDocHostUIHandler*>(this);
    else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return ULONG(n);
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = Window();
    return *out ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return host_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = &frame_;
      frame_.AddRef();
    }
    if (doc) *doc = nullptr;
    RECT r{};
    if (HWND w = Window()) GetClientRect(w, &r);
    if (pos) *pos = r;
    if (clip) *clip = r;
    if (info) {
      info->fMDIApp = FALSE;
      info->hwndFrame = Window();
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IDocHostUIHandler: the settings' answers; every other question is
  // declined with its output cleared.
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return Settings().EnableContextMenu ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->cbSize = sizeof(DOCHOSTUIINFO);
    info->dwFlags = HostUIFlags(Settings());
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
    if (out) *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IDispatch: the browser's events; only the end of a document's load
  // is of use.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (result) VariantInit(result);
    if (id == DISPID_DOCUMENTCOMPLETE && host_) host_->DocumentReady();
    return S_OK;
  }

 private:
  // The in-place frame: the host's window, nothing of its own.
  class Frame final : public IOleInPlaceFrame {
   public:
    explicit Frame(Site* site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (iid != IID_IUnknown && iid != IID_IOleWindow && iid != IID_IOleInPlaceUIWindow &&
          iid != IID_IOleInPlaceFrame)
        return E_NOINTERFACE;
      *out = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_->Release(); }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override { return site_->GetWindow(out); }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
      return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    Site* site_;
  };

  HWND Window() const {
    return host_ && host_->HandleAllocated() ? reinterpret_cast<HWND>(host_->Peer()->Handle()) : nullptr;
  }
  const TEnhancedWebBrowserUI& Settings() const {
    static const TEnhancedWebBrowserUI defaults;
    return host_ ? host_->UISettings : defaults;
  }

  LONG refs_ = 1;
  TWebBrowserWithUI* host_;
  Frame frame_;
};

// ---------------------------------------------------------------- the host

TWebBrowserWithUI::TWebBrowserWithUI(gui::Component* owner)
    : gui::Control(owner), site_(new Site(this)) {
  SetBounds(0, 0, 300, 150);
  // OLE on this thread for in-place activation (counted: each start has
  // its end in the destructor).
  oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
}

TWebBrowserWithUI::~TWebBrowserWithUI() {
  Unembed();
  site_->Detach();
  site_->Release();
  if (oleStarted_) OleUninitialize();
}

IDocHostUIHandler* TWebBrowserWithUI::UIHandler() { return site_; }

void TWebBrowserWithUI::HandleCreated() {
  gui::Control::HandleCreated();
  Embed();
}

void TWebBrowserWithUI::HandleDestroying() {
  Unembed();
  gui::Control::HandleDestroying();
}

void TWebBrowserWithUI::Embed() {
  if (object_ || !oleStarted_ || !WebBrowserAvailable()) return;
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&object_))) ||
      !object_) {
    object_ = nullptr;
    return;
  }
  IOleClientSite* site = site_;
  object_->SetClientSite(site);
  OleSetContainedObject(object_, TRUE);
  const HWND w = reinterpret_cast<HWND>(Peer()->Handle());
  RECT r{};
  GetClientRect(w, &r);
  if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, w, &r)) ||
      FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) {
    browser_ = nullptr;
    Unembed();
    return;
  }
  // Told when a document has loaded (markup waits for its blank page).
  IConnectionPointContainer* points = nullptr;
  if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) &&
      points) {
    if (FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_)) || !events_ ||
        FAILED(events_->Advise(static_cast<IDispatch*>(site_), &eventsCookie_))) {
      if (events_) events_->Release();
      events_ = nullptr;
    }
    points->Release();
  }
  if (markupWaiting_)
    Navigate("about:blank");
  else if (!pending_.empty())
    Navigate(std::exchange(pending_, std::string()));
}

void TWebBrowserWithUI::Unembed() {
  if (events_) {
    events_->Unadvise(eventsCookie_);
    events_->Release();
    events_ = nullptr;
  }
  if (browser_) {
    browser_->Release();
    browser_ = nullptr;
  }
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_->Release();
    object_ = nullptr;
  }
}

bool TWebBrowserWithUI::Navigate(const std::string& url) {
  if (!browser_) {
    // Kept for the browser the window will embed.
    if (HandleAllocated() || !WebBrowserAvailable()) return false;
    pending_ = url;
    return true;
  }
  std::vector<wchar_t> w = Wide(url);
  BSTR u = SysAllocString(w.data());
  VARIANT none;
  VariantInit(&none);
  const HRESULT hr = browser_->Navigate(u, &none, &none, &none, &none);
  SysFreeString(u);
  return SUCCEEDED(hr);
}

bool TWebBrowserWithUI::ShowMarkup(const std::string& markup) {
  markup_ = markup;
  markupWaiting_ = true;
  pending_.clear();
  // Kept for the browser the window will embed.
  if (!browser_ && !HandleAllocated() && WebBrowserAvailable()) return true;
  // Without its events the page's end would never be heard of.
  if (!CanStreamMarkup() || !OpenBlankPage()) {
    markupWaiting_ = false;
    return false;
  }
  return true;
}

IDispatch* TWebBrowserWithUI::CurrentDocument() {
  IDispatch* document = nullptr;
  if (!browser_ || FAILED(browser_->get_Document(&document))) return nullptr;
  return document;
}

void TWebBrowserWithUI::DocumentReady() {
  if (!markupWaiting_) return;
  IDispatch* document = CurrentDocument();
  if (!document) return;
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
    if (IStream* stream = BytesStream(markup_)) {
      // Loading the markup ends with a document of its own: taken first.
      markupWaiting_ = false;
      if (SUCCEEDED(persist->InitNew())) persist->Load(stream);
      stream->Release();
    }
    persist->Release();
  }
  document->Release();
}

void TWebBrowserWithUI::Resize() {
  if (object_) {
    IOleInPlaceObject* place = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&place))) &&
        place) {
      RECT r{0, 0, ClientWidth(), ClientHeight()};
      place->SetObjectRects(&r, &r);
      place->Release();
    }
  }
  gui::Control::Resize();
}
