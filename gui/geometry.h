// Points, sizes and rectangles in pixels, with the window system's rules:
// a rectangle holds its left and top edges but not its right and bottom
// ones.
#pragma once
#include <cstdint>

namespace gui {

struct Point {
  int X = 0;
  int Y = 0;
  constexpr Point() = default;
  constexpr Point(int x, int y) : X(x), Y(y) {}
  friend constexpr bool operator==(Point a, Point b) { return a.X == b.X && a.Y == b.Y; }
  friend constexpr Point operator+(Point a, Point b) { return {a.X + b.X, a.Y + b.Y}; }
  friend constexpr Point operator-(Point a, Point b) { return {a.X - b.X, a.Y - b.Y}; }
};

struct Size {
  int Width = 0;
  int Height = 0;
  constexpr Size() = default;
  constexpr Size(int w, int h) : Width(w), Height(h) {}
  friend constexpr bool operator==(Size a, Size b) { return a.Width == b.Width && a.Height == b.Height; }
};

struct Rect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr Rect() = default;
  constexpr Rect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
  static constexpr Rect FromSize(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr Point TopLeft() const { return {Left, Top}; }
  constexpr Point BottomRight() const { return {Right, Bottom}; }
  // No area: right <= left or bottom <= top.
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  // Right and bottom edges excluded.
  constexpr bool Contains(Point p) const {
    return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
  }
  // The common part; an empty rectangle (all zero) when there is none.
  Rect Intersect(const Rect& o) const;
  bool Intersects(const Rect& o) const { return !Intersect(o).IsEmpty(); }
  // The smallest rectangle holding both; an empty one adds nothing.
  Rect Union(const Rect& o) const;
  Rect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  // Grows each side by dx / dy (negative shrinks).
  Rect Inflate(int dx, int dy) const { return {Left - dx, Top - dy, Right + dx, Bottom + dy}; }
  friend constexpr bool operator==(const Rect& a, const Rect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
  }
};

// a * b / c rounded to the nearest (halves away from zero) over a 64-bit
// intermediate; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Low and high 16 bits of a message parameter, as the window system packs
// coordinates: signed (the usual reading) and unsigned.
constexpr int LoWordSigned(intptr_t v) { return int16_t(uint16_t(uintptr_t(v) & 0xFFFF)); }
constexpr int HiWordSigned(intptr_t v) { return int16_t(uint16_t((uintptr_t(v) >> 16) & 0xFFFF)); }
constexpr int LoWord(intptr_t v) { return int(uintptr_t(v) & 0xFFFF); }
constexpr int HiWord(intptr_t v) { return int((uintptr_t(v) >> 16) & 0xFFFF); }
constexpr intptr_t MakeLParam(int lo, int hi) {
  return intptr_t(uint32_t((uint32_t(uint16_t(lo))) | (uint32_t(uint16_t(hi)) << 16)));
}
inline Point PointFromLParam(intptr_t lp) { return {LoWordSigned(lp), HiWordSigned(lp)}; }

}  // namespace gui
