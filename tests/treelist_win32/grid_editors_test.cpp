// The grid's in-place editors on real windows under Wine: a mask editor and
// a text editor (the system's rich edit) over a cell of a small container,
// keys posted through the program's loop, the clipboard the system's.
#include "tests/gui_win32/win32_fixture.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "gui/clipboard.h"
#include "gui/form.h"
#include "gui/menu.h"
#include "gui/win32/std_controls.h"
#include "gui/win32/win32_system.h"
#include "treelist/grid_edit_error.h"
#include "treelist/grid_inplace_mask_edit.h"

namespace {

using namespace gui;

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

// A container answering as a grid that lets its cells be edited; the keys
// it is handed are recorded.
class Host : public TCustomGridContainer {
 public:
  using TCustomGridContainer::TCustomGridContainer;
  bool wantsTab = false;
  std::vector<uint16_t> keys;
  std::function<void()> onKey;
  bool CanEditModify() const override { return true; }
  bool CanEditAcceptKey(char) const override { return true; }
  bool EditorWantsTab() const override { return wantsTab; }

 protected:
  void KeyDown(uint16_t& key, ShiftState) override {
    keys.push_back(key);
    if (onKey) onKey();
  }
};

// An editor that counts its beeps and the characters that reach it.
template <class Base>
class Counted : public Base {
 public:
  using Base::Base;
  int beeps = 0;
  std::string chars;

 protected:
  void Beep() override { ++beeps; }
  void WndProc(Message& m) override {
    if (m.Msg == WM_CHAR) chars += char(m.WParam);
    Base::WndProc(m);
  }
};
using MaskEditor = Counted<TGridInplaceMaskEdit>;
using TextEditor = Counted<TGridInplaceTextEdit>;

class GridEditorsTest : public testwin::Win32Test {
 protected:
  GridEditorsTest() : useClipboard_(clipboard), useMenus_(menus) {
    form.SetBounds(40, 40, 320, 200);
    host->SetBounds(0, 0, 300, 120);
    host->SetParent(&form);
    other->SetBounds(0, 130, 75, 25);
    other->SetParent(&form);
    form.Show();
    Pump();
  }

  void Post(Control& c, UINT msg, WPARAM wp, LPARAM lp = 0) {
    PostMessageA(Hwnd(c), msg, wp, lp);
    Pump();
  }
  void Type(Control& c, const std::string& s) {
    for (char ch : s) PostMessageA(Hwnd(c), WM_CHAR, uint8_t(ch), 1);
    Pump();
  }
  // A key pressed with modifier keys held in the keyboard state.
  void Chord(Control& c, std::initializer_list<int> held, WPARAM key) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    BYTE saved[256];
    std::copy(state, state + 256, saved);
    for (int vk : held) state[vk] |= 0x80;
    SetKeyboardState(state);
    Post(c, WM_KEYDOWN, key);
    SetKeyboardState(saved);
  }
  // Chooses the context menu item with tag (the menu at the caret, as from
  // the keyboard); answers whether it could be chosen.
  bool Choose(TGridInplaceTextEdit& ed, int tag) {
    if (!ed.ContextMenu()) SendMessageA(Hwnd(ed), WM_CONTEXTMENU, 0, MAKELPARAM(-1, -1));
    PopupMenu* menu = ed.ContextMenu();
    for (int i = 0; i < menu->Items().Count(); ++i)
      if (menu->Items().Items(i)->Tag() == tag) menus.choose = menu->Items().Items(i);
    SendMessageA(Hwnd(ed), WM_CONTEXTMENU, 0, MAKELPARAM(-1, -1));
    for (int i = 0; i < menu->Items().Count(); ++i)
      if (menu->Items().Items(i)->Tag() == tag) return menu->Items().Items(i)->Enabled();
    return false;
  }
  // The menu's items as the last popup left them: x enabled, . not, - a line.
  std::string MenuStates(TGridInplaceTextEdit& ed) {
    SendMessageA(Hwnd(ed), WM_CONTEXTMENU, 0, MAKELPARAM(-1, -1));
    std::string s;
    for (int i = 0; i < ed.ContextMenu()->Items().Count(); ++i) {
      const MenuItem* item = ed.ContextMenu()->Items().Items(i);
      s += item->IsLine() ? '-' : item->Enabled() ? 'x' : '.';
    }
    return s;
  }
  std::string Sel(TGridInplaceTextEdit& ed) {
    int a = 0, b = 0;
    ed.GetSelection(a, b);
    return std::to_string(a) + "," + std::to_string(b);
  }

  Win32Clipboard clipboard;
  RecordingMenuBackend menus;
  Form form;
  Host* host = new Host(&form);
  Button* other = new Button(&form);

 private:
  ScopedService<Clipboard> useClipboard_;
  ScopedService<MenuBackend> useMenus_;
};

