// A region: a set of pixels kept as disjoint rectangles, with the
// combining operations of the window system (and, or, xor, diff, copy).
#pragma once
#include <vector>

#include "gui/geometry.h"

namespace gui {

enum class RegionOp { And, Or, Xor, Diff, Copy };

class Region {
 public:
  Region() = default;
  explicit Region(const Rect& r);

  bool IsEmpty() const { return rects_.empty(); }
  // Disjoint, non-empty rectangles covering the region, sorted by top then
  // left (a backend builds its native region from them).
  const std::vector<Rect>& Rects() const { return rects_; }
  // The smallest rectangle holding the region (all zero when empty).
  Rect Bounds() const;
  bool Contains(Point p) const;
  // Whether any pixel of r is in the region.
  bool Intersects(const Rect& r) const;
  // Number of pixels.
  long long Area() const;

  // this = this op other (Copy: this = other).
  void Combine(const Region& other, RegionOp op);
  void Combine(const Rect& r, RegionOp op) { Combine(Region(r), op); }
  void Offset(int dx, int dy);
  void Clear() { rects_.clear(); }

  // Same set of pixels (whatever the rectangles).
  friend bool operator==(const Region& a, const Region& b);

 private:
  void Normalize();
  std::vector<Rect> rects_;
};

}  // namespace gui
