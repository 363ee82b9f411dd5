// Text measuring for layout: an injectable measurer (the window system's
// fonts in the product, fixed cell sizes in tests) and the portable layout
// of formatted text (the DT_* flags of DrawText) built on it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "gui/geometry.h"
#include "gui/graphics.h"

namespace gui {

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // Width and height of one line of text (no prefix or tab processing).
  virtual Size TextExtent(const Font& font, std::string_view text) const = 0;
  // How many leading characters fit within maxExtent pixels; 0 when
  // maxExtent <= 0.
  virtual int FitCount(const Font& font, std::string_view text, int maxExtent) const = 0;
  // The line height of the font (also the height of an empty text).
  virtual int LineHeight(const Font& font) const = 0;
};

// Every character CharWidth pixels wide, every line LineHeight pixels high,
// whatever the font. The defaults are 6 and 13.
class FixedTextMeasurer : public TextMeasurer {
 public:
  FixedTextMeasurer() = default;
  FixedTextMeasurer(int charWidth, int lineHeight) : charWidth_(charWidth), lineHeight_(lineHeight) {}
  Size TextExtent(const Font& font, std::string_view text) const override;
  int FitCount(const Font& font, std::string_view text, int maxExtent) const override;
  int LineHeight(const Font& font) const override;
  int CharWidth() const { return charWidth_; }
  void SetCharWidth(int w) { charWidth_ = w; }
  void SetLineHeight(int h) { lineHeight_ = h; }

 private:
  int charWidth_ = 6;
  int lineHeight_ = 13;
};

// One laid-out line: the text shown (ellipsis applied, prefix characters
// removed), where it starts, and the character offset of the underlined
// accelerator within it (-1: none).
struct TextLine {
  std::string Text;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Underline = -1;
};

struct TextLayout {
  std::vector<TextLine> Lines;
  // DT_CALCRECT's answer: the rectangle the text needs (left and top kept).
  Rect Bounds;
  // The height of the text (DrawText's result).
  int Height = 0;
};

// Lays out text in rect by DT_* flags as the window system's DrawText
// does: alignment (DT_LEFT/CENTER/RIGHT; with DT_SINGLELINE also
// DT_TOP/VCENTER/BOTTOM), DT_WORDBREAK, DT_SINGLELINE, DT_EXPANDTABS (8
// average characters), DT_NOPREFIX / DT_HIDEPREFIX / DT_PREFIXONLY ('&'
// marks the next character as the accelerator, "&&" is one '&'),
// DT_END_ELLIPSIS, DT_PATH_ELLIPSIS, DT_WORD_ELLIPSIS and DT_CALCRECT
// (Bounds: width of the widest line, height of all lines).
TextLayout LayoutText(const TextMeasurer& m, const Font& font, std::string_view text,
                      const Rect& rect, unsigned flags);

}  // namespace gui
