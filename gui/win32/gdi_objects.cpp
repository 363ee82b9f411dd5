#include "gui/win32/gdi_objects.h"

#include <commctrl.h>
#include <olectl.h>

#include <climits>
#include <cstring>
#include <vector>

#include "gui/image_list.h"
#include "gui/win32/gdi_canvas.h"

namespace gui {

namespace {

// BITMAPINFO with room for a two-colour table.
struct MonoInfo {
  BITMAPINFOHEADER h;
  RGBQUAD colors[2];
};

HBITMAP CreateSection(int w, int h, PixelFormat f, void** bits) {
  MonoInfo info{};
  info.h.biSize = sizeof(BITMAPINFOHEADER);
  info.h.biWidth = w;
  info.h.biHeight = -h;  // rows top-down, as the layer keeps them
  info.h.biPlanes = 1;
  info.h.biBitCount = WORD(BitsPerPixel(f));
  info.h.biCompression = BI_RGB;
  if (f == PixelFormat::Mono) {
    info.h.biClrUsed = 2;
    info.colors[1] = RGBQUAD{255, 255, 255, 0};
  }
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits,
                          nullptr, 0);
}

// A bitmap's memory: a device-independent section selected into a memory
// context, with a canvas on that context.
class DibStorage : public BitmapStorage {
 public:
  DibStorage(int w, int h, PixelFormat f) {
    bmp_ = CreateSection(w, h, f, &bits_);
    if (!bmp_) throw std::bad_alloc();
    std::memset(bits_, 0, size_t(RowStride(w, f)) * size_t(h));
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bmp_);
    canvas_ = std::make_unique<GdiCanvas>(
        dc_, Size{w, h}, "bitmap " + std::to_string(w) + "x" + std::to_string(h));
  }
  ~DibStorage() override {
    canvas_.reset();
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bmp_);
  }
  uint8_t* Bits() override {
    GdiFlush();  // what was drawn is in the bits
    return static_cast<uint8_t*>(bits_);
  }
  Canvas& GetCanvas() override { return *canvas_; }
  uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(bmp_); }

 private:
  HBITMAP bmp_ = nullptr;
  void* bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::unique_ptr<GdiCanvas> canvas_;
};

class GdiImageList : public NativeImageList {
 public:
  explicit GdiImageList(HIMAGELIST h) : h_(h) {}
  ~GdiImageList() override { ImageList_Destroy(h_); }
  uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(h_); }

 private:
  HIMAGELIST h_;
};

}  // namespace

HBITMAP CreateDibFromBitmap(const Bitmap& b) {
  void* bits = nullptr;
  HBITMAP h = CreateSection(b.Width(), b.Height(), b.Format(), &bits);
  if (!h) return nullptr;
  for (int y = 0; y < b.Height(); ++y)
    std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * size_t(b.Stride()), b.Row(y),
                size_t(b.Stride()));
  return h;
}

HBITMAP CreateMonoDDB(const Bitmap& b) {
  const int stride = ((b.Width() + 15) / 16) * 2;  // device bitmaps: rows of whole words
  std::vector<uint8_t> rows(size_t(stride) * size_t(b.Height()), 0);
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = rows.data() + size_t(y) * size_t(stride);
    if (b.Format() == PixelFormat::Mono) {
      std::memcpy(row, b.Row(y), size_t((b.Width() + 7) / 8));
    } else {
      for (int x = 0; x < b.Width(); ++x)
        if ((b.Pixel(x, y) & 0xFFFFFF) != 0) row[x / 8] = uint8_t(row[x / 8] | (0x80 >> (x % 8)));
    }
  }
  return CreateBitmap(b.Width(), b.Height(), 1, 1, rows.data());
}

HRGN CreateRegionHandle(const Region& r) {
  HRGN h = CreateRectRgn(0, 0, 0, 0);
  for (const Rect& part : r.Rects()) {
    HRGN p = CreateRectRgn(part.Left, part.Top, part.Right, part.Bottom);
    CombineRgn(h, h, p, RGN_OR);
    DeleteObject(p);
  }
  return h;
}

Region RegionFromHandle(HRGN h) {
  Region out;
  const DWORD size = GetRegionData(h, 0, nullptr);
  if (size == 0) return out;
  std::vector<uint8_t> buf(size);
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  if (GetRegionData(h, size, data) == 0) return out;
  const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
  for (DWORD i = 0; i < data->rdh.nCount; ++i)
    out.Combine(Rect{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom}, RegionOp::Or);
  return out;
}

