#include "gui/text_measurer.h"

#include <algorithm>

#include "gui/win_constants.h"

namespace gui {

Size FixedTextMeasurer::TextExtent(const Font&, std::string_view text) const {
  return {int(text.size()) * charWidth_, lineHeight_};
}

int FixedTextMeasurer::FitCount(const Font&, std::string_view text, int maxExtent) const {
  if (maxExtent <= 0) return 0;
  if (charWidth_ <= 0) return int(text.size());
  return std::min(int(text.size()), maxExtent / charWidth_);
}

int FixedTextMeasurer::LineHeight(const Font&) const { return lineHeight_; }

namespace {

struct Prefixed {
  std::string text;
  int underline = -1;
};

// Removes the accelerator marks of one line.
Prefixed StripPrefix(std::string_view s, unsigned flags) {
  Prefixed p;
  if (flags & DT_NOPREFIX) {
    p.text = std::string(s);
    return p;
  }
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) {
      ++i;
      if (s[i] != '&' && p.underline < 0 && !(flags & DT_HIDEPREFIX)) p.underline = int(p.text.size());
    } else if (s[i] == '&') {
      continue;  // a lone mark at the end shows nothing
    }
    p.text += s[i];
  }
  return p;
}

std::string ExpandTabs(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\t') {
      do out += ' '; while (out.size() % 8 != 0);
    } else {
      out += c;
    }
  }
  return out;
}

int Width(const TextMeasurer& m, const Font& f, std::string_view s) {
  return s.empty() ? 0 : m.TextExtent(f, s).Width;
}

// The longest start of s (cut where cut allows) that fits in width with
// "..." after it.
std::string EndEllipsis(const TextMeasurer& m, const Font& f, const std::string& s, int width,
                        bool atWord) {
  const int dots = Width(m, f, "...");
  int n = m.FitCount(f, s, width - dots);
  if (atWord) {
    int w = n;
    while (w > 0 && s[size_t(w)] != ' ' && s[size_t(w - 1)] != ' ') --w;
    if (w > 0) n = w;
  }
  std::string r = s.substr(0, size_t(std::max(0, n)));
  while (!r.empty() && r.back() == ' ' && atWord) r.pop_back();
  return r + "...";
}

std::string PathEllipsis(const TextMeasurer& m, const Font& f, const std::string& s, int width) {
  const size_t slash = s.find_last_of("\\/");
  if (slash == std::string::npos || slash == 0) return EndEllipsis(m, f, s, width, false);
  const std::string tail = s.substr(slash);
  const int rest = width - Width(m, f, "...") - Width(m, f, tail);
  if (rest < 0) return EndEllipsis(m, f, "..." + tail, width, false);
  const int n = m.FitCount(f, s.substr(0, slash), rest);
  return s.substr(0, size_t(n)) + "..." + tail;
}

// Splits a paragraph into lines no wider than width at blanks; a word
// wider than width stays whole on its own line.
void WrapParagraph(const TextMeasurer& m, const Font& f, const std::string& p, int width,
                   std::vector<std::string>& out) {
  size_t start = 0;
  if (p.empty()) {
    out.emplace_back();
    return;
  }
  while (start < p.size()) {
    size_t end = start;
    size_t lastFit = std::string::npos;
    while (end <= p.size()) {
      const size_t next = p.find(' ', end);
      const size_t wordEnd = next == std::string::npos ? p.size() : next;
      if (Width(m, f, std::string_view(p).substr(start, wordEnd - start)) > width &&
          lastFit != std::string::npos)
        break;
      lastFit = wordEnd;
      if (next == std::string::npos) break;
      end = next + 1;
    }
    out.push_back(p.substr(start, lastFit - start));
    start = lastFit;
    while (start < p.size() && p[start] == ' ') ++start;
  }
}

}  // namespace

TextLayout LayoutText(const TextMeasurer& m, const Font& font, std::string_view text,
                      const Rect& rect, unsigned flags) {
  TextLayout out;
  out.Bounds = {rect.Left, rect.Top, rect.Left, rect.Top};
  if (text.empty()) return out;
  const int lineH = m.LineHeight(font);
  const int width = rect.Width();

  std::vector<std::string> raw;
  if (flags & DT_SINGLELINE) {
    raw.emplace_back(text);
  } else {
    size_t i = 0;
    std::string cur;
    for (; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') {
        raw.push_back(cur);
        cur.clear();
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        cur += text[i];
      }
    }
    if (!cur.empty()) raw.push_back(cur);
  }

  std::vector<Prefixed> lines;
  for (const std::string& r : raw) {
    Prefixed p = StripPrefix(r, flags);
    if (flags & DT_EXPANDTABS) p.text = ExpandTabs(p.text);
    if ((flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE)) {
      std::vector<std::string> parts;
      WrapParagraph(m, font, p.text, width, parts);
      int offset = 0;
      for (std::string& part : parts) {
        Prefixed q;
        const size_t at = p.text.find(part, size_t(offset));
        const int base = at == std::string::npos ? offset : int(at);
        if (p.underline >= base && p.underline < base + int(part.size())) q.underline = p.underline - base;
        offset = base + int(part.size());
        q.text = std::move(part);
        lines.push_back(std::move(q));
      }
    } else {
      lines.push_back(std::move(p));
    }
  }

  const unsigned ellipsis = flags & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS);
  int widest = 0;
  for (Prefixed& p : lines) {
    if (ellipsis && !(flags & DT_CALCRECT) && Width(m, font, p.text) > width) {
      if (flags & DT_PATH_ELLIPSIS)
        p.text = PathEllipsis(m, font, p.text, width);
      else
        p.text = EndEllipsis(m, font, p.text, width, (flags & DT_WORD_ELLIPSIS) != 0);
      if (p.underline >= int(p.text.size()) - 3) p.underline = -1;
    }
    TextLine l;
    l.Text = std::move(p.text);
    l.Underline = p.underline;
    l.Width = Width(m, font, l.Text);
    widest = std::max(widest, l.Width);
    out.Lines.push_back(std::move(l));
  }

  const int total = lineH * int(out.Lines.size());
  int y = rect.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER)
      y = rect.Top + (rect.Height() - lineH) / 2;
    else if (flags & DT_BOTTOM)
      y = rect.Bottom - lineH;
  }
  for (TextLine& l : out.Lines) {
    if (flags & DT_CENTER)
      l.X = rect.Left + (width - l.Width) / 2;
    else if (flags & DT_RIGHT)
      l.X = rect.Right - l.Width;
    else
      l.X = rect.Left;
    l.Y = y;
    y += lineH;
  }
  out.Height = total;
  out.Bounds = {rect.Left, rect.Top, rect.Left + widest, rect.Top + total};
  return out;
}

}  // namespace gui
