#include "app/file_exists_form.h"

#include "app/language.h"
#include "app/view_parts.h"

namespace {

constexpr const char* kSection = "FileExists";

}  // namespace

TFileExistsForm::TFileExistsForm(gui::Component* owner, const std::string& path)
    : gui::Form(owner, "TFileExistsForm") {
  SetCaption(LangText(kSection, "00000", "File exists"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetCenterOnScreen(true);
  SetBounds(0, 0, 420, 140);
  auto* text = view::AddLabel(this, LangText(kSection, "00001", "This file exists already:"), 12, 12, 390);
  text->SetHeight(15);
  auto* name = view::AddLabel(this, path, 12, 30, 390);
  name->SetHeight(30);
  const char* captions[4][2] = {{"00002", "&Overwrite"}, {"00003", "&Resume"}, {"00004", "Re&name"}, {"00005", "Cancel"}};
  for (int i = 0; i < 4; ++i) {
    buttons_[i] = view::AddButton(this, LangText(kSection, captions[i][0], captions[i][1]), 12 + i * 98, 72, 90, [] {});
    buttons_[i]->SetModalResult(100 + i);
  }
  buttons_[int(TFileExistsChoice::Resume)]->SetDefault(true);
  buttons_[int(TFileExistsChoice::Cancel)]->SetCancel(true);
}

TFileExistsChoice TFileExistsForm::Ask() {
  const int r = ShowModal();
  return r >= 100 && r < 104 ? TFileExistsChoice(r - 100) : TFileExistsChoice::Cancel;
}
