#include "gui/geometry.h"

#include <algorithm>

namespace gui {

Rect Rect::Intersect(const Rect& o) const {
  Rect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
         std::min(Bottom, o.Bottom)};
  return r.IsEmpty() ? Rect{} : r;
}

Rect Rect::Union(const Rect& o) const {
  if (o.IsEmpty()) return *this;
  if (IsEmpty()) return o;
  return {std::min(Left, o.Left), std::min(Top, o.Top), std::max(Right, o.Right),
          std::max(Bottom, o.Bottom)};
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t p = int64_t(a) * b;
  const bool neg = (p < 0) != (c < 0);
  const int64_t ap = p < 0 ? -p : p;
  const int64_t ac = c < 0 ? -int64_t(c) : int64_t(c);
  int64_t q = (ap + ac / 2) / ac;
  return int(neg ? -q : q);
}

}  // namespace gui
