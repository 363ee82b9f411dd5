// An image list whose images are addressed by name and shared by use
// count. A name is a .bmp or .ico file's path or "RESOURCE://<icon handle
// in decimal>" (an icon the caller owns); its key is the name trimmed and
// upper-cased. Adding a name again counts one more use; the image goes
// when its last use is released, later images move down one index and
// OnIndexChange tells the holders of indexes.
//
// Every named image is exactly one image of the list, whatever the size
// of the picture it was made from (a picture is cut or padded to the
// list's size), so names and indexes never share or leave behind an image.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/image_list.h"

class TManagedImageList;
using TManagedImageListOnIndexChange = std::function<void(TManagedImageList* Sender, int iPosition)>;

class TManagedImageList : public gui::ImageList {
 public:
  explicit TManagedImageList(gui::Component* owner = nullptr, int width = 16, int height = 16);

  // The image index of the name, or -1 when nothing could be loaded (a
  // missing file, another extension, a file that is not a picture).
  int AddImage(const std::string& name);
  // Releases one use of the name's image; an unknown name does nothing.
  void RemoveImage(const std::string& name);
  // Releases one use of the named image at index; an index no name holds
  // does nothing.
  void ReleaseImage(int index);

  TManagedImageListOnIndexChange OnIndexChange;
  // The number of named images.
  int iCount() const { return int(entries_.size()); }
  // The use count and image index of a name (0 and -1: not listed).
  int UseCount(const std::string& name) const;
  int IndexOf(const std::string& name) const;

 private:
  struct Entry {
    std::string key;
    int uses;
    int index;
  };
  // The entry of the name's key (-1: none).
  int Find(const std::string& name) const;
  int Load(const std::string& name, const std::string& key);
  int AddSized(const gui::Bitmap& picture, gui::Color transparent);

  std::vector<Entry> entries_;
};
