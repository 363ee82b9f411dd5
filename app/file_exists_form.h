// The question a download asks when its local file exists already:
// overwrite it, resume it (the transfer goes on from its end), give the
// new file another name, or leave it.
#pragma once
#include <string>

#include "gui/form.h"
#include "gui/win32/std_controls.h"

enum class TFileExistsChoice { Overwrite, Resume, Rename, Cancel };

class TFileExistsForm : public gui::Form {
 public:
  explicit TFileExistsForm(gui::Component* owner, const std::string& path);
  // Shows the question modally; Cancel when it is closed.
  TFileExistsChoice Ask();
  gui::Button* ButtonFor(TFileExistsChoice c) const { return buttons_[int(c)]; }

 private:
  gui::Button* buttons_[4];
};

