#pragma once
// Points and rectangles in pixels. A rectangle includes its left and top
// edges and excludes its right and bottom edges.

#include <cstdint>

namespace platform {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TPoint TopLeft() const { return {Left, Top}; }
  TPoint BottomRight() const { return {Right, Bottom}; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

using RECT = TRect;
using POINT = TPoint;
using SIZE = TSize;

constexpr TPoint Point(int32_t x, int32_t y) { return {x, y}; }
constexpr TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return {left, top, right, bottom};
}
constexpr TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return {left, top, left + width, top + height};
}

// The common part of two rectangles; false (and an empty Dest) when they do
// not overlap.
bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B);
// The smallest rectangle holding both; an empty rectangle adds nothing.
bool UnionRect(TRect& Dest, const TRect& A, const TRect& B);
void OffsetRect(TRect& R, int32_t dx, int32_t dy);
void InflateRect(TRect& R, int32_t dx, int32_t dy);

}  // namespace platform
