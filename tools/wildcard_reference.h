// A deliberately plain recursive wildcard matcher, a word-for-word reading
// of the matching rules, kept as the yardstick the tests and the fuzz
// target hold MatchWildcard against. Results are remembered per (pattern
// position, text position) so that runs of stars cannot make it explode.
#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace testref {

class WildcardReference {
 public:
  WildcardReference(std::string_view pattern, std::string_view text)
      : pat_(pattern), text_(text), memo_((pattern.size() + 1) * (text.size() + 1), -1) {}

  bool Match() { return pat_.empty() || From(0, 0); }

 private:
  bool From(std::size_t p, std::size_t t) {
    signed char& m = memo_[p * (text_.size() + 1) + t];
    if (m < 0) m = Step(p, t) ? 1 : 0;
    return m == 1;
  }

  bool Step(std::size_t p, std::size_t t) {
    for (;;) {
      if (t >= text_.size() && p >= pat_.size()) return true;
      if (p >= pat_.size()) return false;
      if (pat_[p] == '*') {
        if (p + 1 == pat_.size()) return true;
        // Every start from t up to the last text character, at least one.
        std::size_t last = text_.size() > t ? text_.size() - 1 : t;
        for (std::size_t s = t; s <= last; ++s)
          if (From(p + 1, s)) return true;
        return false;
      }
      if (t >= text_.size()) return false;
      if (pat_[p] != '?' && plat::UpperAsciiChar(pat_[p]) != plat::UpperAsciiChar(text_[t]))
        return false;
      ++p;
      ++t;
    }
  }

  std::string_view pat_, text_;
  std::vector<signed char> memo_;
};

inline bool Wildcard(std::string_view pattern, std::string_view text) {
  return WildcardReference(pattern, text).Match();
}

}  // namespace testref
