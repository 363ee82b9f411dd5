#include "gui/win32/gdi_canvas.h"

#include <algorithm>
#include <map>
#include <memory>

#include "gui/bitmap.h"
#include "gui/graphics_backend.h"
#include "gui/win32/gdi_objects.h"

namespace gui {

namespace {

COLORREF Ref(Color c) { return COLORREF(ColorToRGB(c)); }

// The RGB a pen or brush draws in now, a system colour through the table
// installed at this moment; kNoRGB for one that has no colour of its own.
constexpr Color kNoRGB = 0xFFFFFFFFu;

Color PenRGB(const Pen& p) { return p.Style() == PenStyle::Clear ? kNoRGB : ColorToRGB(p.Color()); }

Color BrushRGB(const Brush& b) {
  switch (b.Style()) {
    case BrushStyle::Clear:
    case BrushStyle::Halftone: return kNoRGB;
    case BrushStyle::Pattern:
      if (b.Bitmap() && !b.Bitmap()->Empty()) return kNoRGB;
      break;
    default: break;
  }
  return ColorToRGB(b.Color());
}

RECT Win(const Rect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

std::vector<POINT> WinPoints(std::span<const Point> pts) {
  std::vector<POINT> out(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) out[i] = POINT{pts[i].X, pts[i].Y};
  return out;
}

int PenStyleOf(PenStyle s) {
  switch (s) {
    case PenStyle::Solid: return PS_SOLID;
    case PenStyle::Dash: return PS_DASH;
    case PenStyle::Dot: return PS_DOT;
    case PenStyle::DashDot: return PS_DASHDOT;
    case PenStyle::DashDotDot: return PS_DASHDOTDOT;
    case PenStyle::Clear: return PS_NULL;
    case PenStyle::InsideFrame: return PS_INSIDEFRAME;
  }
  return PS_SOLID;
}

// A solid fill in one colour, the brush made for the call.
void FillSolid(HDC dc, const RECT& r, Color c) {
  HBRUSH b = CreateSolidBrush(Ref(c));
  ::FillRect(dc, &r, b);
  DeleteObject(b);
}

// The colours of one 3-D edge (top-left, bottom-right) of DrawEdge.
struct EdgeColors {
  Color lt;
  Color rb;
};

// Whether a ternary raster operation reads the pattern (the brush) / the
// source: its result bits differ between P (or S) 0 and 1.
bool UsesPattern(uint32_t rop) {
  const unsigned idx = (rop >> 16) & 0xFF;
  return ((idx >> 4) & 0xF) != (idx & 0xF);
}
bool UsesSource(uint32_t rop) {
  const unsigned idx = (rop >> 16) & 0xFF;
  return ((idx >> 2) & 0x33) != (idx & 0x33);
}

// A temporary memory context with a bitmap selected, freed with it.
class ScratchDC {
 public:
  ScratchDC(HBITMAP bmp) : dc_(CreateCompatibleDC(nullptr)), bmp_(bmp) {
    old_ = SelectObject(dc_, bmp_);
  }
  ~ScratchDC() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  ScratchDC(const ScratchDC&) = delete;
  ScratchDC& operator=(const ScratchDC&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_;
};

// The device context holding a bitmap's pixels: its own canvas's, or a
// scratch copy when its canvas is not of this backend.
class BitmapSource {
 public:
  explicit BitmapSource(const Bitmap& b) {
    Canvas& c = const_cast<Bitmap&>(b).GetCanvas();
    if (c.Handle()) {
      dc_ = reinterpret_cast<HDC>(c.Handle());
    } else {
      scratch_ = std::make_unique<ScratchDC>(CreateDibFromBitmap(b));
      dc_ = scratch_->dc();
    }
  }
  HDC dc() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  std::unique_ptr<ScratchDC> scratch_;
};

}  // namespace

// ---------------------------------------------------------------- fonts

HFONT RealizeFont(const Font& f) {
  static std::map<std::string, HFONT> cache;
  const std::string key = f.Name() + "/" + std::to_string(f.Height()) + "/" +
                          std::to_string(f.Style()) + "/" + std::to_string(f.Charset());
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  HFONT h = CreateFontA(f.Height(), 0, 0, 0, (f.Style() & fsBold) ? FW_BOLD : FW_NORMAL,
                        (f.Style() & fsItalic) != 0, (f.Style() & fsUnderline) != 0,
                        (f.Style() & fsStrikeOut) != 0, BYTE(f.Charset()), OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        f.Name().c_str());
  if (!h) h = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  cache[key] = h;
  return h;
}

HBRUSH HalftoneBrush() {
  static HBRUSH brush = [] {
    // Rows padded to 16 bits; bit 7 is the left pixel. A pixel is set
    // (0: drawn in the text colour) where x and y are both even or both odd.
    WORD rows[8];
    for (int y = 0; y < 8; ++y) rows[y] = WORD((y % 2 == 0) ? 0x55 : 0xAA);
    HBITMAP bmp = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH b = CreatePatternBrush(bmp);
    DeleteObject(bmp);
    return b;
  }();
  return brush;
}

// ---------------------------------------------------------------- measurer

GdiTextMeasurer::GdiTextMeasurer() : dc_(CreateCompatibleDC(nullptr)) {}
GdiTextMeasurer::~GdiTextMeasurer() { DeleteDC(dc_); }

Size GdiTextMeasurer::TextExtent(const Font& font, std::string_view text) const {
  SelectObject(dc_, RealizeFont(font));
  if (text.empty()) return {0, LineHeight(font)};
  SIZE s{};
  GetTextExtentPoint32A(dc_, text.data(), int(text.size()), &s);
  return {int(s.cx), int(s.cy)};
}

int GdiTextMeasurer::FitCount(const Font& font, std::string_view text, int maxExtent) const {
  if (maxExtent <= 0 || text.empty()) return 0;
  SelectObject(dc_, RealizeFont(font));
  INT fit = 0;
  SIZE s{};
  if (!GetTextExtentExPointA(dc_, text.data(), int(text.size()), maxExtent, &fit, nullptr, &s))
    return 0;
  return std::clamp(int(fit), 0, int(text.size()));
}

int GdiTextMeasurer::LineHeight(const Font& font) const {
  SelectObject(dc_, RealizeFont(font));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc_, &tm);
  return int(tm.tmHeight);
}

// ---------------------------------------------------------------- canvas

GdiCanvas::GdiCanvas(HDC dc, Size size, std::string name, std::function<void(HDC)> release)
    : dc_(dc), size_(size), name_(std::move(name)), savedDC_(SaveDC(dc)), release_(std::move(release)) {
  SetBrushOrgEx(dc_, 0, 0, nullptr);
}

GdiCanvas::~GdiCanvas() {
  RestoreDC(dc_, savedDC_);
  if (pen_) DeleteObject(pen_);
  if (brush_ && ownBrush_) DeleteObject(brush_);
  for (HRGN r : savedClips_)
    if (r) DeleteObject(r);
  for (HPALETTE p : palettes_) DeleteObject(p);
  if (release_) release_(dc_);
}

void GdiCanvas::RealizePen(Color rgb) const {
  const gui::Pen& p = Pen();
  HPEN fresh = p.Style() == PenStyle::Clear ? CreatePen(PS_NULL, 0, 0)
                                            : CreatePen(PenStyleOf(p.Style()), p.Width(), COLORREF(rgb));
  SelectObject(dc_, fresh);
  if (pen_) DeleteObject(pen_);
  pen_ = fresh;
  penRev_ = p.Revision();
  penRGB_ = rgb;
}

void GdiCanvas::RealizeBrush(Color rgb) const {
  const gui::Brush& b = Brush();
  const COLORREF ref = COLORREF(rgb);
  HBRUSH fresh = nullptr;
  bool own = true;
  switch (b.Style()) {
    case BrushStyle::Solid: fresh = CreateSolidBrush(ref); break;
    case BrushStyle::Clear:
      fresh = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
      own = false;
      break;
    case BrushStyle::Horizontal: fresh = CreateHatchBrush(HS_HORIZONTAL, ref); break;
    case BrushStyle::Vertical: fresh = CreateHatchBrush(HS_VERTICAL, ref); break;
    case BrushStyle::FDiagonal: fresh = CreateHatchBrush(HS_FDIAGONAL, ref); break;
    case BrushStyle::BDiagonal: fresh = CreateHatchBrush(HS_BDIAGONAL, ref); break;
    case BrushStyle::Cross: fresh = CreateHatchBrush(HS_CROSS, ref); break;
    case BrushStyle::DiagCross: fresh = CreateHatchBrush(HS_DIAGCROSS, ref); break;
    case BrushStyle::Halftone:
      fresh = HalftoneBrush();
      own = false;
      break;
    case BrushStyle::Pattern:
      if (b.Bitmap() && !b.Bitmap()->Empty()) {
        HBITMAP bmp = b.Bitmap()->Format() == PixelFormat::Mono ? CreateMonoDDB(*b.Bitmap())
                                                                : CreateDibFromBitmap(*b.Bitmap());
        fresh = CreatePatternBrush(bmp);
        DeleteObject(bmp);
      } else {
        fresh = CreateSolidBrush(ref);
      }
      break;
  }
  SelectObject(dc_, fresh);
  if (brush_ && ownBrush_) DeleteObject(brush_);
  brush_ = fresh;
  ownBrush_ = own;
  brushRev_ = b.Revision();
  brushRGB_ = rgb;
}

void GdiCanvas::Prepare(unsigned need) const {
  // A pen or brush made before is used again only while it draws in the
  // same RGB: the same system colour may stand for another after the
  // colour scheme changed.
  if (need & kPen) {
    const Color rgb = PenRGB(Pen());
    if (!pen_ || Pen().Revision() != penRev_ || rgb != penRGB_) RealizePen(rgb);
    SelectObject(dc_, pen_);
    SetROP2(dc_, Pen().Mode());
  }
  if (need & kBrush) {
    const Color rgb = BrushRGB(Brush());
    // A pattern brush follows its bitmap's pixels: made again each time.
    if (!brush_ || Brush().Revision() != brushRev_ || rgb != brushRGB_ || Brush().Style() == BrushStyle::Pattern)
      RealizeBrush(rgb);
    SelectObject(dc_, brush_);
  }
  if (need & kFont) SelectObject(dc_, RealizeFont(Font()));
  if (need & kColors) {
    ::SetTextColor(dc_, Ref(TextColor()));
    ::SetBkColor(dc_, Ref(BkColor()));
    ::SetBkMode(dc_, BkMode());
  }
}

HDC GdiCanvas::SourceDC(Canvas& src) { return reinterpret_cast<HDC>(src.Handle()); }

void GdiCanvas::SetStretchMode(int mode) {
  Canvas::SetStretchMode(mode);
  SetStretchBltMode(dc_, mode);
}

void GdiCanvas::SelectPalette(std::span<const Color> colors) {
  const size_t n = std::min<size_t>(colors.size(), 256);
  if (n == 0) return;
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(storage.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = WORD(n);
  PALETTEENTRY* entries = lp->palPalEntry;  // n entries in the storage
  for (size_t i = 0; i < n; ++i) {
    const Color c = ColorToRGB(colors[i]);
    entries[i] = {BYTE(RedOf(c)), BYTE(GreenOf(c)), BYTE(BlueOf(c)), 0};
  }
  HPALETTE palette = CreatePalette(lp);
  if (!palette) return;
  ::SelectPalette(dc_, palette, FALSE);
  RealizePalette(dc_);
  palettes_.push_back(palette);
}

void GdiCanvas::SetViewportOrigin(Point p) {
  Canvas::SetViewportOrigin(p);
  SetViewportOrgEx(dc_, p.X, p.Y, nullptr);
}

void GdiCanvas::SaveBackend(int level) {
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  if (GetClipRgn(dc_, r) != 1) {
    DeleteObject(r);
    r = nullptr;
  }
  savedClips_.resize(size_t(level - 1));
  savedClips_.push_back(r);
}

void GdiCanvas::RestoreBackend(int level) {
  if (level < 1 || level > int(savedClips_.size())) return;
  SelectClipRgn(dc_, savedClips_[size_t(level - 1)]);
  for (size_t i = size_t(level - 1); i < savedClips_.size(); ++i)
    if (savedClips_[i]) DeleteObject(savedClips_[i]);
  savedClips_.resize(size_t(level - 1));
  SetViewportOrgEx(dc_, ViewportOrigin().X, ViewportOrigin().Y, nullptr);
  SetStretchBltMode(dc_, StretchMode());
}

// ---------------------------------------------------------------- clipping

void GdiCanvas::SelectClip(const Region* r) {
  if (!r) {
    SelectClipRgn(dc_, nullptr);
    return;
  }
  HRGN h = CreateRegionHandle(*r);
  SelectClipRgn(dc_, h);
  DeleteObject(h);
}

void GdiCanvas::IntersectClip(const Rect& r) {
  IntersectClipRect(dc_, r.Left, r.Top, r.Right, r.Bottom);
}

void GdiCanvas::ExcludeClip(const Rect& r) {
  ExcludeClipRect(dc_, r.Left, r.Top, r.Right, r.Bottom);
}

bool GdiCanvas::GetClip(Region& out) const {
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  const bool has = GetClipRgn(dc_, r) == 1;
  if (has) out = RegionFromHandle(r);
  DeleteObject(r);
  return has;
}

Rect GdiCanvas::ClipBox() const {
  RECT r{};
  if (GetClipBox(dc_, &r) == ERROR) return {};
  return {r.left, r.top, r.right, r.bottom};
}

bool GdiCanvas::RectVisible(const Rect& r) const {
  RECT w = Win(r);
  return ::RectVisible(dc_, &w) != FALSE;
}

// ---------------------------------------------------------------- lines and shapes

void GdiCanvas::MoveTo(int x, int y) {
  Canvas::MoveTo(x, y);
  MoveToEx(dc_, x, y, nullptr);
}

void GdiCanvas::LineTo(int x, int y) {
  Prepare(kPen | kColors);
  MoveToEx(dc_, PenPos().X, PenPos().Y, nullptr);
  ::LineTo(dc_, x, y);
  SetPenPos({x, y});
}

void GdiCanvas::Polyline(std::span<const Point> points) {
  if (points.empty()) return;
  Prepare(kPen | kColors);
  auto pts = WinPoints(points);
  ::Polyline(dc_, pts.data(), int(pts.size()));
}

void GdiCanvas::PolyPolyline(std::span<const Point> points, std::span<const int> counts) {
  if (points.empty() || counts.empty()) return;
  Prepare(kPen | kColors);
  auto pts = WinPoints(points);
  std::vector<DWORD> n(counts.begin(), counts.end());
  ::PolyPolyline(dc_, pts.data(), n.data(), DWORD(n.size()));
}

void GdiCanvas::Polygon(std::span<const Point> points) {
  if (points.empty()) return;
  Prepare(kPen | kBrush | kColors);
  auto pts = WinPoints(points);
  ::Polygon(dc_, pts.data(), int(pts.size()));
}

void GdiCanvas::Rectangle(const Rect& r) {
  Prepare(kPen | kBrush | kColors);
  ::Rectangle(dc_, r.Left, r.Top, r.Right, r.Bottom);
}

void GdiCanvas::Ellipse(const Rect& r) {
  Prepare(kPen | kBrush | kColors);
  ::Ellipse(dc_, r.Left, r.Top, r.Right, r.Bottom);
}

// ---------------------------------------------------------------- areas

void GdiCanvas::FillRect(const Rect& r) {
  Prepare(kBrush | kColors);
  RECT w = Win(r);
  ::FillRect(dc_, &w, brush_);
}

void GdiCanvas::FrameRect(const Rect& r) {
  Prepare(kBrush | kColors);
  RECT w = Win(r);
  ::FrameRect(dc_, &w, brush_);
}

void GdiCanvas::InvertRect(const Rect& r) {
  RECT w = Win(r);
  ::InvertRect(dc_, &w);
}

void GdiCanvas::DrawFocusRect(const Rect& r) {
  Prepare(kColors);
  RECT w = Win(r);
  ::DrawFocusRect(dc_, &w);
}

void GdiCanvas::DrawEdge(Rect& r, unsigned edge, unsigned flags) {
  // Outer and inner edge colours, resolved through the colour table.
  const bool soft = (flags & BF_SOFT) != 0;
  EdgeColors outer{clNone, clNone}, inner{clNone, clNone};
  if (flags & BF_MONO) {
    if (edge & BDR_OUTER) outer = {clWindowFrame, clWindowFrame};
    if (edge & BDR_INNER) inner = {clWindow, clWindow};
  } else if (flags & BF_FLAT) {
    if (edge & BDR_OUTER) outer = {clBtnShadow, clBtnShadow};
    if (edge & BDR_INNER) inner = {clBtnFace, clBtnFace};
  } else {
    if (edge & BDR_RAISEDOUTER) outer = {soft ? clBtnHighlight : cl3DLight, cl3DDkShadow};
    else if (edge & BDR_SUNKENOUTER) outer = {soft ? cl3DDkShadow : clBtnShadow, clBtnHighlight};
    if (edge & BDR_RAISEDINNER) inner = {soft ? cl3DLight : clBtnHighlight, clBtnShadow};
    else if (edge & BDR_SUNKENINNER) inner = {soft ? clBtnShadow : cl3DDkShadow, cl3DLight};
  }
  Rect cur = r;
  if (flags & BF_DIAGONAL) {
    // One line across the rectangle in the bottom-right colour.
    const Color c = outer.rb != clNone ? outer.rb : inner.rb;
    if (c != clNone) {
      HPEN p = CreatePen(PS_SOLID, 1, Ref(c));
      HGDIOBJ old = SelectObject(dc_, p);
      MoveToEx(dc_, cur.Left, cur.Bottom - 1, nullptr);
      ::LineTo(dc_, cur.Right, cur.Top - 1);
      SelectObject(dc_, old);
      DeleteObject(p);
    }
    return;
  }
  for (const EdgeColors& e : {outer, inner}) {
    if (e.lt == clNone || cur.IsEmpty()) continue;
    if (flags & BF_TOP) FillSolid(dc_, RECT{cur.Left, cur.Top, cur.Right, cur.Top + 1}, e.lt);
    if (flags & BF_LEFT) FillSolid(dc_, RECT{cur.Left, cur.Top, cur.Left + 1, cur.Bottom}, e.lt);
    if (flags & BF_BOTTOM)
      FillSolid(dc_, RECT{cur.Left, cur.Bottom - 1, cur.Right, cur.Bottom}, e.rb);
    if (flags & BF_RIGHT)
      FillSolid(dc_, RECT{cur.Right - 1, cur.Top, cur.Right, cur.Bottom}, e.rb);
    cur = {cur.Left + ((flags & BF_LEFT) ? 1 : 0), cur.Top + ((flags & BF_TOP) ? 1 : 0),
           cur.Right - ((flags & BF_RIGHT) ? 1 : 0), cur.Bottom - ((flags & BF_BOTTOM) ? 1 : 0)};
  }
  if ((flags & BF_MIDDLE) && !cur.IsEmpty())
    FillSolid(dc_, Win(cur), (flags & BF_MONO) ? clWindow : clBtnFace);
  if (flags & BF_ADJUST) r = cur;
}

void GdiCanvas::PatBlt(const Rect& r, uint32_t rop) {
  Prepare(kBrush | kColors);
  ::PatBlt(dc_, r.Left, r.Top, r.Width(), r.Height(), rop);
}

// ---------------------------------------------------------------- copying

void GdiCanvas::BitBlt(const Rect& dest, Canvas& src, Point srcPos, uint32_t rop) {
  HDC s = SourceDC(src);
  Prepare((UsesPattern(rop) ? unsigned(kBrush) : 0u) | kColors);
  if (!s) {
    // Not a surface of this backend: only the operations without a source.
    if (!UsesSource(rop)) ::PatBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), rop);
    return;
  }
  // A colour source copied into a monochrome surface gives 1 where it is
  // the source's background colour.
  ::SetBkColor(s, Ref(src.BkColor()));
  ::SetTextColor(s, Ref(src.TextColor()));
  ::BitBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), s, srcPos.X, srcPos.Y, rop);
}

