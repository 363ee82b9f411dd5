#include "treelist/grid_container.h"

#include <algorithm>
#include <climits>

#include "gui/environment.h"
#include "gui/graphics_backend.h"
#include "gui/text_measurer.h"

using namespace gui;

int GridScrollBarStyle(TGridLookAndFeel lf) {
  switch (lf) {
    case lfFlat: return FSB_ENCARTA_MODE;
    case lfUltraFlat: return FSB_FLAT_MODE;
    default: return FSB_REGULAR_MODE;
  }
}

// ---------------------------------------------------------------- TCustomGridContainer

TCustomGridContainer::TCustomGridContainer(Component* owner) : Control(owner) {}

TCustomGridContainer::~TCustomGridContainer() = default;

std::unique_ptr<TGridEditStyle> TCustomGridContainer::CreateEditStyle(TGridStyledEditor* editor) {
  return MakeGridEditStyle<TGridEditStyle>(editor);
}

void TCustomGridContainer::SendVScroll(int code) {
  if (WindowPeer* p = Peer()) p->Send(WM_VSCROLL, uintptr_t(code), 0);
}

void TCustomGridContainer::ScrollLines(bool up, int count) {
  for (int i = 0; i < count; ++i) SendVScroll(up ? SB_LINEUP : SB_LINEDOWN);
}

void TCustomGridContainer::DoEditKeyDown(uint16_t& key, ShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TCustomGridContainer::SetLookAndFeel(TGridLookAndFeel lf) {
  if (lf == lookAndFeel_) return;
  lookAndFeel_ = lf;
  RecreateWnd();
}

void TCustomGridContainer::HandleCreated() {
  Control::HandleCreated();
  if (WindowPeer* p = Peer()) p->SetScrollBarStyle(GridScrollBarStyle(lookAndFeel_));
}

bool TCustomGridContainer::MouseWheel(ShiftState s, int delta, Point pos) {
  Control::MouseWheel(s, delta, pos);
  // A zero delta has no direction. The setting is unsigned: "a page" is
  // its largest value and must not be taken for a count of lines.
  if (delta == 0) return true;
  const bool up = delta > 0;
  const unsigned lines = Env().WheelScrollLines();
  if (lines == WHEEL_PAGESCROLL)
    SendVScroll(up ? SB_PAGEUP : SB_PAGEDOWN);
  else if (lines > 0)
    ScrollLines(up, int(std::min<unsigned>(lines, INT_MAX)));
  return true;
}

// ---------------------------------------------------------------- hint window

Rect PlaceGridHint(Point at, Size size, Size screen) {
  const int x = std::max(0, std::min(at.X, screen.Width - size.Width));
  const int y = std::max(0, std::min(at.Y, screen.Height - size.Height));
  return Rect::FromSize(x, y, size.Width, size.Height);
}

namespace {
// Space around the text: the raised edge and 2 pixels inside it.
constexpr int kHintTextInset = TGridContainerHintWindow::kTextInset;
constexpr int kHintExtra = 6;
}  // namespace

TGridContainerHintWindow::TGridContainerHintWindow(Component* owner) : Control(owner) {
  SetColor(clInfoBk);
  Font().SetColor(clInfoText);
  SetControlStyle(0);
  // Shown only by ShowHintEx, never by creating the window.
  Hide();
}

TGridContainerHintWindow::~TGridContainerHintWindow() = default;

void TGridContainerHintWindow::CreateParams(WindowParams& p) {
  Control::CreateParams(p);
  p.Style = WS_POPUP;
  p.ClassStyle = CS_SAVEBITS;
  p.ExStyle = WS_EX_TOOLWINDOW;
  p.Parent = 0;
}

int TGridContainerHintWindow::NcHitTest(Point, int) { return HTTRANSPARENT; }

void TGridContainerHintWindow::ShowHintAt(Point screenPoint, std::string_view text,
                                          const gui::Font& font) {
  ShowHintEx(screenPoint, Env().ScreenSize().Width, false, font, text);
}

void TGridContainerHintWindow::ShowHintEx(Point screenPoint, int maxWidth, bool useFontSize,
                                          const gui::Font& font, std::string_view text) {
  SetCaption(std::string(text));
  gui::Font f;
  if (!SystemStatusFont(f)) {
    f.Assign(Font());
    f.SetSize(8);
  }
  f.SetName(font.Name());
  f.SetCharset(font.Charset());
  if (useFontSize) f.SetHeight(font.Height());
  f.SetColor(clInfoText);
  Font().Assign(f);

  if (maxWidth < 1) maxWidth = Env().ScreenSize().Width;
  const TextLayout layout =
      LayoutText(Measurer(), Font(), text, Rect(0, 0, maxWidth, 0),
                 DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  const Size size{layout.Bounds.Width() + kHintExtra, layout.Bounds.Height() + kHintExtra};
  const Rect r = PlaceGridHint(screenPoint, size, Env().ScreenSize());
  HandleNeeded();
  SetBounds(r.Left, r.Top, r.Width(), r.Height());
  Invalidate();
  ShowNoActivate();
}

void TGridContainerHintWindow::HideHint() {
  if (WindowPeer* p = Peer()) p->Show(false);
}

bool TGridContainerHintWindow::HintShowing() const {
  return Peer() && Peer()->IsVisible();
}

void TGridContainerHintWindow::Paint(Canvas& canvas, const Rect&) {
  Rect r = ClientRect();
  canvas.Brush().SetStyle(BrushStyle::Clear);
  canvas.DrawEdge(r, BDR_RAISEDOUTER, BF_RECT);
  canvas.Font().Assign(Font());
  Rect text = ClientRect();
  text.Left += kHintTextInset;
  text.Top += kHintTextInset;
  text.Right -= kHintExtra - kHintTextInset;
  text.Bottom -= kHintExtra - kHintTextInset;
  canvas.DrawText(Caption(), text, DT_WORDBREAK | DT_NOPREFIX | DT_NOCLIP);
}
