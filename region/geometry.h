// Plain geometry types of the region subsystem: rectangles, points, combine
// and fill modes with the platform's numbering (RGN_AND = 1 ... RGN_COPY = 5,
// ALTERNATE = 1, WINDING = 2).
#pragma once

#include <cstdint>
#include <vector>

namespace brevaro::region {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

enum class CombineMode : int { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };
enum class FillMode : int { Alternate = 1, Winding = 2 };

// Rewrites any set of rectangles (overlapping or not, in any order) into the
// canonical banded form of the union they cover: bands from top to bottom,
// inside a band disjoint, non-touching spans from left to right, and
// vertically adjacent bands with equal spans merged into one. Empty
// rectangles are dropped. O(n log n) for n rectangles plus the output size.
std::vector<Rect> canonicalize(std::vector<Rect> rects);

// True when `rects` is already in that canonical form.
bool is_canonical(const std::vector<Rect>& rects);

}  // namespace brevaro::region
