// A list of images of one size: add, replace, delete, draw by index (an
// index out of range draws nothing), copy one image into a bitmap. Images
// may have a mask (1 = transparent). Change links tell users of the list
// that its images changed; free notification tells them it is going away.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "gui/bitmap.h"
#include "gui/component.h"
#include "gui/graphics_backend.h"

namespace gui {

class ImageList : public Component {
 public:
  explicit ImageList(Component* owner = nullptr, int width = 16, int height = 16);
  ~ImageList() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return int(images_.size()); }
  // A new size clears the list.
  void SetSize(int width, int height);
  // Whether AddMasked and transparent drawing use masks (true by default).
  bool Masked() const { return masked_; }
  void SetMasked(bool m) { masked_ = m; }

  // Adds image (and its mask, monochrome, same size): an image wider than
  // Width() is cut into as many images as fit; a narrower or lower one is
  // placed at the top left of a blank image. Returns the first new index,
  // -1 when nothing was added.
  int Add(const Bitmap& image, const Bitmap* mask = nullptr);
  // The mask is made from key (clDefault: the image's bottom-left pixel).
  int AddMasked(const Bitmap& image, Color key);
  // The icon's handle is shared with the caller's icon object, which must
  // outlive the list entry.
  int AddIcon(const Icon& icon);
  void Replace(int index, const Bitmap& image, const Bitmap* mask = nullptr);
  // Deletes one image; later images move down one index.
  void Delete(int index);
  void Clear();

  // Draws image index at (x, y) (masked when it has a mask); disabled: in
  // the shadow colour where the image is not transparent. Out of range:
  // nothing.
  void Draw(Canvas& c, int x, int y, int index, bool enabled = true) const;
  // Copies image index into out (resized to the list's size, 24-bit, the
  // transparent pixels black). Out of range: out is blank (Width x Height,
  // all black) and the answer is false.
  bool GetBitmap(int index, Bitmap& out) const;
  // The mask of image index (monochrome; all 0 when it has none).
  bool GetMask(int index, Bitmap& out) const;

  // The stored image, mask (nullptr: opaque) and icon of index (nullptr
  // out of range or when the entry is of the other kind).
  const Bitmap* ImageAt(int index) const;
  const Bitmap* MaskAt(int index) const;
  const Icon* IconAt(int index) const;

  // Change links: fn is called after every change of the images.
  int AddChangeLink(std::function<void(ImageList&)> fn);
  void RemoveChangeLink(int id);

  // The window system's image list, made on first use after each change (0
  // when the backend has none).
  uintptr_t Handle() const;

 private:
  struct Entry {
    std::unique_ptr<Bitmap> image;
    std::unique_ptr<Bitmap> mask;  // null: opaque
    const Icon* icon = nullptr;
  };
  Entry MakeEntry(const Bitmap& image, int sx, const Bitmap* mask) const;
  void Changed();
  int width_;
  int height_;
  bool masked_ = true;
  std::vector<Entry> images_;
  std::vector<std::pair<int, std::function<void(ImageList&)>>> links_;
  int nextLink_ = 1;
  mutable std::unique_ptr<NativeImageList> native_;
};

}  // namespace gui
