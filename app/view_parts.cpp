#include "app/view_parts.h"

#include <algorithm>

#include "controls/win32/browse_directory.h"
#include "core/globals.h"
#include "peer/napster_helpers.h"
#include "peer/text_command.h"

namespace view {

void PlaceLast(gui::Control* c, gui::AlignMode align, int size) {
  // Controls of one alignment stack in the order of their positions.
  const int kFar = 1 << 15;
  c->SetBounds(0, align == gui::alTop ? kFar : align == gui::alBottom ? -kFar - size : 0, size, size);
  c->SetAlign(align);
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

gui::Edit* AddEdit(gui::Control* parent, int left, int top, int width) {
  auto* e = new gui::Edit(parent);
  e->SetBounds(left, top, width, 21);
  e->SetParent(parent);
  return e;
}

gui::Edit* LabelledEdit(gui::Control* parent, const std::string& caption, int left, int top, int labelWidth,
                        int width) {
  AddLabel(parent, caption, left, top + 4, labelWidth);
  return AddEdit(parent, left + labelWidth, top, width);
}

gui::Button* AddBrowseButton(gui::Component* owner, gui::Control* parent, const std::string& caption, int left,
                             int top, gui::Edit* edit) {
  return AddButton(parent, caption, left, top, 86, [owner, edit] {
    TBrowseDirectory browse(owner);
    browse.SetsDirectory(edit->GetText());
    if (browse.Execute()) edit->SetText(browse.sDirectory());
  });
}

namespace {
constexpr int kLastLinkType = 10;
}

gui::ComboBox* AddLinkTypeCombo(gui::Component* owner, gui::Control* parent, int left, int top) {
  auto* c = new gui::ComboBox(owner);
  c->SetBounds(left, top, 150, 200);
  c->SetParent(parent);
  for (int i = 0; i <= kLastLinkType; ++i) c->AddItem(LinkSpeedToText(i));
  return c;
}

void SelectLinkType(gui::ComboBox* combo, int code) { combo->SetItemIndex(std::clamp(code, 0, kLastLinkType)); }

TGridTreeList* AddGrid(gui::Control* parent, const std::vector<Column>& columns) {
  auto* g = new TGridTreeList(parent);
  g->SetOptions(g->Options().With(aoRowSelect).With(aoMultiSelect).With(aoColumnSizing).With(aoDrawEndEllipsis));
  g->SetShowRoot(false);
  g->SetShowLines(false);
  g->SetShowButtons(false);
  g->SetShowIndicator(false);
  for (const Column& c : columns) {
    TGridTreeListColumn* col = g->CreateColumn();
    col->SetCaption(c.Caption);
    col->SetWidth(c.Width);
    if (c.Right) col->SetAlignment(taRightJustify);
  }
  g->SetAlign(gui::alClient);
  g->SetParent(parent);
  return g;
}

TGridTreeListNode* CurrentRow(TGridTreeList* grid) {
  return grid->SelectedCount() > 0 ? grid->SelectedNodes(0) : grid->FocusedNode();
}

std::vector<TGridTreeListNode*> ChosenRows(TGridTreeList* grid) {
  std::vector<TGridTreeListNode*> rows;
  for (int i = 0; i < grid->SelectedCount(); ++i) rows.push_back(grid->SelectedNodes(i));
  if (rows.empty() && grid->FocusedNode()) rows.push_back(grid->FocusedNode());
  return rows;
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