void GdiCanvas::StretchBlt(const Rect& dest, Canvas& src, const Rect& srcRect, uint32_t rop) {
  HDC s = SourceDC(src);
  if (!s) return;
  Prepare((UsesPattern(rop) ? unsigned(kBrush) : 0u) | kColors);
  ::SetBkColor(s, Ref(src.BkColor()));
  ::SetTextColor(s, Ref(src.TextColor()));
  SetStretchBltMode(dc_, StretchMode());
  ::StretchBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), s, srcRect.Left,
               srcRect.Top, srcRect.Width(), srcRect.Height(), rop);
}

void GdiCanvas::MaskedCopy(int x, int y, int w, int h, HDC srcDC, int sx, int sy, HDC maskDC,
                           int mx, int my) {
  if (w <= 0 || h <= 0) return;
  // The source with its left-out pixels made black.
  HDC screen = GetDC(nullptr);
  ScratchDC tmp(CreateCompatibleBitmap(screen, w, h));
  ReleaseDC(nullptr, screen);
  ::BitBlt(tmp.dc(), 0, 0, w, h, srcDC, sx, sy, SRCCOPY);
  ::SetTextColor(tmp.dc(), RGB(0, 0, 0));
  ::SetBkColor(tmp.dc(), RGB(255, 255, 255));
  ::BitBlt(tmp.dc(), 0, 0, w, h, maskDC, mx, my, 0x00220326);  // dest AND NOT mask
  // The destination cleared where the source shows, then the source added.
  ::SetTextColor(dc_, RGB(0, 0, 0));
  ::SetBkColor(dc_, RGB(255, 255, 255));
  ::BitBlt(dc_, x, y, w, h, maskDC, mx, my, SRCAND);
  ::BitBlt(dc_, x, y, w, h, tmp.dc(), 0, 0, SRCPAINT);
  Prepare(kColors);
}

