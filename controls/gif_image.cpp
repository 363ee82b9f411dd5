#include "controls/gif_image.h"

#include <algorithm>
#include <cstring>

#include "gui/geometry.h"
#include "gui/win_constants.h"
#include "platform/stream.h"

using namespace gui;

TGIFImage::TGIFImage(Component* owner) : GraphicControl(owner) {
  SetBounds(0, 0, 105, 105);
  player_.OnChanging = [this](TGIFPlayer*) { Fire(OnChanging); };
  player_.OnChange = [this](TGIFPlayer*) { Fire(OnChange); };
  player_.OnWrapAnimation = [this](TGIFPlayer*) { Fire(OnWrapAnimation); };
  player_.OnInvalidate = [this](TGIFPlayer*) { Composed(); };
  player_.OnProgress = [this](int done, int total, int percent, bool& keep) {
    if (!Fire(OnProgress, done, total, percent, keep)) keep = false;  // nothing left to decode into
  };
}

TGIFImage::~TGIFImage() { *alive_ = false; }

void TGIFImage::Store(bool& field, bool v) {
  if (field == v) return;
  field = v;
  Invalidate();
}

// ---------------------------------------------------------------- content

void TGIFImage::LoadFromStream(plat::Stream& s) {
  const int64_t left = std::max<int64_t>(0, s.Size() - s.Position());
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  bytes.resize(size_t(s.Read(bytes.data(), left)));
  const std::shared_ptr<bool> alive = alive_;
  const int error = Decode(bytes);
  if (*alive && error != kGIFErrorNone) throw Abort();
}

int TGIFImage::Decode(const std::vector<uint8_t>& bytes) {
  graphic_.reset();
  const std::shared_ptr<bool> alive = alive_;
  const int error = player_.Load(bytes.data(), bytes.size());  // shows frame 1 on success
  if (!*alive) return error;
  if (error != kGIFErrorNone) {
    Composed();  // nothing left to show
    return error;
  }
  palette_ = PaletteOf(player_.Data());
  AdjustSize();
  Invalidate();
  // A parent that realises palettes realises the new picture's.
  if (Control* p = Parent(); p && p->HandleAllocated()) p->Peer()->Send(WM_QUERYNEWPALETTE, 0, 0);
  return error;
}

