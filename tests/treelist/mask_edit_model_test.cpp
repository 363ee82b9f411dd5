#include "treelist/mask_edit_model.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/fake_edit_control.h"
#include "treelist/grid_edit_error.h"

using namespace editkey;

namespace {

// A mask editor over an in-memory control, entered with a value.
struct Editor {
  TFakeEditControl ctl;
  TMaskEditModel model;
  explicit Editor(const std::string& mask, const std::string& value = "",
                  const MaskLocale& locale = {})
      : model(ctl, locale) {
    model.SetEditMask(mask);
    model.SetText(value);
    ctl.modified = false;
    ctl.Enter();
  }
  void Type(const std::string& s) {
    for (char c : s) model.KeyPress(c);
  }
  void Select(int start, int stop) { ctl.SetSel(start, stop, true); }
  std::string Sel() const { return std::to_string(ctl.selStart) + "," + std::to_string(ctl.selStop); }
};

struct TextCase {
  std::string mask, value, edit, text;
};

TEST(MaskEditModel, SetTextAndTextRoundTrip) {
  const MaskLocale dots{'.', '-'};
  const TextCase cases[] = {
      {"!999;0;_", "12", "_12", "12"},
      {"(999)000-0000;1;_", "(555)123-4567", "(555)123-4567", "(555)123-4567"},
      {"(999)000-0000;0;_", "5551234567", "(555)123-4567", "5551234567"},
      {"(999)000-0000;0;_", "55512", "(555)12_-____", "55512"},
      {"!(999);1;_", "(12)", "(_12)", "( 12)"},
      {"00:00;1;_", "12.30", "12.30", "12.30"},  // the locale's time separator
      {"00/00;0;_", "1231", "12-31", "1231"},
      {"00-00;1;*", "1-2", "1*-2*", "1 -2 "},  // custom blank, literals saved
      {"\\(000\\);0;_", "12", "(12_)", "12"},
      {"00-00;1;_", "", "__-__", ""},  // every input position blank: no value
      {"000;0;_", "12345", "123", "123"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.mask + " " + c.value);
    Editor e(c.mask, c.value, dots);
    EXPECT_EQ(e.model.EditText(), c.edit);
    EXPECT_EQ(e.model.Text(), c.text);
    e.model.SetText(e.model.Text());  // the value comes back unchanged
    EXPECT_EQ(e.model.EditText(), c.edit);
  }
  Editor blank("00-00;1;_");
  blank.model.SetIgnoreMaskBlank(true);
  EXPECT_EQ(blank.model.Text(), "__-__");

  // A new mask formats the current value again; the window's limit follows.
  Editor e("00-00;0;_", "1234");
  EXPECT_EQ(e.ctl.textLimit, 5);
  e.model.SetEditMask("0000;0;_");
  EXPECT_EQ(e.model.EditText(), "1234");
  EXPECT_EQ(e.ctl.textLimit, 4);
  e.model.SetEditMask("");
  EXPECT_EQ(e.ctl.textLimit, 0);
  EXPECT_EQ(e.model.Text(), "1234");
  EXPECT_FALSE(e.model.KeyPress('x'));  // without a mask the window types itself
}

TEST(MaskEditModel, TypingThroughThePhoneMask) {
  Editor e("(999)000-0000;1;_");
  e.model.SetCursor(0);
  e.Type("(");  // the literal at its own place: kept, the caret moves on
  EXPECT_EQ(e.Sel(), "1,2");
  EXPECT_TRUE(e.ctl.caretAtStart);
  e.Type("x");  // a letter at a digit position
  EXPECT_EQ(e.ctl.beeps, 1);
  EXPECT_FALSE(e.ctl.modified);
  e.Type("555");
  EXPECT_EQ(e.Sel(), "5,6");  // over ")"
  e.Type("-");  // equal to the next literal: the caret jumps behind it
  EXPECT_EQ(e.Sel(), "9,10");
  EXPECT_EQ(e.ctl.beeps, 1);
  e.Type("1");
  EXPECT_EQ(e.model.EditText(), "(555)___-1___");
  EXPECT_TRUE(e.ctl.modified);
  EXPECT_EQ(e.model.Text(), "(555)   -1   ");
  e.Type("234");
  EXPECT_EQ(e.Sel(), "13,13");  // past the last position
  e.Type("5");
  EXPECT_EQ(e.ctl.beeps, 2);
  EXPECT_EQ(e.model.EditText(), "(555)___-1234");

  // Case directives; "<>" switches conversion off.
  Editor c(">LL<LL<>LL;0;_");
  c.model.SetCursor(0);
  c.Type("aBcDeF");
  EXPECT_EQ(c.model.EditText(), "ABcdeF");

  // A selection of several characters is blanked, the character goes first.
  Editor s("00-00;1;_", "12-34");
  s.Select(0, 5);
  s.Type("9");
  EXPECT_EQ(s.model.EditText(), "9_-__");
  EXPECT_EQ(s.Sel(), "1,2");

  // Escape restores the text saved on entering.
  s.model.KeyPress('\x1B');
  EXPECT_EQ(s.model.EditText(), "12-34");
  EXPECT_FALSE(s.ctl.modified);
}

TEST(MaskEditModel, DeleteAndBackspaceAtEveryOffset) {
  struct {
    int caret;
    const char* afterDelete;
    const char* selDelete;
    const char* afterBack;
    const char* selBack;
  } cases[] = {
      {0, "_2-34", "1,2", "12-34", "0,1"},  // Backspace at the start does nothing
      {1, "1_-34", "3,4", "_2-34", "0,1"},
      {2, "12-34", "3,4", "1_-34", "1,2"},  // the literal survives Delete
      {3, "12-_4", "4,5", "1_-34", "1,2"},
      {4, "12-3_", "5,5", "12-_4", "3,4"},
      {5, "12-34", "5,5", "12-3_", "4,5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caret);
    Editor d("00-00;1;_", "12-34");
    d.model.SetCursor(c.caret);
    EXPECT_TRUE(d.model.KeyDown(kDelete, 0));
    EXPECT_EQ(d.model.EditText(), c.afterDelete);
    EXPECT_EQ(d.Sel(), c.selDelete);
    Editor b("00-00;1;_", "12-34");
    b.model.SetCursor(c.caret);
    EXPECT_TRUE(b.model.KeyDown(kBack, 0));
    EXPECT_EQ(b.model.EditText(), c.afterBack);
    EXPECT_EQ(b.Sel(), c.selBack);
  }
  Editor r("00-00;1;_", "12-34");
  r.ctl.canModify = false;
  r.model.SetCursor(1);
  EXPECT_TRUE(r.model.KeyDown(kDelete, 0));
  r.Type("9");
  EXPECT_EQ(r.model.EditText(), "12-34");
}

TEST(MaskEditModel, ClipboardKeepsTheRestOfTheEntry) {
  Editor e("00-00;1;_", "12-34");
  e.Select(1, 4);
  EXPECT_TRUE(e.model.KeyDown(kX, kCtrl));
  EXPECT_EQ(e.ctl.clipboard, "2-3");
  EXPECT_EQ(e.model.EditText(), "1_-_4");
  EXPECT_EQ(e.Sel(), "1,2");
  EXPECT_TRUE(e.ctl.modified);

  Editor m("00-00;1;_", "12-34");  // the context menu's Delete and Shift+Del
  m.Select(3, 5);
  m.model.ClearSelection();
  EXPECT_EQ(m.model.EditText(), "12-__");
  m.Select(0, 1);
  EXPECT_TRUE(m.model.KeyDown(kDelete, kShift));
  EXPECT_EQ(m.ctl.clipboard, "1");
  EXPECT_EQ(m.model.EditText(), "_2-__");

  Editor c("00-00;1;_", "12-34");  // a clear message blanks the whole field
  c.Select(0, 1);
  c.model.Clear();
  EXPECT_EQ(c.model.EditText(), "__-__");
  EXPECT_EQ(c.Sel(), "0,1");

  EXPECT_TRUE(c.model.KeyDown(kV, kCtrl));
  EXPECT_TRUE(c.model.KeyDown(kInsert, kShift));
  EXPECT_EQ(c.ctl.postedPastes, 2);
  EXPECT_FALSE(c.model.AllowReplaceSel("ab"));
  EXPECT_TRUE(c.model.AllowReplaceSel("a"));
}

TEST(MaskEditModel, PasteThenValidation) {
  Editor e("00-00;1;_", "");
  e.model.SetCursor(0);
  e.ctl.clipboard = "12ab34";
  try {
    e.model.Paste();
    ADD_FAILURE() << "no error";
  } catch (const EGridEditError& x) {
    EXPECT_NE(dynamic_cast<const EDBEditError*>(&x), nullptr);
    EXPECT_STREQ(x.what(), "Invalid input value.  Use escape key to abandon changes");
  }
  EXPECT_EQ(e.model.EditText(), "12-__");  // the letters refused, 34 beyond the mask
  EXPECT_EQ(e.Sel(), "3,4");               // the caret on the failing position
  EXPECT_EQ(e.ctl.beeps, 1);
  EXPECT_EQ(e.ctl.refocused, 1);
  EXPECT_TRUE(e.model.Reentering());
  e.model.Entered();
  EXPECT_FALSE(e.model.Reentering());

  e.ctl.abandon = true;  // the grid drops the value: restored, nothing raised
  EXPECT_NO_THROW(e.model.ValidateEdit());
  EXPECT_EQ(e.model.EditText(), "__-__");
  EXPECT_FALSE(e.ctl.modified);

  Editor i("00-00;1;_", "");  // blanks allowed
  i.model.SetIgnoreMaskBlank(true);
  i.ctl.clipboard = "(1";
  EXPECT_NO_THROW(i.model.Paste());
  EXPECT_EQ(i.model.EditText(), "_1-__");  // "(" refused: the blank

  int pos = -1;
  EXPECT_FALSE(i.model.Validate("1 -__", pos));  // a space is no digit
  EXPECT_EQ(pos, 1);
  Editor c("CC;1;_", "a ");
  EXPECT_TRUE(c.model.Validate("a ", pos));  // but is a character
}

TEST(MaskEditModel, CaretMovesFieldByField) {
  Editor e("(999)000;1;_", "(123)456");
  EXPECT_TRUE(e.model.KeyDown(kHome, 0));
  EXPECT_EQ(e.Sel(), "1,2");
  EXPECT_TRUE(e.model.KeyDown(kEnd, 0));
  EXPECT_EQ(e.Sel(), "7,8");
  e.model.SetCursor(3);
  EXPECT_TRUE(e.model.KeyDown(kRight, 0));
  EXPECT_EQ(e.Sel(), "5,6");  // over ")"
  EXPECT_TRUE(e.model.KeyDown(kLeft, 0));
  EXPECT_EQ(e.Sel(), "3,4");
  EXPECT_FALSE(e.model.KeyDown(kRight, kShift));  // the window extends, the caret is tracked
  EXPECT_EQ(e.model.CaretPos(), 4);
  EXPECT_TRUE(e.model.KeyDown(kHome, kShift));
  EXPECT_EQ(e.Sel(), "1,4");
  EXPECT_TRUE(e.model.KeyDown(kUp, 0));

  e.ctl.SetSel(6, 6, false);  // a click: one character is selected again
  e.model.LeftButtonUp(0);
  EXPECT_EQ(e.Sel(), "6,7");
  e.ctl.text = "(12)4";  // a text of another length from outside is fitted again
  e.model.Change();
  EXPECT_EQ(e.model.EditText(), "(12_)4__");
}

bool Lead(char c) { return c == '\x81'; }

TEST(MaskEditModel, DoubleByteCharacters) {
  const MaskLocale dbcs{':', '/', Lead};
  Editor e("CC-0;1;_", "", dbcs);
  e.model.SetCursor(0);
  e.Type("\x81");  // no trail byte waiting: dropped, no half character
  EXPECT_EQ(e.model.EditText(), "__-_");
  EXPECT_EQ(e.ctl.beeps, 0);
  e.ctl.trailBytes = "\x40";
  e.Type("\x81");
  EXPECT_EQ(e.model.EditText(), "\x81\x40-_");
  EXPECT_EQ(e.Sel(), "3,4");
  e.ctl.trailBytes = "\x40";
  e.Type("\x81");  // a digit position takes no double-byte character
  EXPECT_EQ(e.ctl.beeps, 1);
  e.model.SetCursor(0);
  EXPECT_EQ(e.Sel(), "0,2");  // the caret selects the whole pair
}

}  // namespace
