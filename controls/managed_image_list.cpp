#include "controls/managed_image_list.h"

#include <algorithm>
#include <cstdint>

#include "core/global_functions.h"
#include "platform/files.h"
#include "platform/text.h"

using namespace gui;

namespace {

std::string KeyOf(const std::string& name) { return plat::UpperCase(plat::Trim(name)); }

// The colour an icon is drawn on, left out as its transparent part.
constexpr Color kIconPaper = MakeRGB(255, 0, 255);

}  // namespace

TManagedImageList::TManagedImageList(Component* owner, int width, int height)
    : ImageList(owner, width, height) {}

int TManagedImageList::AddImage(const std::string& name) {
  if (const int at = Find(name); at >= 0) {
    ++entries_[size_t(at)].uses;
    return entries_[size_t(at)].index;
  }
  const std::string key = KeyOf(name);
  const int before = Count();
  int index = -1;
  try {
    index = Load(name, key);
  } catch (...) {
    index = -1;  // a picture that could not be read is no picture
  }
  if (index < 0 || Count() != before + 1) {
    while (Count() > before) Delete(Count() - 1);
    return -1;
  }
  entries_.push_back({key, 1, index});
  return index;
}

int TManagedImageList::Load(const std::string& name, const std::string& key) {
  if (key.find("RESOURCE://") != std::string::npos) {
    const int64_t number = DigitsToInt64(name.size() > 11 ? std::string_view(name).substr(11) : "");
    // A number wider than a handle names no icon: it draws nothing.
    const uintptr_t handle =
        number > 0 && uint64_t(number) <= uint64_t(UINTPTR_MAX) ? uintptr_t(number) : 0;
    Bitmap picture(Width(), Height());
    if (handle) {
      Icon icon;  // the handle stays the caller's
      icon.SetHandle(handle, Width(), Height(), false);
      picture.GetCanvas().DrawIcon(0, 0, icon, Width(), Height());
    }
    return Add(picture);
  }
  const std::string path = plat::Trim(name);
  if (!plat::FileExists(path)) return -1;
  const std::string ext = plat::ExtractFileExt(key);
  if (ext == ".BMP") {
    Bitmap picture;
    if (!picture.LoadFromFile(path)) return -1;
    return AddSized(picture, picture.TransparentColor());
  }
  if (ext == ".ICO") {
    Icon icon;
    if (!icon.LoadFromFile(path)) return -1;
    // Drawn at the list's size on a paper colour that is then left out:
    // the list holds a picture it can copy out, not the icon object.
    Bitmap picture(Width(), Height());
    picture.Fill(kIconPaper);
    picture.GetCanvas().DrawIcon(0, 0, icon, Width(), Height());
    return AddMasked(picture, kIconPaper);
  }
  return -1;
}

int TManagedImageList::AddSized(const Bitmap& picture, Color transparent) {
  // Exactly one image: the picture's top-left part at the list's size, the
  // rest in its transparent colour.
  Bitmap sized(Width(), Height());
  sized.Fill(transparent);
  for (int y = 0; y < std::min(Height(), picture.Height()); ++y)
    for (int x = 0; x < std::min(Width(), picture.Width()); ++x) sized.SetPixel(x, y, picture.Pixel(x, y));
  return AddMasked(sized, transparent);
}

void TManagedImageList::RemoveImage(const std::string& name) {
  if (const int at = Find(name); at >= 0) ReleaseImage(entries_[size_t(at)].index);
}

void TManagedImageList::ReleaseImage(int index) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [index](const Entry& e) { return e.index == index; });
  if (it == entries_.end() || --it->uses > 0) return;
  entries_.erase(it);
  Delete(index);
  for (Entry& e : entries_)
    if (e.index > index) --e.index;
  if (OnIndexChange) OnIndexChange(this, index);
}

int TManagedImageList::Find(const std::string& name) const {
  const std::string key = KeyOf(name);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].key == key) return int(i);
  return -1;
}

int TManagedImageList::UseCount(const std::string& name) const {
  const int at = Find(name);
  return at < 0 ? 0 : entries_[size_t(at)].uses;
}

int TManagedImageList::IndexOf(const std::string& name) const {
  const int at = Find(name);
  return at < 0 ? -1 : entries_[size_t(at)].index;
}
