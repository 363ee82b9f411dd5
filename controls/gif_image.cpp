#include "controls/gif_image.h"

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
    if (OnProgress) OnProgress(this, done, total, percent, keep);
  };
}

TGIFImage::~TGIFImage() { *alive_ = false; }

bool TGIFImage::Fire(const TGIFImageEvent& e) {
  if (!e) return true;
  const TGIFImageEvent call = e;  // the handler may free the control, e with it
  const std::shared_ptr<bool> alive = alive_;
  call(this);
  return *alive;
}

void TGIFImage::Store(bool& field, bool v) {
  if (field == v) return;
  field = v;
  Invalidate();
}

// ---------------------------------------------------------------- content

void TGIFImage::LoadFromStream(plat::Stream& s) {
  graphic_.reset();
  const std::shared_ptr<bool> alive = alive_;
  const int error = player_.LoadFromStream(s);  // shows frame 1 on success
  if (!*alive) return;
  if (error != kGIFErrorNone) {
    Composed();  // nothing left to show
    throw Abort();
  }
  AdjustSize();
  Invalidate();
}

void TGIFImage::Clear() {
  player_.Clear();
  graphic_.reset();
  Composed();
}

void TGIFImage::SetGraphic(const Bitmap* picture) {
  player_.Clear();
  Composed();
  graphic_.reset();
  if (picture) {
    graphic_ = std::make_unique<Bitmap>();
    graphic_->Assign(*picture);
    AdjustSize();
  }
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
// the mask's transparent pixels are its 1 (white) bits.
void TGIFImage::Composed() {
  const int w = player_.ScreenWidth(), h = player_.ScreenHeight();
  if (player_.Empty() || w <= 0 || h <= 0) {
    image_.reset();
    mask_.reset();
    Invalidate();
    return;
  }
  if (!image_ || image_->Width() != w || image_->Height() != h)
    image_ = std::make_unique<Bitmap>(w, h, PixelFormat::Bits32);
  const std::vector<uint32_t>& img = player_.Image();
  for (int y = 0; y < h; ++y)
    std::memcpy(image_->Row(y), img.data() + size_t(y) * size_t(w), size_t(w) * 4);
  if (!player_.HasMask()) {
    mask_.reset();
  } else {
    if (!mask_ || mask_->Width() != w || mask_->Height() != h)
      mask_ = std::make_unique<Bitmap>(w, h, PixelFormat::Mono);
    const std::vector<uint8_t>& msk = player_.Mask();
    for (int y = 0; y < h; ++y) {
      uint8_t* row = mask_->Row(y);
      std::memset(row, 0, size_t(mask_->Stride()));
      const uint8_t* src = msk.data() + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x)
        if (src[x]) row[x / 8] = uint8_t(row[x / 8] | (0x80 >> (x % 8)));
    }
  }
  Invalidate();
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
  if (!mask_) {
    copy(*image_, SRCCOPY, COLORONCOLOR);
    return;
  }
  // The mask's 0 bits (opaque) become black, its 1 bits white: AND clears
  // where the image goes, and XOR puts the image there (it is black where
  // transparent, leaving what lies beneath).
  c.SetTextColor(clBlack);
  c.SetBkColor(clWhite);
  copy(*mask_, SRCAND, BLACKONWHITE);
  copy(*image_, SRCINVERT, COLORONCOLOR);
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
  const int w = Width(), h = Height();
  if (!doubleBuffered_ || w <= 0 || h <= 0) {
    PaintImage(canvas);
    return;
  }
  // Composed off-screen on a copy of what lies beneath, then copied out
  // in one step: the mask and image steps never show.
  if (!buffer_ || buffer_->Width() != w || buffer_->Height() != h)
    buffer_ = std::make_unique<Bitmap>(w, h);
  Canvas& b = buffer_->GetCanvas();
  b.BitBlt({0, 0, w, h}, canvas, {0, 0}, SRCCOPY);
  PaintImage(b);
  canvas.BitBlt({0, 0, w, h}, b, {0, 0}, SRCCOPY);
}

bool TGIFImage::HitTest(Point p) const {
  if (graphic_ || !image_ || !mask_) return true;
  bool stretched;
  const Rect r = ImageRect(&stretched);
  if (stretched || tile_) return true;
  return r.Contains(p) && player_.OpaqueAt(p.X - r.Left, p.Y - r.Top);
}
