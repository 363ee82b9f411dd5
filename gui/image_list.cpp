#include "gui/image_list.h"

#include <algorithm>

namespace gui {

ImageList::ImageList(Component* owner, int width, int height)
    : Component(owner), width_(std::max(1, width)), height_(std::max(1, height)) {}

ImageList::~ImageList() = default;

void ImageList::Changed() {
  native_.reset();
  // A snapshot: a link may remove itself while it is told.
  auto links = links_;
  for (auto& l : links) l.second(*this);
}

void ImageList::SetSize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  images_.clear();
  Changed();
}

ImageList::Entry ImageList::MakeEntry(const Bitmap& image, int sx, const Bitmap* mask) const {
  Entry e;
  e.image = std::make_unique<Bitmap>(width_, height_, PixelFormat::Bits24);
  if (mask) {
    e.mask = std::make_unique<Bitmap>(width_, height_, PixelFormat::Mono);
    e.mask->Fill(clWhite);  // outside the given image: transparent
  }
  for (int y = 0; y < height_ && y < image.Height(); ++y)
    for (int x = 0; x < width_ && sx + x < image.Width(); ++x) {
      e.image->SetPixel(x, y, image.Pixel(sx + x, y));
      if (mask) e.mask->SetPixel(x, y, mask->Pixel(sx + x, y));
    }
  return e;
}

int ImageList::Add(const Bitmap& image, const Bitmap* mask) {
  if (image.Empty()) return -1;
  const int first = Count();
  const int n = std::max(1, image.Width() / width_);
  for (int i = 0; i < n; ++i) images_.push_back(MakeEntry(image, i * width_, mask));
  Changed();
  return first;
}

int ImageList::AddMasked(const Bitmap& image, Color key) {
  if (image.Empty()) return -1;
  Bitmap mask;
  mask.MakeMask(image, key == clDefault ? image.Pixel(0, image.Height() - 1) : key);
  return Add(image, masked_ ? &mask : nullptr);
}

int ImageList::AddIcon(const Icon& icon) {
  if (icon.Empty()) return -1;
  Entry e;
  e.icon = &icon;
  images_.push_back(std::move(e));
  Changed();
  return Count() - 1;
}

void ImageList::Replace(int index, const Bitmap& image, const Bitmap* mask) {
  if (index < 0 || index >= Count()) return;
  images_[size_t(index)] = MakeEntry(image, 0, mask);
  Changed();
}

void ImageList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  images_.erase(images_.begin() + index);
  Changed();
}

void ImageList::Clear() {
  if (images_.empty()) return;
  images_.clear();
  Changed();
}

void ImageList::Draw(Canvas& c, int x, int y, int index, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const Entry& e = images_[size_t(index)];
  if (e.icon) {
    c.DrawIcon(x, y, *e.icon, width_, height_);
    return;
  }
  if (!enabled) {
    // The image's shape in the shadow colour.
    Bitmap shape(width_, height_, PixelFormat::Bits24);
    shape.Fill(clBtnShadow);
    Bitmap mask;
    if (e.mask) {
      mask.Assign(*e.mask);
    } else {
      mask.SetFormat(PixelFormat::Mono);
      mask.SetSize(width_, height_);
    }
    c.DrawMasked(x, y, shape, mask);
    return;
  }
  if (e.mask)
    c.DrawMasked(x, y, *e.image, *e.mask);
  else
    c.Draw(x, y, *e.image);
}

bool ImageList::GetBitmap(int index, Bitmap& out) const {
  out.SetFormat(PixelFormat::Bits24);
  out.SetSize(width_, height_);
  out.Fill(clBlack);
  if (index < 0 || index >= Count() || images_[size_t(index)].icon) return false;
  const Entry& e = images_[size_t(index)];
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (!e.mask || e.mask->Pixel(x, y) == clBlack) out.SetPixel(x, y, e.image->Pixel(x, y));
  return true;
}

bool ImageList::GetMask(int index, Bitmap& out) const {
  out.SetFormat(PixelFormat::Mono);
  out.SetSize(width_, height_);
  out.Fill(clBlack);
  if (index < 0 || index >= Count()) return false;
  if (const Bitmap* m = images_[size_t(index)].mask.get()) out.Assign(*m);
  return true;
}

const Bitmap* ImageList::ImageAt(int index) const {
  return index >= 0 && index < Count() ? images_[size_t(index)].image.get() : nullptr;
}

const Bitmap* ImageList::MaskAt(int index) const {
  return index >= 0 && index < Count() ? images_[size_t(index)].mask.get() : nullptr;
}

const Icon* ImageList::IconAt(int index) const {
  return index >= 0 && index < Count() ? images_[size_t(index)].icon : nullptr;
}

int ImageList::AddChangeLink(std::function<void(ImageList&)> fn) {
  links_.emplace_back(nextLink_, std::move(fn));
  return nextLink_++;
}

void ImageList::RemoveChangeLink(int id) {
  links_.erase(std::remove_if(links_.begin(), links_.end(), [id](auto& l) { return l.first == id; }),
               links_.end());
}

uintptr_t ImageList::Handle() const {
  if (!native_) native_ = Graphics().RealizeImageList(*this);
  return native_ ? native_->Handle() : 0;
}

}  // namespace gui
