#include "treelist/grid_edit_style.h"

#include <algorithm>

// ---------------------------------------------------------------- unit state

namespace {

// The seven values of from (as it resolves them) through the setters of to.
template <class To, class From>
void CopyValues(To& to, const From& from) {
  to.SetBorderColor(from.BorderColor());
  to.SetBorderStyle(from.BorderStyle());
  to.SetButtonStyle(from.ButtonStyle());
  to.SetButtonTransparence(from.ButtonTransparence());
  to.SetEdges(from.Edges());
  to.SetHotTrack(from.HotTrack());
  to.SetShadow(from.Shadow());
}

struct EditStylesUnit {
  int uses = 0;
  TGridEditStyleController* defaultController = nullptr;
  gui::Brush* shadowBrush = nullptr;
};

EditStylesUnit& Unit() {
  static EditStylesUnit unit;
  return unit;
}

}  // namespace

void InitGridEditStyles() {
  EditStylesUnit& u = Unit();
  if (u.uses++ > 0) return;
  u.defaultController = new TGridEditStyleController(nullptr);
  u.shadowBrush = new gui::Brush;
  u.shadowBrush->SetColor(gui::clBtnShadow);
}

void FinalizeGridEditStyles() {
  EditStylesUnit& u = Unit();
  if (u.uses == 0 || --u.uses > 0) return;
  // Cleared before it is freed: an editor that goes later finds no default
  // controller instead of a freed one.
  TGridEditStyleController* c = std::exchange(u.defaultController, nullptr);
  delete c;
  delete std::exchange(u.shadowBrush, nullptr);
}

TGridEditStyleController* GridDefaultStyleController() { return Unit().defaultController; }

const gui::Brush& GridEditShadowBrush() {
  static const gui::Brush fallback;  // outside initialisation: never drawn with
  return Unit().shadowBrush ? *Unit().shadowBrush : fallback;
}

// ---------------------------------------------------------------- TGridStyleController

TGridStyleController::TGridStyleController(gui::Component* owner) : gui::Component(owner) {}

TGridStyleController::~TGridStyleController() {
  // Styles that linked their editors here must not unlink from a freed
  // controller later.
  for (TGridStyledEditor* e : std::vector<TGridStyledEditor*>(editors_))
    if (TGridEditStyle* s = e->GetEditStyle()) s->ControllerDestroyed(this);
}

void TGridStyleController::AddEditor(TGridStyledEditor* editor) {
  if (editor) editors_.push_back(editor);
}

void TGridStyleController::RemoveEditor(TGridStyledEditor* editor) {
  auto it = std::find(editors_.begin(), editors_.end(), editor);
  if (it != editors_.end()) editors_.erase(it);
}

void TGridStyleController::EditorChanged(TGridStyledEditor* editor) {
  if (OnStyleChanged) OnStyleChanged(this, editor);
}

void TGridStyleController::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

bool TGridStyleController::IsLinked(const TGridStyledEditor* editor) const {
  return std::find(editors_.begin(), editors_.end(), editor) != editors_.end();
}

void TGridStyleController::Changed() {
  if (updateCount_ != 0 || Loading()) return;
  const std::vector<TGridStyledEditor*> snapshot = editors_;
  std::vector<TGridStyledEditor*> done;
  for (TGridStyledEditor* e : snapshot) {
    if (std::find(done.begin(), done.end(), e) != done.end()) continue;
    if (!IsLinked(e)) continue;  // unlinked (or freed) by an earlier handler
    done.push_back(e);
    EditorChanged(e);
  }
}

void TGridStyleController::Loaded() {
  gui::Component::Loaded();
  Changed();
}

// ---------------------------------------------------------------- TGridEditStyleController

TGridEditStyleController::TGridEditStyleController(gui::Component* owner)
    : TGridStyleController(owner) {}

template <class T>
void TGridEditStyleController::Set(T& field, T value) {
  if (field == value) return;
  field = value;
  Changed();
}

void TGridEditStyleController::SetBorderColor(gui::Color v) { Set(borderColor_, v); }
void TGridEditStyleController::SetBorderStyle(TGridEditBorderStyle v) { Set(borderStyle_, v); }
void TGridEditStyleController::SetButtonStyle(TGridEditButtonViewStyle v) { Set(buttonStyle_, v); }
void TGridEditStyleController::SetButtonTransparence(TGridEditButtonTransparence v) {
  Set(buttonTransparence_, v);
}
void TGridEditStyleController::SetEdges(TGridEditEdges v) { Set(edges_, TGridEditEdges(v & kGridEditAllEdges)); }
void TGridEditStyleController::SetHotTrack(bool v) { Set(hotTrack_, v); }
void TGridEditStyleController::SetShadow(bool v) { Set(shadow_, v); }

void TGridEditStyleController::Assign(const TGridEditStyleController& source) {
  if (&source == this) return;
  BeginUpdate();
  CopyValues(*this, source);
  EndUpdate();
}

void TGridEditStyleController::RestoreDefaults() {
  BeginUpdate();
  SetBorderColor(kGridEditDefaultBorderColor);
  SetBorderStyle(kGridEditDefaultBorderStyle);
  SetButtonStyle(kGridEditDefaultButtonStyle);
  SetButtonTransparence(kGridEditDefaultButtonTransparence);
  SetEdges(kGridEditDefaultEdges);
  SetHotTrack(false);
  SetShadow(false);
  EndUpdate();
}