void GdiCanvas::TransparentBlt(const Rect& dest, Canvas& src, Point srcPos, Color key) {
  HDC s = SourceDC(src);
  const int w = dest.Width(), h = dest.Height();
  if (!s || w <= 0 || h <= 0) return;
  // The mask: 1 where the source is the key colour.
  ScratchDC mask(CreateBitmap(w, h, 1, 1, nullptr));
  const COLORREF oldBk = ::SetBkColor(s, Ref(key));
  ::BitBlt(mask.dc(), 0, 0, w, h, s, srcPos.X, srcPos.Y, SRCCOPY);
  ::SetBkColor(s, oldBk);
  MaskedCopy(dest.Left, dest.Top, w, h, s, srcPos.X, srcPos.Y, mask.dc(), 0, 0);
}

void GdiCanvas::Draw(int x, int y, const Bitmap& b) {
  if (b.Empty()) return;
  BitmapSource src(b);
  const Rect dest = Rect::FromSize(x, y, b.Width(), b.Height());
  if (b.Transparent() && b.TransparentColor() != clDefault) {
    GdiCanvas view(src.dc(), {b.Width(), b.Height()}, "source");
    TransparentBlt(dest, view, {0, 0}, b.TransparentColor());
    return;
  }
  Prepare(kColors);
  ::BitBlt(dc_, x, y, b.Width(), b.Height(), src.dc(), 0, 0, SRCCOPY);
}

