#include "gui/region.h"

#include <algorithm>

namespace gui {

namespace {

// a minus b as up to four disjoint rectangles.
void Subtract(const Rect& a, const Rect& b, std::vector<Rect>& out) {
  const Rect i = a.Intersect(b);
  if (i.IsEmpty()) {
    out.push_back(a);
    return;
  }
  if (a.Top < i.Top) out.push_back({a.Left, a.Top, a.Right, i.Top});
  if (i.Bottom < a.Bottom) out.push_back({a.Left, i.Bottom, a.Right, a.Bottom});
  if (a.Left < i.Left) out.push_back({a.Left, i.Top, i.Left, i.Bottom});
  if (i.Right < a.Right) out.push_back({i.Right, i.Top, a.Right, i.Bottom});
}

std::vector<Rect> Minus(const std::vector<Rect>& a, const std::vector<Rect>& b) {
  std::vector<Rect> cur = a;
  for (const Rect& r : b) {
    std::vector<Rect> next;
    for (const Rect& c : cur) Subtract(c, r, next);
    cur.swap(next);
  }
  return cur;
}

}  // namespace

Region::Region(const Rect& r) {
  if (!r.IsEmpty()) rects_.push_back(r);
}

Rect Region::Bounds() const {
  Rect b;
  for (const Rect& r : rects_) b = b.Union(r);
  return b;
}

bool Region::Contains(Point p) const {
  for (const Rect& r : rects_)
    if (r.Contains(p)) return true;
  return false;
}

bool Region::Intersects(const Rect& q) const {
  for (const Rect& r : rects_)
    if (r.Intersects(q)) return true;
  return false;
}

long long Region::Area() const {
  long long a = 0;
  for (const Rect& r : rects_) a += (long long)r.Width() * r.Height();
  return a;
}

void Region::Combine(const Region& other, RegionOp op) {
  switch (op) {
    case RegionOp::Copy:
      rects_ = other.rects_;
      break;
    case RegionOp::Or: {
      std::vector<Rect> add = Minus(other.rects_, rects_);
      rects_.insert(rects_.end(), add.begin(), add.end());
      break;
    }
    case RegionOp::Diff:
      rects_ = Minus(rects_, other.rects_);
      break;
    case RegionOp::And: {
      std::vector<Rect> out;
      for (const Rect& a : rects_)
        for (const Rect& b : other.rects_) {
          const Rect i = a.Intersect(b);
          if (!i.IsEmpty()) out.push_back(i);
        }
      rects_.swap(out);
      break;
    }
    case RegionOp::Xor: {
      std::vector<Rect> out = Minus(rects_, other.rects_);
      std::vector<Rect> add = Minus(other.rects_, rects_);
      out.insert(out.end(), add.begin(), add.end());
      rects_.swap(out);
      break;
    }
  }
  Normalize();
}

void Region::Offset(int dx, int dy) {
  for (Rect& r : rects_) r = r.Offset(dx, dy);
}

void Region::Normalize() {
  std::sort(rects_.begin(), rects_.end(), [](const Rect& a, const Rect& b) {
    return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
  });
  // Join horizontal neighbours of the same band, then vertical ones of the
  // same span, so that simple shapes stay few rectangles.
  bool merged = true;
  while (merged) {
    merged = false;
    for (size_t i = 0; i < rects_.size() && !merged; ++i)
      for (size_t j = i + 1; j < rects_.size() && !merged; ++j) {
        Rect& a = rects_[i];
        const Rect& b = rects_[j];
        if (a.Top == b.Top && a.Bottom == b.Bottom && (a.Right == b.Left || b.Right == a.Left)) {
          a = {std::min(a.Left, b.Left), a.Top, std::max(a.Right, b.Right), a.Bottom};
          merged = true;
        } else if (a.Left == b.Left && a.Right == b.Right &&
                   (a.Bottom == b.Top || b.Bottom == a.Top)) {
          a = {a.Left, std::min(a.Top, b.Top), a.Right, std::max(a.Bottom, b.Bottom)};
          merged = true;
        }
        if (merged) rects_.erase(rects_.begin() + long(j));
      }
  }
  std::sort(rects_.begin(), rects_.end(), [](const Rect& a, const Rect& b) {
    return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
  });
}

bool operator==(const Region& a, const Region& b) {
  Region x = a;
  x.Combine(b, RegionOp::Xor);
  return x.IsEmpty();
}

}  // namespace gui