std::string BitmapResourceBytes(const std::string& name) {
  HMODULE mod = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(mod, name.c_str(), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  if (!res) return {};
  HGLOBAL g = LoadResource(mod, res);
  const DWORD size = SizeofResource(mod, res);
  const auto* p = static_cast<const uint8_t*>(g ? LockResource(g) : nullptr);
  if (!p || size < sizeof(BITMAPINFOHEADER)) return {};
  // The resource is the file without its 14-byte file header: put one back,
  // its pixel offset past the header, the masks and the colour table.
  BITMAPINFOHEADER ih;
  std::memcpy(&ih, p, sizeof ih);
  DWORD colors = ih.biClrUsed;
  if (colors == 0 && ih.biBitCount <= 8) colors = 1u << ih.biBitCount;
  DWORD offset = 14 + ih.biSize + colors * 4;
  if (ih.biSize == sizeof(BITMAPINFOHEADER) && ih.biCompression == BI_BITFIELDS) offset += 12;
  std::string out(14, '\0');
  out[0] = 'B';
  out[1] = 'M';
  const DWORD fileSize = 14 + size;
  std::memcpy(&out[2], &fileSize, 4);
  std::memcpy(&out[10], &offset, 4);
  out.append(reinterpret_cast<const char*>(p), size);
  return out;
}

std::unique_ptr<BitmapStorage> GdiGraphicsBackend::CreateBitmapStorage(int width, int height,
                                                                       PixelFormat f) {
  return std::make_unique<DibStorage>(width, height, f);
}

bool GdiGraphicsBackend::LoadBitmapResource(const std::string& name, Bitmap& out) {
  const std::string bytes = BitmapResourceBytes(name);
  return !bytes.empty() && out.LoadFromBytes(bytes);
}

namespace {

bool TakeIcon(HICON h, Icon& out) {
  if (!h) return false;
  ICONINFO info{};
  int w = 0, hgt = 0;
  if (GetIconInfo(h, &info)) {
    BITMAP bm{};
    if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bm, &bm)) {
      w = bm.bmWidth;
      hgt = bm.bmHeight;
    } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bm, &bm)) {
      w = bm.bmWidth;
      hgt = bm.bmHeight / 2;  // a monochrome icon's mask holds both halves
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
  out.SetHandle(reinterpret_cast<uintptr_t>(h), w, hgt, true);
  return true;
}

}  // namespace

bool GdiGraphicsBackend::LoadIconFile(const std::string& path, Icon& out) {
  return TakeIcon(static_cast<HICON>(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 0, 0,
                                                LR_LOADFROMFILE | LR_DEFAULTSIZE)),
                  out);
}

bool GdiGraphicsBackend::LoadIconResource(const std::string& name, Icon& out) {
  return TakeIcon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), name.c_str(),
                                                IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)),
                  out);
}

void GdiGraphicsBackend::DestroyIcon(uintptr_t handle) {
  if (handle) ::DestroyIcon(reinterpret_cast<HICON>(handle));
}

std::unique_ptr<NativeImageList> GdiGraphicsBackend::RealizeImageList(const ImageList& list) {
  HIMAGELIST h = ImageList_Create(list.Width(), list.Height(), ILC_COLOR24 | ILC_MASK,
                                  std::max(list.Count(), 1), 4);
  if (!h) return nullptr;
  for (int i = 0; i < list.Count(); ++i) {
    // Transparent pixels are black in the image and 1 in the mask.
    Bitmap image, mask;
    list.GetBitmap(i, image);
    list.GetMask(i, mask);
    HBITMAP hi = CreateDibFromBitmap(image);
    HBITMAP hm = CreateMonoDDB(mask);
    ImageList_Add(h, hi, hm);
    DeleteObject(hi);
    DeleteObject(hm);
  }
  return std::make_unique<GdiImageList>(h);
}

namespace {

// The screen's pixels per inch (the picture's size is kept in 0.01 mm).
int ScreenDpi(int index) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, index) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

bool GdiGraphicsBackend::DecodePicture(const std::string& bytes, Bitmap& out) {
  // A picture at most this large: what a window shows, not what a
  // sender's header may claim.
  constexpr LONG kMaxSide = 16384;
  constexpr int64_t kMaxPixels = int64_t(1) << 24;
  if (bytes.empty() || bytes.size() > size_t(LONG_MAX)) return false;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return false;
  std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return false;
  }
  IPicture* picture = nullptr;
  const HRESULT loaded = OleLoadPicture(stream, LONG(bytes.size()), FALSE, IID_IPicture,
                                        reinterpret_cast<void**>(&picture));
  stream->Release();
  if (FAILED(loaded) || !picture) return false;
  OLE_XSIZE_HIMETRIC hmWidth = 0;
  OLE_YSIZE_HIMETRIC hmHeight = 0;
  bool ok = SUCCEEDED(picture->get_Width(&hmWidth)) && SUCCEEDED(picture->get_Height(&hmHeight));
  const LONG w = ok ? MulDiv(hmWidth, ScreenDpi(LOGPIXELSX), 2540) : 0;
  const LONG h = ok ? MulDiv(hmHeight, ScreenDpi(LOGPIXELSY), 2540) : 0;
  ok = w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && int64_t(w) * h <= kMaxPixels;
  if (ok) {
    Bitmap drawn(w, h);
    HDC dc = reinterpret_cast<HDC>(drawn.GetCanvas().Handle());
    // The picture's y axis points up: its top is at hmHeight.
    ok = SUCCEEDED(picture->Render(dc, 0, 0, w, h, 0, hmHeight, hmWidth, -hmHeight, nullptr));
    if (ok) out.Assign(drawn);
  }
  picture->Release();
  return ok;
}

}  // namespace gui