TEST_F(GridEditorsTest, MaskEditorOverACellTypesCutsRestoresAndKeepsTheFocusWhenRejected) {
  auto* ed = new MaskEditor(host);
  ed->AssignEditMask("00-00;1;_");
  EXPECT_EQ(ed->StoredValues(), gsvEditMask);
  ed->SetEditValue("12-34");
  ed->ShowAt({20, 20, 120, 40});
  ASSERT_EQ(GetFocus(), Hwnd(*ed));
  EXPECT_EQ(ed->EditText(), "12-34");

  Post(*ed, WM_KEYDOWN, VK_HOME);
  EXPECT_EQ(Sel(*ed), "0,1");  // the caret selects the character it stands on
  Type(*ed, "9x8");  // a letter at a digit: a beep, nothing typed
  EXPECT_EQ(ed->EditText(), "98-34");
  EXPECT_EQ(ed->beeps, 1);
  EXPECT_EQ(Sel(*ed), "3,4") << "over the literal to the next input position";

  // Cut of two characters: copied, and only they are blanked.
  ed->SetSelStart(0);
  ed->SetSelLength(2);
  Chord(*ed, {VK_CONTROL}, 'X');
  EXPECT_EQ(clipboard.GetText(), "98");
  EXPECT_EQ(ed->EditText(), "__-34");

  Post(*ed, WM_KEYDOWN, VK_ESCAPE);
  EXPECT_EQ(ed->EditText(), "12-34");
  EXPECT_FALSE(ed->GetModified());
  EXPECT_EQ(host->keys, std::vector<uint16_t>{VK_ESCAPE});

  // The menu's Delete blanks the selection only; the grid's move is then
  // turned down at a required position, the message shown, the focus kept.
  ed->SetSelStart(3);
  ed->SetSelLength(2);
  EXPECT_TRUE(Choose(*ed, tmDelete));
  EXPECT_EQ(ed->EditText(), "12-__");
  host->onKey = [&] { other->SetFocus(); };
  Post(*ed, WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(reported, std::vector<std::string>{"Invalid input value.  Use escape key to abandon changes"});
  EXPECT_EQ(host->keys.size(), 1u) << "the grid never saw Down";
  EXPECT_EQ(GetFocus(), Hwnd(*ed));
  EXPECT_EQ(Sel(*ed), "3,4") << "on the failing position";
  SetFocus(Hwnd(*other));  // leaving is turned down the same way
  EXPECT_EQ(GetFocus(), Hwnd(*ed));
  EXPECT_EQ(reported.size(), 2u);

  // Clear sent to the window blanks the whole field; a paste types through
  // the mask and is checked at once.
  SendMessageA(Hwnd(*ed), WM_CLEAR, 0, 0);
  EXPECT_EQ(ed->EditText(), "__-__");
  clipboard.SetText("12ab34");
  ed->SetSelStart(0);
  Chord(*ed, {VK_CONTROL}, 'V');
  EXPECT_EQ(ed->EditText(), "12-__");
  EXPECT_EQ(reported.size(), 3u);

  // A right click shows the menu once (the rich edit's callback is
  // registered for a masked editor, and the editor posts the menu itself).
  const size_t shown = menus.shown.size();
  SendMessageA(Hwnd(*ed), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  SendMessageA(Hwnd(*ed), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
  Pump();
  EXPECT_EQ(menus.shown.size(), shown + 1);
}

TEST_F(GridEditorsTest, TextEditorUndoRedoMenuCaseLimitAndRecreation) {
  auto* ed = new TextEditor(host);
  int changes = 0;
  ed->OnChange = [&](Control*) { ++changes; };
  clipboard.SetText("ef");
  ed->SetEditValue("one");
  ed->ShowAt({20, 20, 220, 40});
  ASSERT_EQ(GetFocus(), Hwnd(*ed));
  EXPECT_EQ(changes, 0) << "setting the value is not a change";
  EXPECT_EQ(ed->ClientWidth(), 200) << "the border lies outside the cell";
  // Undo Redo - Cut Copy Paste Delete - SelectAll: nothing to undo after
  // the value was set, everything selected.
  EXPECT_EQ(MenuStates(*ed), "..-xxxx-.");

  Type(*ed, "abc");
  EXPECT_EQ(ed->GetDisplayText(), "abc");
  EXPECT_GE(changes, 1);
  EXPECT_EQ(MenuStates(*ed), "x.-..x.-x");
  EXPECT_TRUE(Choose(*ed, tmUndo));
  EXPECT_EQ(ed->GetDisplayText(), "one");
  EXPECT_TRUE(Choose(*ed, tmRedo));
  EXPECT_EQ(ed->GetDisplayText(), "abc");
  EXPECT_TRUE(Choose(*ed, tmSelectAll));
  EXPECT_EQ(Sel(*ed), "0,3");
  EXPECT_EQ(ed->GetSelText(), "abc");
  Post(*ed, WM_KEYDOWN, VK_F2);
  EXPECT_EQ(Sel(*ed), "3,3");

  // Upper case: typed and pasted text alike; a change made by the control
  // is cased through its change notification, the caret kept.
  ed->SetCharCase(ecUpperCase);
  EXPECT_EQ(ed->GetDisplayText(), "ABC");
  Type(*ed, "d");
  EXPECT_EQ(ed->GetDisplayText(), "ABCD");
  ed->SelectAll();
  ed->PasteFromClipboard();
  EXPECT_EQ(ed->GetDisplayText(), "EF");
  ed->SetSelStart(1);
  SendMessageA(Hwnd(*ed), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("xy"));
  EXPECT_EQ(ed->GetDisplayText(), "EXYF");
  EXPECT_EQ(Sel(*ed), "3,3");

  // The limit holds after the text is set.
  ed->SetMaxLength(-5);
  EXPECT_EQ(ed->MaxLength(), 0);
  ed->SetMaxLength(4);
  ed->SetEditValue("AB");
  ed->SetSelStart(2);
  Type(*ed, "cdef");
  EXPECT_EQ(ed->GetDisplayText(), "ABCD");

  // A new alignment makes the window again: text and modified flag stay.
  const HWND before = Hwnd(*ed);
  EXPECT_TRUE(ed->GetModified());
  ed->SetAlignment(taRightJustify);
  EXPECT_NE(Hwnd(*ed), before);
  EXPECT_EQ(ed->GetDisplayText(), "ABCD");
  EXPECT_TRUE(ed->GetModified());
}

TEST_F(GridEditorsTest, PasswordTextIsNeverCopiedAndReadOnlyTextNeverChanges) {
  auto* ed = new TextEditor(host);
  ed->SetPasswordChar('*');
  ed->SetEditValue("secret");
  ed->ShowAt({20, 20, 220, 40});
  ASSERT_EQ(GetFocus(), Hwnd(*ed));
  auto copyPaths = [&] {
    const std::vector<std::function<void()>> paths = {
        [&] { Chord(*ed, {VK_CONTROL}, 'C'); },
        [&] { Chord(*ed, {VK_CONTROL}, 'X'); },
        [&] { Chord(*ed, {VK_CONTROL}, VK_INSERT); },
        [&] { Chord(*ed, {VK_SHIFT}, VK_DELETE); },
        [&] { SendMessageA(Hwnd(*ed), WM_COPY, 0, 0); },
        [&] { SendMessageA(Hwnd(*ed), WM_CUT, 0, 0); },
        [&] { EXPECT_FALSE(Choose(*ed, tmCopy)); },
        [&] { EXPECT_FALSE(Choose(*ed, tmCut)); },
        [&] { ed->MenuAction(tmCopy); },
    };
    for (size_t i = 0; i < paths.size(); ++i) {
      clipboard.SetText("sentinel");
      ed->SelectAll();
      paths[i]();
      EXPECT_EQ(clipboard.GetText(), "sentinel") << "path " << i;
      EXPECT_EQ(ed->GetDisplayText(), "secret") << "path " << i;
    }
  };
  copyPaths();
  ed->SetPasswordChar(0);  // the same keys copy a plain text
  ed->SelectAll();
  Chord(*ed, {VK_CONTROL}, 'C');
  EXPECT_EQ(clipboard.GetText(), "secret");

  // Read-only: deleting, pasting and typing change nothing; copying works.
  ed->SetReadOnly(true);
  clipboard.SetText("xx");
  ed->SelectAll();
  Post(*ed, WM_KEYDOWN, VK_DELETE);
  Post(*ed, WM_KEYDOWN, VK_BACK);
  Chord(*ed, {VK_SHIFT}, VK_INSERT);
  Type(*ed, "a");
  EXPECT_EQ(ed->GetDisplayText(), "secret");
  EXPECT_EQ(ed->beeps, 0);
  Chord(*ed, {VK_CONTROL}, 'C');
  EXPECT_EQ(clipboard.GetText(), "secret");
}

TEST_F(GridEditorsTest, EnterAndTabGoToTheGridWithoutTheirCharacters) {
  auto* ed = new TextEditor(host);
  host->wantsTab = true;
  ed->SetEditValue("text");
  ed->ShowAt({20, 20, 220, 40});
  ASSERT_EQ(GetFocus(), Hwnd(*ed));
  Post(*ed, WM_KEYDOWN, VK_RETURN);
  Post(*ed, WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(host->keys, (std::vector<uint16_t>{VK_RETURN, VK_TAB}));
  EXPECT_EQ(ed->chars, "");
  EXPECT_EQ(ed->beeps, 0);
  EXPECT_EQ(ed->GetDisplayText(), "text");
  // Without the grid wanting Tab, the form moves the focus on.
  host->wantsTab = false;
  Post(*ed, WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(*other));

  // With a shadow the two corners beside it are not the window's.
  ed->Style().SetShadow(true);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Hwnd(*ed), rgn), ERROR);
  const int w = ed->Width(), h = ed->Height();
  EXPECT_TRUE(PtInRegion(rgn, 0, 0) && PtInRegion(rgn, w - 1, h - 1));
  EXPECT_FALSE(PtInRegion(rgn, w - 1, 0) || PtInRegion(rgn, 0, h - 1));
  DeleteObject(rgn);
}

}  // namespace
