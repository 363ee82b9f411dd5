#include "app/view_parts.h"

#include <shlobj.h>

#include "gui/win_names.h"

#include <algorithm>

#include "controls/win32/browse_directory.h"
#include "core/globals.h"
#include "gui/application.h"
#include "gui/bitmap.h"
#include "gui/services.h"
#include "gui/text_measurer.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/files.h"

namespace view {

void PlaceLast(gui::Control* c, gui::AlignMode align, int size) {
  // Controls of one alignment stack in the order of their positions.
  const int kFar = 1 << 15;
  c->SetBounds(0, align == gui::alTop ? kFar : align == gui::alBottom ? -kFar - size : 0, size, size);
  c->SetAlign(align);
}

namespace {

TMessageShower& Shower() {
  static TMessageShower shower;
  return shower;
}

}  // namespace

void ShowMessage(const std::string& text) {
  if (Shower())
    Shower()(text);
  else
    gui::App().MessageBox(text, "Tarnwick", 0x30 /* MB_ICONWARNING */);
}

TMessageShower SetMessageShower(TMessageShower shower) {
  std::swap(Shower(), shower);
  return shower;
}

gui::Panel* Strip(gui::Control* parent, gui::AlignMode align, int size) {
  auto* p = new gui::Panel(parent);
  p->SetBevel(gui::Panel::Bevel::None);
  PlaceLast(p, align, size);
  p->SetParent(parent);
  return p;
}

gui::Button* AddButton(gui::Control* parent, const std::string& caption, int left, int top, int width,
                       std::function<void()> onClick) {
  auto* b = new gui::Button(parent);
  b->SetCaption(caption);
  b->SetBounds(left, top, width, 23);
  b->OnClick = [onClick = std::move(onClick)](gui::Control*) { onClick(); };
  b->SetParent(parent);
  return b;
}

gui::Label* AddLabel(gui::Control* parent, const std::string& caption, int left, int top, int width) {
  auto* l = new gui::Label(parent);
  l->SetCaption(caption);
  l->SetBounds(left, top, width, 15);
  l->SetParent(parent);
  return l;
}

gui::Label* AddText(gui::Control* parent, const std::string& caption, int left, int top, int width, int lines) {
  gui::Label* l = AddLabel(parent, caption, left, top, width);
  const gui::TextMeasurer& m = gui::Service<gui::TextMeasurer>::Get();
  const int needed = gui::LayoutText(m, l->Font(), caption, gui::Rect{0, 0, width, 1 << 20},
                                     DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT)
                         .Height;
  l->SetHeight(std::max({needed, lines * m.LineHeight(l->Font()), 15}));
  return l;
}

namespace {

class PathLabel : public gui::Label {
 public:
  explicit PathLabel(gui::Component* owner) : gui::Label(owner) { SetStyleBit(SS_PATHELLIPSIS, true); }
};

}  // namespace

gui::Label* AddPathLabel(gui::Control* parent, int left, int top, int width) {
  auto* l = new PathLabel(parent);
  l->SetBounds(left, top, width, 15);
  l->SetParent(parent);
  return l;
}

int Bottom(const gui::Control* c) { return c->Top() + c->Height(); }

namespace {

class MaskedEdit : public gui::Edit {
 public:
  explicit MaskedEdit(gui::Component* owner) : gui::Edit(owner) { SetStyleBit(ES_PASSWORD, true); }
};

}  // namespace

gui::Edit* AddEdit(gui::Control* parent, int left, int top, int width, bool masked) {
  gui::Edit* e = masked ? new MaskedEdit(parent) : new gui::Edit(parent);
  e->SetBounds(left, top, width, 21);
  e->SetParent(parent);
  return e;
}

gui::Edit* LabelledEdit(gui::Control* parent, const std::string& caption, int left, int top, int labelWidth,
                        int width, bool masked) {
  AddLabel(parent, caption, left, top + 4, labelWidth);
  return AddEdit(parent, left + labelWidth, top, width, masked);
}

bool ChooseFolder(gui::Component* owner, const std::string& start, std::string& chosen) {
  TBrowseDirectory browse(owner);
  browse.SetsDirectory(start);
  if (!browse.Execute()) return false;
  chosen = browse.sDirectory();
  return true;
}

gui::Button* AddBrowseButton(gui::Component* owner, gui::Control* parent, const std::string& caption, int left,
                             int top, gui::Edit* edit) {
  return AddButton(parent, caption, left, top, 86, [owner, edit] {
    std::string chosen;
    if (ChooseFolder(owner, edit->GetText(), chosen)) edit->SetText(chosen);
  });
}

namespace {

constexpr int kLastLinkType = 10;

std::string DocumentsFolder() {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path)) ? path : "";
}

}  // namespace

bool ChooseFile(const std::string& title, std::string& chosen) {
  static std::string lastFolder;  // for the program's run
  gui::FileDialog d;
  d.Title = title;
  d.Filter = "All files|*.*";
  d.InitialDir = lastFolder.empty() ? DocumentsFolder() : lastFolder;
  if (!d.Execute(false)) return false;
  chosen = d.FileName;
  lastFolder = plat::ExtractFilePath(chosen);
  return true;
}

gui::ComboBox* AddLinkTypeCombo(gui::Component* owner, gui::Control* parent, int left, int top) {
  auto* c = new gui::ComboBox(owner);
  c->SetBounds(left, top, 150, 200);
  c->SetParent(parent);
  for (int i = 0; i <= kLastLinkType; ++i) c->AddItem(LinkSpeedToText(i));
  return c;
}

void SelectLinkType(gui::ComboBox* combo, int code) { combo->SetItemIndex(std::clamp(code, 0, kLastLinkType)); }

gui::ImageList* ButtonPictures(gui::Component* owner) {
  auto* images = new gui::ImageList(owner, 24, 24);
  gui::Bitmap strip;
  if (strip.LoadFromResourceName("MAINBUTTONS")) images->AddMasked(strip, gui::MakeRGB(255, 0, 255));
  return images;
}

std::string ShownName(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ShownNick(const std::string& nick) {
  std::string host, index;
  return GnutellaSource(nick, host, index) ? "Gnutella " + host : nick;
}

std::string RateText(int64_t bytesPerSecond) {
  return bytesPerSecond > 0 ? FormatByteSize(bytesPerSecond) + "/s" : std::string();
}

}  // namespace view
