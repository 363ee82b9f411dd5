#include "gui/recording_canvas.h"

#include <algorithm>
#include <cstdio>

#include "gui/bitmap.h"
#include "gui/graphics_backend.h"
#include "gui/win_constants.h"

namespace gui {

namespace {

std::string R(const Rect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) +
         "," + std::to_string(r.Bottom);
}

std::string P(Point p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string Points(std::span<const Point> pts) {
  std::string s;
  for (size_t i = 0; i < pts.size(); ++i) {
    if (i) s += ' ';
    s += P(pts[i]);
  }
  return s;
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

// Whether a ternary raster operation reads the pattern (brush).
bool UsesPattern(uint32_t rop) {
  const unsigned idx = (rop >> 16) & 0xFF;
  return ((idx >> 4) & 0xF) != (idx & 0xF);
}

std::string BitmapText(const Bitmap& b) {
  return "bitmap " + std::to_string(b.Width()) + "x" + std::to_string(b.Height());
}

}  // namespace

std::string DrawTextFlagsText(unsigned flags) {
  static const struct {
    unsigned bit;
    const char* name;
  } kFlags[] = {{DT_CENTER, "DT_CENTER"},           {DT_RIGHT, "DT_RIGHT"},
                {DT_VCENTER, "DT_VCENTER"},         {DT_BOTTOM, "DT_BOTTOM"},
                {DT_WORDBREAK, "DT_WORDBREAK"},     {DT_SINGLELINE, "DT_SINGLELINE"},
                {DT_EXPANDTABS, "DT_EXPANDTABS"},   {DT_TABSTOP, "DT_TABSTOP"},
                {DT_NOCLIP, "DT_NOCLIP"},           {DT_EXTERNALLEADING, "DT_EXTERNALLEADING"},
                {DT_CALCRECT, "DT_CALCRECT"},       {DT_NOPREFIX, "DT_NOPREFIX"},
                {DT_INTERNAL, "DT_INTERNAL"},       {DT_EDITCONTROL, "DT_EDITCONTROL"},
                {DT_PATH_ELLIPSIS, "DT_PATH_ELLIPSIS"}, {DT_END_ELLIPSIS, "DT_END_ELLIPSIS"},
                {DT_MODIFYSTRING, "DT_MODIFYSTRING"}, {DT_RTLREADING, "DT_RTLREADING"},
                {DT_WORD_ELLIPSIS, "DT_WORD_ELLIPSIS"}, {DT_HIDEPREFIX, "DT_HIDEPREFIX"},
                {DT_PREFIXONLY, "DT_PREFIXONLY"}};
  std::string s;
  unsigned rest = flags;
  for (const auto& f : kFlags)
    if (flags & f.bit) {
      s += (s.empty() ? "" : "|") + std::string(f.name);
      rest &= ~f.bit;
    }
  if (rest) s += (s.empty() ? "" : "|") + Hex(rest);
  return s.empty() ? "DT_LEFT" : s;
}

std::string RopText(uint32_t rop) {
  static const struct {
    uint32_t rop;
    const char* name;
  } kRops[] = {{SRCCOPY, "SRCCOPY"},       {SRCPAINT, "SRCPAINT"},     {SRCAND, "SRCAND"},
               {SRCINVERT, "SRCINVERT"},   {SRCERASE, "SRCERASE"},     {NOTSRCCOPY, "NOTSRCCOPY"},
               {NOTSRCERASE, "NOTSRCERASE"}, {MERGECOPY, "MERGECOPY"}, {MERGEPAINT, "MERGEPAINT"},
               {PATCOPY, "PATCOPY"},       {PATPAINT, "PATPAINT"},     {PATINVERT, "PATINVERT"},
               {DSTINVERT, "DSTINVERT"},   {BLACKNESS, "BLACKNESS"},   {WHITENESS, "WHITENESS"}};
  for (const auto& r : kRops)
    if (r.rop == rop) return r.name;
  return Hex(rop);
}

RecordingCanvas::RecordingCanvas(Size size, std::string name, const TextMeasurer* measurer)
    : name_(std::move(name)), size_(size), measurer_(measurer) {}

const TextMeasurer& RecordingCanvas::GetMeasurer() const {
  return measurer_ ? *measurer_ : Measurer();
}

std::string RecordingCanvas::LogText() const {
  std::string s;
  for (const std::string& l : *sink_) s += l + "\n";
  return s;
}

void RecordingCanvas::SetPixelAccess(std::function<Color(int, int)> get,
                                     std::function<void(int, int, Color)> set) {
  getPixel_ = std::move(get);
  setPixel_ = std::move(set);
}

void RecordingCanvas::Add(std::string line) { sink_->push_back(std::move(line)); }

// The colours are resolved (a clDefault throws here as on the surface)
// but shown by name.
std::string RecordingCanvas::PenText() const {
  if (Pen().Style() != PenStyle::Clear) ColorToRGB(Pen().Color());
  return "pen=" + Pen().Describe();
}

std::string RecordingCanvas::BrushText() const {
  const gui::Brush& b = Brush();
  if (b.Style() == BrushStyle::Halftone) {
    ColorToRGB(TextColor());
    ColorToRGB(BkColor());
    return "brush=halftone(" + ColorText(TextColor()) + "/" + ColorText(BkColor()) + ")";
  }
  if (b.Style() != BrushStyle::Clear && b.Style() != BrushStyle::Pattern) ColorToRGB(b.Color());
  return "brush=" + b.Describe();
}

std::string RecordingCanvas::TextState() const {
  ColorToRGB(TextColor());
  std::string s = "font=" + Font().Describe() + " text=" + ColorText(TextColor()) + " bk=";
  if (BkMode() == TRANSPARENT) return s + "transparent";
  ColorToRGB(BkColor());
  return s + ColorText(BkColor());
}

Rect RecordingCanvas::SurfaceRect() const {
  const Rect whole{0, 0, size_.Width, size_.Height};
  return hasPaintArea_ ? paintArea_.Intersect(whole) : whole;
}

void RecordingCanvas::SetStretchMode(int mode) {
  Canvas::SetStretchMode(mode);
  Add("SetStretchMode(" + std::to_string(mode) + ")");
}

void RecordingCanvas::SelectPalette(std::span<const Color> colors) {
  std::string line = "SelectPalette(";
  for (size_t i = 0; i < colors.size(); ++i) line += (i ? "," : "") + ColorText(colors[i]);
  Add(line + ")");
}

void RecordingCanvas::SetViewportOrigin(Point p) {
  Canvas::SetViewportOrigin(p);
  Add("SetViewportOrigin(" + P(p) + ")");
}

int RecordingCanvas::Save() {
  const int level = Canvas::Save();
  Add("Save() -> " + std::to_string(level));
  return level;
}

void RecordingCanvas::Restore(int saved) {
  Add("Restore(" + std::to_string(saved) + ")");
  Canvas::Restore(saved);
}

void RecordingCanvas::SaveBackend(int level) {
  savedClips_.resize(size_t(level - 1));
  savedClips_.emplace_back(hasClip_, clip_);
}

void RecordingCanvas::RestoreBackend(int level) {
  hasClip_ = savedClips_[size_t(level - 1)].first;
  clip_ = savedClips_[size_t(level - 1)].second;
  savedClips_.resize(size_t(level - 1));
}

void RecordingCanvas::SelectClip(const Region* r) {
  hasClip_ = r != nullptr;
  clip_ = r ? *r : Region();
  std::string s;
  if (r)
    for (const Rect& q : r->Rects()) s += (s.empty() ? "" : " ") + R(q);
  Add("SelectClip(" + (r ? s : std::string("none")) + ")");
}

void RecordingCanvas::IntersectClip(const Rect& r) {
  const Rect dev = r.Offset(ViewportOrigin().X, ViewportOrigin().Y);
  if (!hasClip_) clip_ = Region(Rect{0, 0, size_.Width, size_.Height});
  hasClip_ = true;
  clip_.Combine(dev, RegionOp::And);
  Add("IntersectClip(" + R(r) + ")");
}

void RecordingCanvas::ExcludeClip(const Rect& r) {
  const Rect dev = r.Offset(ViewportOrigin().X, ViewportOrigin().Y);
  if (!hasClip_) clip_ = Region(Rect{0, 0, size_.Width, size_.Height});
  hasClip_ = true;
  clip_.Combine(dev, RegionOp::Diff);
  Add("ExcludeClip(" + R(r) + ")");
}

bool RecordingCanvas::GetClip(Region& out) const {
  if (!hasClip_) return false;
  out = clip_;
  return true;
}

Rect RecordingCanvas::ClipBox() const {
  Region visible(SurfaceRect());
  if (hasClip_) visible.Combine(clip_, RegionOp::And);
  return visible.Bounds().Offset(-ViewportOrigin().X, -ViewportOrigin().Y);
}

bool RecordingCanvas::RectVisible(const Rect& r) const {
  Region visible(SurfaceRect());
  if (hasClip_) visible.Combine(clip_, RegionOp::And);
  return visible.Intersects(r.Offset(ViewportOrigin().X, ViewportOrigin().Y));
}

void RecordingCanvas::MoveTo(int x, int y) {
  Canvas::MoveTo(x, y);
  Add("MoveTo(" + std::to_string(x) + "," + std::to_string(y) + ")");
}

void RecordingCanvas::LineTo(int x, int y) {
  Add("LineTo(" + std::to_string(x) + "," + std::to_string(y) + ") " + PenText());
  SetPenPos({x, y});
}

void RecordingCanvas::Polyline(std::span<const Point> pts) {
  Add("Polyline(" + Points(pts) + ") " + PenText());
}

void RecordingCanvas::PolyPolyline(std::span<const Point> pts, std::span<const int> counts) {
  std::string s;
  size_t at = 0;
  for (int n : counts) {
    if (n < 0 || at + size_t(n) > pts.size()) break;
    s += (s.empty() ? "" : " | ") + Points(pts.subspan(at, size_t(n)));
    at += size_t(n);
  }
  Add("PolyPolyline(" + s + ") " + PenText());
}

void RecordingCanvas::Polygon(std::span<const Point> pts) {
  Add("Polygon(" + Points(pts) + ") " + PenText() + " " + BrushText());
}

void RecordingCanvas::Rectangle(const Rect& r) {
  Add("Rectangle(" + R(r) + ") " + PenText() + " " + BrushText());
}

void RecordingCanvas::Ellipse(const Rect& r) {
  Add("Ellipse(" + R(r) + ") " + PenText() + " " + BrushText());
}

void RecordingCanvas::FillRect(const Rect& r) { Add("FillRect(" + R(r) + ") " + BrushText()); }
void RecordingCanvas::FrameRect(const Rect& r) { Add("FrameRect(" + R(r) + ") " + BrushText()); }
void RecordingCanvas::InvertRect(const Rect& r) { Add("InvertRect(" + R(r) + ")"); }
void RecordingCanvas::DrawFocusRect(const Rect& r) { Add("DrawFocusRect(" + R(r) + ")"); }

void RecordingCanvas::DrawEdge(Rect& r, unsigned edge, unsigned flags) {
  char buf[48];
  std::snprintf(buf, sizeof buf, ",0x%X,0x%X)", edge, flags);
  Add("DrawEdge(" + R(r) + buf);
  if (!(flags & BF_ADJUST)) return;
  // Each edge part (outer, inner) is one pixel; flat and mono edges draw
  // one part.
  int w = ((edge & BDR_OUTER) ? 1 : 0) + ((edge & BDR_INNER) ? 1 : 0);
  if (flags & (BF_FLAT | BF_MONO)) w = std::min(w, 1);
  if (flags & BF_LEFT) r.Left += w;
  if (flags & BF_TOP) r.Top += w;
  if (flags & BF_RIGHT) r.Right -= w;
  if (flags & BF_BOTTOM) r.Bottom -= w;
}

void RecordingCanvas::PatBlt(const Rect& r, uint32_t rop) {
  std::string s = "PatBlt(" + R(r) + "," + RopText(rop) + ")";
  if (UsesPattern(rop)) s += " " + BrushText();
  Add(s);
}

void RecordingCanvas::BitBlt(const Rect& dest, Canvas& src, Point srcPos, uint32_t rop) {
  std::string s = "BitBlt(" + R(dest) + " <- " + src.Describe() + " @" + P(srcPos) + "," +
                  RopText(rop) + ")";
  if (UsesPattern(rop)) s += " " + BrushText();
  Add(s);
}

void RecordingCanvas::StretchBlt(const Rect& dest, Canvas& src, const Rect& srcRect, uint32_t rop) {
  std::string s = "StretchBlt(" + R(dest) + " <- " + src.Describe() + " " + R(srcRect) + "," +
                  RopText(rop) + ") mode=" + std::to_string(StretchMode());
  if (UsesPattern(rop)) s += " " + BrushText();
  Add(s);
}

void RecordingCanvas::TransparentBlt(const Rect& dest, Canvas& src, Point srcPos, Color key) {
  ColorToRGB(key);
  Add("TransparentBlt(" + R(dest) + " <- " + src.Describe() + " @" + P(srcPos) +
      ") key=" + ColorText(key));
}

void RecordingCanvas::Draw(int x, int y, const Bitmap& b) {
  std::string s = "Draw(" + std::to_string(x) + "," + std::to_string(y) + "," + BitmapText(b) + ")";
  if (b.Transparent() && !b.Empty()) s += " transparent=" + ColorText(b.TransparentColor());
  Add(s);
}

void RecordingCanvas::StretchDraw(const Rect& dest, const Bitmap& b) {
  std::string s = "StretchDraw(" + R(dest) + "," + BitmapText(b) + ")";
  if (b.Transparent() && !b.Empty()) s += " transparent=" + ColorText(b.TransparentColor());
  Add(s);
}

void RecordingCanvas::DrawMasked(int x, int y, const Bitmap& image, const Bitmap& mask) {
  Add("DrawMasked(" + std::to_string(x) + "," + std::to_string(y) + "," + BitmapText(image) +
      ",mask)");
}

void RecordingCanvas::DrawIcon(int x, int y, const Icon& icon, int w, int h) {
  if (icon.Empty()) return;
  Add("DrawIcon(" + std::to_string(x) + "," + std::to_string(y) + "," + Hex(uint32_t(icon.Handle())) +
      "," + std::to_string(w ? w : icon.Width()) + "x" + std::to_string(h ? h : icon.Height()) + ")");
}

Color RecordingCanvas::Pixel(int x, int y) const {
  return getPixel_ ? getPixel_(x + ViewportOrigin().X, y + ViewportOrigin().Y) : clBlack;
}

void RecordingCanvas::SetPixel(int x, int y, Color c) {
  const Color rgb = ColorToRGB(c);
  Add("SetPixel(" + std::to_string(x) + "," + std::to_string(y) + "," + ColorText(c) + ")");
  if (setPixel_) setPixel_(x + ViewportOrigin().X, y + ViewportOrigin().Y, rgb);
}

void RecordingCanvas::TextOut(int x, int y, std::string_view text) {
  Add("TextOut(" + std::to_string(x) + "," + std::to_string(y) + "," + Quote(text) + ") " +
      TextState());
}

void RecordingCanvas::ExtTextOut(int x, int y, unsigned options, const Rect* r,
                                 std::string_view text) {
  std::string s = "ExtTextOut(" + std::to_string(x) + "," + std::to_string(y) + ",";
  if (options & ETO_OPAQUE) s += "opaque ";
  if (options & ETO_CLIPPED) s += "clipped ";
  s += (r ? R(*r) : std::string("-")) + "," + Quote(text) + ") " + TextState();
  if ((options & ETO_OPAQUE) && BkMode() == TRANSPARENT) {
    ColorToRGB(BkColor());
    s += " fill=" + ColorText(BkColor());
  }
  Add(s);
}

void RecordingCanvas::TextRect(const Rect& r, int x, int y, std::string_view text) {
  std::string s = "TextRect(" + R(r) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                  Quote(text) + ") " + TextState();
  if (Brush().Style() != BrushStyle::Clear) s += " " + BrushText();
  Add(s);
}

int RecordingCanvas::DrawText(std::string_view text, Rect& r, unsigned flags) {
  const TextLayout lay = LayoutText(GetMeasurer(), Font(), text, r, flags);
  std::string s = "DrawText(" + Quote(text) + "," + R(r) + "," + DrawTextFlagsText(flags) + ")";
  if (flags & DT_CALCRECT) {
    r = lay.Bounds;
    Add(s + " -> " + R(r));
    return lay.Height;
  }
  s += " ->";
  for (const TextLine& l : lay.Lines) {
    s += " " + Quote(l.Text) + "@" + std::to_string(l.X) + "," + std::to_string(l.Y);
    if (l.Underline >= 0) s += "_" + std::to_string(l.Underline);
  }
  Add(s + " " + TextState());
  return lay.Height;
}

Size RecordingCanvas::TextExtent(std::string_view text) const {
  if (text.empty()) return {0, GetMeasurer().LineHeight(Font())};
  return GetMeasurer().TextExtent(Font(), text);
}

int RecordingCanvas::TextFitCount(std::string_view text, int maxExtent) const {
  return GetMeasurer().FitCount(Font(), text, maxExtent);
}

}  // namespace gui