void TGIFImage::WriteData(plat::Stream& s) const {
  const std::vector<uint8_t>& bytes = Data();
  const uint32_t n = uint32_t(bytes.size());
  const uint8_t length[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  s.WriteBuffer(length, 4);
  if (n > 0) s.WriteBuffer(bytes.data(), n);
}

void TGIFImage::ReadData(plat::Stream& s) {
  uint8_t length[4];
  s.ReadBuffer(length, 4);
  const uint32_t n = uint32_t(length[0]) | uint32_t(length[1]) << 8 | uint32_t(length[2]) << 16 |
                     uint32_t(length[3]) << 24;
  if (int64_t(n) > s.Size() - s.Position()) throw plat::EStreamError("Stream read error");
  std::vector<uint8_t> bytes(n);
  if (n > 0) s.ReadBuffer(bytes.data(), n);
  if (Loading())
    loadedData_ = std::move(bytes);
  else if (!bytes.empty())
    Decode(bytes);
  else
    Clear();
}

void TGIFImage::Loaded() {
  GraphicControl::Loaded();
  if (loadedData_.empty()) return;
  const std::vector<uint8_t> bytes = std::move(loadedData_);
  loadedData_.clear();
  Decode(bytes);
}

void TGIFImage::Clear() {
  player_.Clear();
  palette_.clear();
  graphic_.reset();
  Composed();
}

void TGIFImage::SetGraphic(const Bitmap* picture) {
  // Copied before anything is let go: the picture given may be the one
  // shown (Graphic()).
  std::unique_ptr<Bitmap> copy;
  if (picture) {
    copy = std::make_unique<Bitmap>();
    copy->Assign(*picture);
  }
  player_.Clear();
  palette_.clear();
  Composed();
  graphic_ = std::move(copy);
  AdjustSize();
  Invalidate();
}

void TGIFImage::SetAutoSize(bool v) {
  autoSize_ = v;
  AdjustSize();
}

void TGIFImage::AdjustSize() {
  if (!autoSize_) return;
  if (graphic_)
    SetBounds(Left(), Top(), graphic_->Width(), graphic_->Height());
  else if (!player_.Empty() && player_.ScreenWidth() > 0)
    SetBounds(Left(), Top(), player_.ScreenWidth(), player_.ScreenHeight());
}

// The composed picture into the bitmaps the painting copies from: the
// image's 0x00RRGGBB pixels are the rows of a 32-bit bitmap as they are;
// the mask's transparent pixels are its 1 (white) bits. Only the area the
// player changed is copied into bitmaps that are there already.
void TGIFImage::Composed() {
  const int w = player_.ScreenWidth(), h = player_.ScreenHeight();
  if (player_.Empty() || w <= 0 || h <= 0) {
    image_.reset();
    mask_.reset();
    Invalidate();
    return;
  }
  TGIFArea a = player_.Changed();
  a = {std::max(a.Left, 0), std::max(a.Top, 0), std::min(a.Right, w), std::min(a.Bottom, h)};
  if (!image_ || image_->Width() != w || image_->Height() != h) {
    image_ = std::make_unique<Bitmap>(w, h, PixelFormat::Bits32);
    mask_.reset();
    a = {0, 0, w, h};
  }
  if (player_.HasMask() && !mask_) {
    mask_ = std::make_unique<Bitmap>(w, h, PixelFormat::Mono);
    a = {0, 0, w, h};
  } else if (!player_.HasMask()) {
    mask_.reset();
  }
  if (a.Empty()) return;
  const std::vector<uint32_t>& img = player_.Image();
  const size_t across = size_t(a.Right - a.Left);
  for (int y = a.Top; y < a.Bottom; ++y)
    std::memcpy(reinterpret_cast<uint32_t*>(image_->Row(y)) + a.Left, img.data() + size_t(y) * size_t(w) + size_t(a.Left),
                across * 4);
  if (mask_) {
    const std::vector<uint8_t>& msk = player_.Mask();
    for (int y = a.Top; y < a.Bottom; ++y) {
      uint8_t* row = mask_->Row(y);
      const uint8_t* src = msk.data() + size_t(y) * size_t(w);
      for (int x = a.Left; x < a.Right; ++x) {
        const uint8_t bit = uint8_t(0x80 >> (x % 8));
        row[x / 8] = src[x] ? uint8_t(row[x / 8] | bit) : uint8_t(row[x / 8] & ~bit);
      }
    }
  }
  Invalidate();
}

// The colours of the GIF's tables (the global one, then the frames' own),
// each once, at most 256: the palette a device of 256 colours shows it in.
std::vector<gui::Color> TGIFImage::PaletteOf(const TGIFData& data) {
  std::vector<gui::Color> colors;
  auto add = [&](const TGIFColorTable& t, int bits) {
    for (int i = 0; i < (bits > 0 ? 1 << bits : 0) && colors.size() < 256; ++i) {
      const gui::Color c = MakeRGB(t[size_t(i) * 3], t[size_t(i) * 3 + 1], t[size_t(i) * 3 + 2]);
      if (std::find(colors.begin(), colors.end(), c) == colors.end()) colors.push_back(c);
    }
  };
  if (data.HasGlobalTable) add(data.GlobalTable, data.GlobalBits);
  for (const TGIFFrame& f : data.Frames)
    if (f.HasLocalTable) add(f.Table, f.LocalBits);
  return colors;
}

// ---------------------------------------------------------------- painting

Rect TGIFImage::ImageRect(bool* stretched) const {
  const int sw = image_ ? image_->Width() : 0, sh = image_ ? image_->Height() : 0;
  const int cw = Width(), ch = Height();
  *stretched = (stretch_ || stretchRatio_) && sw > 0 && sh > 0 && (cw != sw || ch != sh) &&
               (!stretchBigOnly_ || cw < sw || ch < sh);
  if (*stretched) {
    if (stretch_) return {0, 0, cw, ch};
    // The largest rectangle of the image's aspect, centred.
    int w = cw, h = MulDiv(sh, cw, sw);
    if (h > ch) {
      h = ch;
      w = MulDiv(sw, ch, sh);
    }
    const int x = (cw - w) / 2, y = (ch - h) / 2;
    return {x, y, x + w, y + h};
  }
  if (center_) {
    const int x = (cw - sw) / 2, y = (ch - sh) / 2;
    return {x, y, x + sw, y + sh};
  }
  return {0, 0, sw, sh};
}

void TGIFImage::DrawComposed(Canvas& c, const Rect& dest, bool stretched) {
  const Rect all{0, 0, image_->Width(), image_->Height()};
  auto copy = [&](Bitmap& from, uint32_t rop, int mode) {
    if (stretched) {
      c.SetStretchMode(mode);
      c.StretchBlt(dest, from.GetCanvas(), all, rop);
    } else {
      c.BitBlt(dest, from.GetCanvas(), {0, 0}, rop);
    }
  };
  // The 32-bit image onto a device of 256 colours or fewer: averaged, not
  // just sampled.
  const int imageMode = targetBits_ <= 8 ? HALFTONE : COLORONCOLOR;
  if (!mask_) {
    copy(*image_, SRCCOPY, imageMode);
    return;
  }
  // The mask's 0 bits (opaque) become black, its 1 bits white: AND clears
  // where the image goes, and XOR puts the image there (it is black where
  // transparent, leaving what lies beneath).
  c.SetTextColor(clBlack);
  c.SetBkColor(clWhite);
  copy(*mask_, SRCAND, BLACKONWHITE);
  copy(*image_, SRCINVERT, imageMode);
}

void TGIFImage::PaintImage(Canvas& c) {
  if (graphic_) {
    int x = 0, y = 0;
    if (center_) {
      x = (Width() - graphic_->Width()) / 2;
      y = (Height() - graphic_->Height()) / 2;
    }
    c.Draw(x, y, *graphic_);
    return;
  }
  if (opaque_) {
    c.Brush().SetColor(Color());
    c.FillRect(ClientRect());
  }
  if (!image_) return;
  bool stretched;
  const Rect r = ImageRect(&stretched);
  if (!stretched && tile_) {
    const int w = image_->Width(), h = image_->Height();
    for (int row = 0; row <= Height() / h; ++row)
      for (int col = 0; col <= Width() / w; ++col)
        DrawComposed(c, {col * w, row * h, col * w + w, row * h + h}, false);
    return;
  }
  DrawComposed(c, r, stretched);
}

void TGIFImage::Paint(Canvas& canvas, const Rect&) {
  targetBits_ = canvas.BitsPerPixel();  // the device's, not the buffer's
  // A device of 256 colours or fewer shows the GIF in its own colours.
  if (targetBits_ <= 8 && image_ && !graphic_ && !palette_.empty()) canvas.SelectPalette(palette_);
  const int w = Width(), h = Height();
  if (!doubleBuffered_ || w <= 0 || h <= 0) {
    PaintImage(canvas);
  } else {
    // Composed off-screen on a copy of what lies beneath, then copied out
    // in one step: the mask and image steps never show.
    if (!buffer_ || buffer_->Width() != w || buffer_->Height() != h)
      buffer_ = std::make_unique<Bitmap>(w, h);
    Canvas& b = buffer_->GetCanvas();
    b.BitBlt({0, 0, w, h}, canvas, {0, 0}, SRCCOPY);
    PaintImage(b);
    canvas.BitBlt({0, 0, w, h}, b, {0, 0}, SRCCOPY);
  }
  if (Designing()) {
    // The control's outline, so that an empty one can be found on its form.
    CanvasSaver keep(canvas);
    canvas.Pen().SetColor(clBtnShadow);
    canvas.Pen().SetStyle(PenStyle::Dash);
    canvas.Brush().SetStyle(BrushStyle::Clear);
    canvas.Rectangle(ClientRect());
  }
}

bool TGIFImage::HitTest(Point p) const {
  if (graphic_ || !image_ || !mask_) return true;
  bool stretched;
  const Rect r = ImageRect(&stretched);
  if (stretched || tile_) return true;
  return r.Contains(p) && player_.OpaqueAt(p.X - r.Left, p.Y - r.Top);
}
