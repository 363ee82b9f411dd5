// Random masks, values and key, clipboard and mouse sequences through the
// mask editor's model. Input: one byte of flags (bit 7: a locale with
// double-byte lead bytes 0x81-0x9F) and the mask length, the mask, then
// operations of an opcode byte and an argument byte (some take a run of
// following bytes as text). After every operation a masked edit text has
// exactly MaxChars characters with every literal in place, and the
// selection lies within it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "tools/fake_edit_control.h"
#include "treelist/edit_mask.h"
#include "treelist/grid_edit_error.h"
#include "treelist/mask_edit_model.h"

namespace {

bool DbcsLead(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x81 && u <= 0x9F;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckRoutines(std::string_view mask, std::string_view value, const MaskLocale& locale) {
  const TMaskLayout layout(mask, locale);
  const int n = layout.TextLength();
  Check(MaskOffsetToOffset(mask, static_cast<int>(mask.size()), locale) == n);
  for (int t = 0; t < n; ++t) Check(layout.TextOffsetOf(layout.MaskOffsetOf(t)) == t);
  for (const std::string& s : {PadInputLiterals(layout, value, layout.Blank()),
                               MaskDoFormatText(layout, value, layout.Blank())}) {
    Check(static_cast<int>(s.size()) == n);
    for (int t = 0; t < n; ++t)
      if (layout.IsLiteral(t)) Check(s[size_t(t)] == layout.LiteralAt(t));
    Check(RemoveEditFormat(layout, s, layout.Blank()).size() <= size_t(n));
  }
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool More() const { return p_ < end_; }
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  std::string Text(size_t n) {
    const size_t k = std::min(n, size_t(end_ - p_));
    std::string s(reinterpret_cast<const char*>(p_), k);
    p_ += k;
    return s;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

const int kKeys[] = {editkey::kBack,  editkey::kEnd,    editkey::kHome, editkey::kLeft,
                     editkey::kUp,    editkey::kRight,  editkey::kDown, editkey::kInsert,
                     editkey::kDelete, editkey::kC,     editkey::kV,    editkey::kX,
                     editkey::kEscape, 'A'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in(data, size);
  const uint8_t head = in.Byte();
  MaskLocale locale;
  if (head & 0x80) locale.isLeadByte = DbcsLead;
  const std::string mask = in.Text(head % 48);
  CheckRoutines(mask, in.Text(in.Byte() % 24), locale);

  TFakeEditControl ctl;
  TMaskEditModel model(ctl, locale);
  ctl.onChange = [&model] { model.Change(); };
  model.SetEditMask(mask);
  ctl.Enter();
  int ops = 0;
  while (in.More() && ops++ < 300) {
    const uint8_t op = in.Byte();
    const uint8_t arg = in.Byte();
    try {
      switch (op % 16) {
        case 0: model.KeyPress(static_cast<char>(arg)); break;
        case 1: model.KeyDown(kKeys[arg % std::size(kKeys)], arg >> 5); break;
        case 2: model.KeyUp(kKeys[arg % std::size(kKeys)], arg >> 5); break;
        case 3: ctl.clipboard = in.Text(arg % 16); model.Paste(); break;
        case 4: model.Cut(); break;
        case 5: model.Clear(); break;
        case 6: model.ClearSelection(); break;
        case 7: ctl.SetSel(arg % 40, in.Byte() % 40, arg & 1); break;
        case 8: model.SetText(in.Text(arg % 24)); break;
        case 9: model.ValidateEdit(); break;
        case 10: model.LeftButtonDown(arg % 8); model.LeftButtonUp(in.Byte() % 8); break;
        case 11: ctl.SetText(in.Text(arg % 24)); break;  // a text from outside the model
        case 12:
          ctl.canModify = (arg & 1) != 0;
          ctl.abandon = (arg & 2) != 0;
          model.SetIgnoreMaskBlank((arg & 4) != 0);
          break;
        case 13: model.SetEditMask(in.Text(arg % 24)); break;
        case 14: ctl.trailBytes = in.Text(arg % 3); break;
        default:
          model.TextChanged();
          model.Entered();
          if (arg & 1) ctl.Enter();
          break;
      }
    } catch (const EGridEditError&) {
    }
    int start, stop;
    ctl.GetSel(start, stop);
    Check(0 <= start && start <= stop && stop <= static_cast<int>(ctl.text.size()));
    if (!model.IsMasked()) continue;
    const TMaskLayout& layout = model.Layout();
    Check(static_cast<int>(ctl.text.size()) == model.MaxChars());
    for (int t = 0; t < model.MaxChars(); ++t)
      if (layout.IsLiteral(t)) Check(ctl.text[size_t(t)] == layout.LiteralAt(t));
    Check(0 <= model.CaretPos() && model.CaretPos() <= model.MaxChars());
  }
  return 0;
}