void TGridEditStyleController::EditorChanged(TGridStyledEditor* editor) {
  TGridEditStyleController* own = editor->GetStyleController();
  if (own && own != this) return;
  editor->StyleChanged();
  TGridStyleController::EditorChanged(editor);
}

// ---------------------------------------------------------------- TGridEditStyle

TGridEditStyle::TGridEditStyle(TGridStyledEditor* editor) : editor_(editor) {}

void TGridEditStyle::Init() {
  if (initialised_) return;
  initialised_ = true;
  if (!editor_) return;
  if (TGridEditStyleController* c = GetDefaultStyleController()) {
    c->AddEditor(editor_);
    linked_ = c;
  }
}

TGridEditStyle::~TGridEditStyle() {
  // The link made by Init is undone on the same controller, whichever
  // controller the default is now.
  if (linked_) linked_->RemoveEditor(editor_);
}

void TGridEditStyle::ControllerDestroyed(TGridStyleController* c) {
  if (linked_ == c) linked_ = nullptr;
}

void TGridEditStyle::SetAssignedValues(TGridEditStyleValues v) {
  v &= 0x7F;
  if (v == assigned_) return;
  assigned_ = v;
  Changed();
}

void TGridEditStyle::Changed() {
  if (editor_) editor_->StyleChanged();
}

TGridEditStyleController* TGridEditStyle::GetDefaultStyleController() const {
  return GridDefaultStyleController();
}

const TGridEditStyleController* TGridEditStyle::FallBack() const {
  if (editor_)
    if (const TGridEditStyleController* own = editor_->GetStyleController()) return own;
  return GetDefaultStyleController();
}

template <class T>
T TGridEditStyle::Resolve(T (TGridEditStyleController::*value)() const, T fixed) const {
  const TGridEditStyleController* c = FallBack();
  return c ? (c->*value)() : fixed;
}

gui::Color TGridEditStyle::GetDefaultBorderColor() const {
  return Resolve(&TGridEditStyleController::BorderColor, kGridEditDefaultBorderColor);
}
TGridEditBorderStyle TGridEditStyle::GetDefaultBorderStyle() const {
  return Resolve(&TGridEditStyleController::BorderStyle, kGridEditDefaultBorderStyle);
}
TGridEditButtonViewStyle TGridEditStyle::GetDefaultButtonStyle() const {
  return Resolve(&TGridEditStyleController::ButtonStyle, kGridEditDefaultButtonStyle);
}
TGridEditButtonTransparence TGridEditStyle::GetDefaultButtonTransparence() const {
  return Resolve(&TGridEditStyleController::ButtonTransparence, kGridEditDefaultButtonTransparence);
}
TGridEditEdges TGridEditStyle::GetDefaultEdges() const {
  return Resolve(&TGridEditStyleController::Edges, kGridEditDefaultEdges);
}
bool TGridEditStyle::GetDefaultHotTrack() const {
  return Resolve(&TGridEditStyleController::HotTrack, false);
}
bool TGridEditStyle::GetDefaultShadow() const { return Resolve(&TGridEditStyleController::Shadow, false); }

gui::Color TGridEditStyle::BorderColor() const {
  return (assigned_ & svBorderColor) ? borderColor_ : GetDefaultBorderColor();
}
TGridEditBorderStyle TGridEditStyle::BorderStyle() const {
  return (assigned_ & svBorderStyle) ? borderStyle_ : GetDefaultBorderStyle();
}
TGridEditButtonViewStyle TGridEditStyle::ButtonStyle() const {
  return (assigned_ & svButtonStyle) ? buttonStyle_ : GetDefaultButtonStyle();
}
TGridEditButtonTransparence TGridEditStyle::ButtonTransparence() const {
  return (assigned_ & svButtonTransparence) ? buttonTransparence_ : GetDefaultButtonTransparence();
}
TGridEditEdges TGridEditStyle::Edges() const {
  return (assigned_ & svEdges) ? edges_ : GetDefaultEdges();
}
bool TGridEditStyle::HotTrack() const {
  return (assigned_ & svHotTrack) ? hotTrack_ : GetDefaultHotTrack();
}
bool TGridEditStyle::Shadow() const { return (assigned_ & svShadow) ? shadow_ : GetDefaultShadow(); }

template <class T>
void TGridEditStyle::Set(T& field, TGridEditStyleValue bit, T value) {
  if ((assigned_ & bit) && field == value) return;
  field = value;
  assigned_ |= bit;
  Changed();
}

void TGridEditStyle::SetBorderColor(gui::Color v) { Set(borderColor_, svBorderColor, v); }
void TGridEditStyle::SetBorderStyle(TGridEditBorderStyle v) { Set(borderStyle_, svBorderStyle, v); }
void TGridEditStyle::SetButtonStyle(TGridEditButtonViewStyle v) { Set(buttonStyle_, svButtonStyle, v); }
void TGridEditStyle::SetButtonTransparence(TGridEditButtonTransparence v) {
  Set(buttonTransparence_, svButtonTransparence, v);
}
void TGridEditStyle::SetEdges(TGridEditEdges v) {
  Set(edges_, svEdges, TGridEditEdges(v & kGridEditAllEdges));
}
void TGridEditStyle::SetHotTrack(bool v) { Set(hotTrack_, svHotTrack, v); }
void TGridEditStyle::SetShadow(bool v) { Set(shadow_, svShadow, v); }

void TGridEditStyle::Assign(const TGridEditStyle& source) {
  if (&source == this) return;
  CopyValues(*this, source);
}

void TGridEditStyle::RestoreDefaults() {
  assigned_ = 0;
  Changed();
}