void GdiCanvas::StretchDraw(const Rect& dest, const Bitmap& b) {
  if (b.Empty() || dest.IsEmpty()) return;
  BitmapSource src(b);
  Prepare(kColors);
  SetStretchBltMode(dc_, StretchMode());
  if (!b.Transparent() || b.TransparentColor() == clDefault) {
    ::StretchBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), src.dc(), 0, 0,
                 b.Width(), b.Height(), SRCCOPY);
    return;
  }
  // Stretched into a scratch bitmap first, then drawn leaving out the key.
  HDC screen = GetDC(nullptr);
  ScratchDC tmp(CreateCompatibleBitmap(screen, dest.Width(), dest.Height()));
  ReleaseDC(nullptr, screen);
  SetStretchBltMode(tmp.dc(), COLORONCOLOR);
  ::StretchBlt(tmp.dc(), 0, 0, dest.Width(), dest.Height(), src.dc(), 0, 0, b.Width(),
               b.Height(), SRCCOPY);
  GdiCanvas view(tmp.dc(), {dest.Width(), dest.Height()}, "stretched");
  TransparentBlt(dest, view, {0, 0}, b.TransparentColor());
}

void GdiCanvas::DrawMasked(int x, int y, const Bitmap& image, const Bitmap& mask) {
  if (image.Empty()) return;
  BitmapSource src(image);
  if (mask.Empty() || mask.Format() != PixelFormat::Mono) {
    Prepare(kColors);
    ::BitBlt(dc_, x, y, image.Width(), image.Height(), src.dc(), 0, 0, SRCCOPY);
    return;
  }
  ScratchDC m(CreateMonoDDB(mask));
  MaskedCopy(x, y, std::min(image.Width(), mask.Width()), std::min(image.Height(), mask.Height()),
             src.dc(), 0, 0, m.dc(), 0, 0);
}

