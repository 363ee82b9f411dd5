#include "treelist/grid_utils.h"

#include <algorithm>

#include "gui/registry_ini_file.h"

using namespace gui;

// ---------------------------------------------------------------- TGridRegIniWrapper

bool TGridRegIniWrapper::IsRegistry() const {
  return dynamic_cast<const RegistryIniFile*>(store_) != nullptr;
}

int TGridRegIniWrapper::ReadInteger(const std::string& section, const std::string& name,
                                    int def) const {
  return store_->ReadInteger(section, name, def);
}

void TGridRegIniWrapper::WriteInteger(const std::string& section, const std::string& name,
                                      int value) {
  store_->WriteInteger(section, name, value);
}

bool TGridRegIniWrapper::ReadBool(const std::string& section, const std::string& name,
                                  bool def) const {
  return store_->ReadBool(section, name, def);
}

void TGridRegIniWrapper::WriteBool(const std::string& section, const std::string& name,
                                   bool value) {
  store_->WriteBool(section, name, value);
}

std::vector<std::string> TGridRegIniWrapper::ReadSections() const { return store_->ReadSections(); }

void TGridRegIniWrapper::EraseSection(const std::string& section) { store_->EraseSection(section); }

void TGridRegIniWrapper::EraseSectionsStartingWith(std::string_view prefix) {
  if (prefix.empty() || IsRegistry()) return;
  for (const std::string& s : store_->ReadSections())
    if (std::string_view(s).substr(0, prefix.size()) == prefix) store_->EraseSection(s);
}

// ---------------------------------------------------------------- DrawTextEx

unsigned GridTextSystemFlags(unsigned flags, bool fits) {
  static const unsigned kAlign[4] = {DT_LEFT, DT_CENTER, DT_RIGHT, DT_LEFT};
  unsigned sys = kAlign[flags & gtfAlignMask] | DT_EXPANDTABS;
  if (fits) sys |= DT_NOCLIP;
  if (flags & gtfEndEllipsis) sys |= DT_END_ELLIPSIS;
  if (flags & gtfPathEllipsis) sys |= DT_PATH_ELLIPSIS;
  if (!(flags & gtfPrefix)) sys |= DT_NOPREFIX;
  if (flags & gtfWordWrap)
    sys |= DT_WORDBREAK;
  else if (flags & gtfBottom)
    sys |= DT_SINGLELINE | DT_BOTTOM;
  else if (flags & gtfVCenter)
    sys |= DT_SINGLELINE | DT_VCENTER;
  else
    sys |= DT_SINGLELINE | DT_TOP;
  return sys;
}

namespace {

bool NeedsFormatting(std::string_view text, unsigned flags, bool fits) {
  if (flags & (gtfPrefix | gtfWordWrap)) return true;
  if (!(flags & (gtfEndEllipsis | gtfPathEllipsis))) return false;
  return !fits || text.find_first_of("\r\n") != std::string_view::npos;
}

// Where a one-line text of size goes in r by the flag word.
Point SimpleTextOrigin(const Rect& r, Size size, unsigned flags) {
  int x = r.Left;
  if ((flags & gtfAlignMask) == gtfCenter) x = r.Left + (r.Width() - size.Width) / 2;
  if ((flags & gtfAlignMask) == gtfRight) x = r.Right - size.Width;
  int y = r.Top;
  if (flags & gtfBottom)
    y = r.Bottom - size.Height;
  else if (flags & gtfVCenter)
    y = r.Top + (r.Height() - size.Height) / 2;
  return {x, y};
}

}  // namespace