void GdiCanvas::DrawIcon(int x, int y, const Icon& icon, int w, int h) {
  if (icon.Empty()) return;
  DrawIconEx(dc_, x, y, reinterpret_cast<HICON>(icon.Handle()), w ? w : icon.Width(),
             h ? h : icon.Height(), 0, nullptr, DI_NORMAL);
}

Color GdiCanvas::Pixel(int x, int y) const {
  GdiFlush();
  const COLORREF c = ::GetPixel(dc_, x, y);
  return c == CLR_INVALID ? clBlack : Color(c & 0xFFFFFF);
}

void GdiCanvas::SetPixel(int x, int y, Color c) { ::SetPixelV(dc_, x, y, Ref(c)); }

// ---------------------------------------------------------------- text

void GdiCanvas::TextOut(int x, int y, std::string_view text) {
  Prepare(kFont | kColors);
  ::TextOutA(dc_, x, y, text.data(), int(text.size()));
}

void GdiCanvas::ExtTextOut(int x, int y, unsigned options, const Rect* r, std::string_view text) {
  Prepare(kFont | kColors);
  RECT w{};
  if (r) w = Win(*r);
  ::ExtTextOutA(dc_, x, y, options & (ETO_CLIPPED | ETO_OPAQUE), r ? &w : nullptr, text.data(),
                UINT(text.size()), nullptr);
}