int DrawTextEx(Canvas& canvas, std::string_view text, int* height, Color textColor,
               Color backColor, const gui::Font& font, const gui::Brush& brush, unsigned flags,
               const Rect& textRect, const Rect& clipRect) {
  // Everything below changes the caller's canvas; the saver puts it back
  // on every way out.
  CanvasSaver saved(canvas);
  const int callerMode = canvas.BkMode();
  canvas.Font().Assign(font);
  canvas.Brush().Assign(brush);
  canvas.SetTextColor(textColor);
  canvas.SetBkColor(backColor);
  canvas.SetBkMode(callerMode);
  const bool measuring = (flags & gtfMeasure) != 0;
  const Size extent = canvas.TextExtent(text);
  if (measuring) {
    if (height) *height = extent.Height;
    if (text.empty()) return 0;
  }
  const bool fits = extent.Width <= textRect.Width();
  int textHeight = extent.Height;
  Rect focus = textRect;

  if (NeedsFormatting(text, flags, fits)) {
    const unsigned sys = GridTextSystemFlags(flags, fits);
    const bool focusFollows = (flags & (gtfFocusRect | gtfFocusFollowsText)) ==
                              (gtfFocusRect | gtfFocusFollowsText);
    if (measuring || focusFollows) {
      Rect calc = textRect;
      textHeight = canvas.DrawText(text, calc, sys | DT_CALCRECT);
      if (flags & gtfWordWrap) focus = calc;
    }
    if (!measuring) {
      if (!(flags & gtfNoFill)) canvas.FillRect(clipRect);
      if (!(flags & gtfKeepBkMode)) canvas.SetBkMode(TRANSPARENT);
      Rect r = textRect;
      canvas.DrawText(text, r, sys);
    }
  } else if (!measuring) {
    Rect clip = clipRect;
    if (!fits) {
      const Rect beyond = Rect(textRect.Right, clip.Top, clip.Right, clip.Bottom).Intersect(clip);
      if (!(flags & gtfNoFill) && !beyond.IsEmpty()) canvas.FillRect(beyond);
      clip.Right = std::min(clip.Right, textRect.Right);
    }
    const Point at = fits ? SimpleTextOrigin(textRect, extent, flags)
                          : SimpleTextOrigin(textRect, extent, flags & ~unsigned(gtfAlignMask));
    unsigned options = ETO_CLIPPED;
    if (!(flags & gtfNoFill))
      options |= ETO_OPAQUE;
    else if (!(flags & gtfKeepBkMode))
      canvas.SetBkMode(TRANSPARENT);
    canvas.ExtTextOut(at.X, at.Y, options, &clip, text);
  }

  if (measuring) return clipRect.Height() - textRect.Height() + textHeight;
  if ((flags & gtfFocusRect) && !((flags & gtfFocusFollowsText) && text.empty())) {
    if ((flags & gtfFocusFollowsText) && !(flags & gtfWordWrap))
      focus.Top = focus.Bottom - textHeight;
    canvas.SetBkColor(clBlack);
    canvas.SetTextColor(clWhite);
    canvas.DrawFocusRect(focus.Inflate(1, 1));
  }
  return 0;
}

// ---------------------------------------------------------------- glyphs, shadows, bitmaps

void DrawGlyph(Canvas& canvas, const gui::Brush& brush, const Rect& r, Bitmap& glyph) {
  const int w = std::min(r.Width(), glyph.Width());
  const int h = std::min(r.Height(), glyph.Height());
  if (w <= 0 || h <= 0) return;
  const Rect all(0, 0, w, h);
  Bitmap work(w, h);
  Canvas& wc = work.GetCanvas();
  wc.BitBlt(all, glyph.GetCanvas(), {0, 0}, SRCCOPY);
  // The mask: 1 where the glyph has its transparent colour.
  Bitmap mask;
  mask.MakeMask(glyph, glyph.TransparentColor());
  // The mask's bits as black and white, so that the operation takes the
  // pattern exactly where they are set.
  wc.Brush().Assign(brush);
  wc.SetTextColor(clBlack);
  wc.SetBkColor(clWhite);
  wc.BitBlt(all, mask.GetCanvas(), {0, 0}, 0x00E20746);
  canvas.BitBlt(Rect::FromSize(r.Left, r.Top, w, h), wc, {0, 0}, SRCCOPY);
}

void DrawShadow(Canvas& canvas, const Rect& r, int width, const gui::Brush& brush) {
  if (width <= 0) return;
  CanvasSaver saved(canvas);
  canvas.Brush().Assign(brush);
  canvas.FillRect({r.Left, r.Bottom - width, r.Right, r.Bottom});
  canvas.FillRect({r.Right - width, r.Top, r.Right, r.Bottom});
}

void EnsureBitmapSize(Bitmap& bitmap, int width, int height) {
  const int w = std::max(bitmap.Width(), width);
  const int h = std::max(bitmap.Height(), height);
  if (w != bitmap.Width() || h != bitmap.Height()) bitmap.SetSize(w, h);
}

const gui::Brush& GridHalftoneBrush() {
  struct Halftone : gui::Brush {
    Halftone() { SetStyle(BrushStyle::Halftone); }
  };
  static const Halftone brush;
  return brush;
}