void GdiCanvas::TextRect(const Rect& r, int x, int y, std::string_view text) {
  const bool clear = Brush().Style() == BrushStyle::Clear;
  Prepare(kFont | kColors);
  RECT w = Win(r);
  ::ExtTextOutA(dc_, x, y, ETO_CLIPPED | (clear ? 0 : ETO_OPAQUE), &w, text.data(),
                UINT(text.size()), nullptr);
}

int GdiCanvas::DrawText(std::string_view text, Rect& r, unsigned flags) {
  const TextLayout layout = LayoutText(Measurer(), Font(), text, r, flags);
  if (flags & DT_CALCRECT) {
    r = layout.Bounds;
    return layout.Height;
  }
  Prepare(kFont | kColors);
  const int lineHeight = Measurer().LineHeight(Font());
  const bool opaque = BkMode() == OPAQUE;
  const bool clip = !(flags & DT_NOCLIP);
  ::SetBkMode(dc_, TRANSPARENT);
  for (const TextLine& line : layout.Lines) {
    // Each line keeps to its measured box (and to r unless DT_NOCLIP).
    Rect box = Rect::FromSize(line.X, line.Y, line.Width, lineHeight);
    if (clip) box = box.Intersect(r);
    if (box.IsEmpty() && clip) continue;
    if (opaque) FillSolid(dc_, Win(box), BkColor());
    RECT w = Win(box);
    const UINT o = clip ? ETO_CLIPPED : 0;
    ::ExtTextOutA(dc_, line.X, line.Y, o, clip ? &w : nullptr, line.Text.data(),
                  UINT(line.Text.size()), nullptr);
    if (line.Underline >= 0 && line.Underline < int(line.Text.size())) {
      // The accelerator again in the underlined font, over itself.
      gui::Font under;
      under.Assign(Font());
      under.SetStyle(Font().Style() | fsUnderline);
      const int dx = Measurer().TextExtent(Font(), std::string_view(line.Text).substr(
                                                       0, size_t(line.Underline))).Width;
      SelectObject(dc_, RealizeFont(under));
      ::ExtTextOutA(dc_, line.X + dx, line.Y, o, clip ? &w : nullptr,
                    line.Text.data() + line.Underline, 1, nullptr);
      SelectObject(dc_, RealizeFont(Font()));
    }
  }
  ::SetBkMode(dc_, BkMode());
  return layout.Height;
}

Size GdiCanvas::TextExtent(std::string_view text) const { return Measurer().TextExtent(Font(), text); }

int GdiCanvas::TextFitCount(std::string_view text, int maxExtent) const {
  if (maxExtent <= 0) return 0;
  return Measurer().FitCount(Font(), text, maxExtent);
}

int GdiCanvas::BitsPerPixel() const {
  if (!dc_) return 32;
  return GetDeviceCaps(dc_, BITSPIXEL) * GetDeviceCaps(dc_, PLANES);
}

}  // namespace gui
