// The region value type: one region with exactly one owner (move-only RAII).
// Two backends implement it behind this one interface:
//  - Windows: a GDI region handle (region/win32/region_gdi.cpp);
//  - host: a pixman_region32_t (region/pixman/region_pixman.cpp), with the
//    shapes scan-converted by region/shapes.cpp after the platform's pixel
//    rules.
// A Region is either "none" (default-constructed or moved-from: it holds no
// region at all) or a region, possibly empty. Operations other than the
// constructors, `valid` and assignment require a region that is not none.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "region/geometry.h"

namespace brevaro::region {

class Region {
 public:
  Region() noexcept = default;  // none
  Region(Region&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Region& operator=(Region&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  ~Region() { reset(); }

  // Constructors of the platform's region API.
  static Region empty();
  static Region rect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  static Region ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
  static Region round_rect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                           int32_t ellipse_height);
  static Region polygon(std::span<const Point> points, FillMode mode);
  // Region data: the union of the given rectangles (any order, may overlap).
  static Region from_rects(std::span<const Rect> rects);

  bool valid() const noexcept { return handle_ != nullptr; }
  explicit operator bool() const noexcept { return valid(); }

  // A new region equal to this one; the caller owns it.
  Region copy() const;
  // this := this <mode> other (Copy: this := other).
  void combine(const Region& other, CombineMode mode);
  void offset(int32_t dx, int32_t dy);
  // Bounding box; (0,0,0,0) for an empty region.
  Rect bbox() const;
  bool is_empty() const;
  // The rectangles in canonical banded form (see canonicalize()).
  std::vector<Rect> rects() const;
  bool equals(const Region& other) const;
  // Number of rectangles in the backend's own representation.
  size_t rect_count() const;

  // Backend access (region/win32/native.h, region/pixman/native.h).
  void* native_handle() const noexcept { return handle_; }
  void* release() noexcept {
    void* h = handle_;
    handle_ = nullptr;
    return h;
  }
  static Region adopt(void* handle) noexcept {
    Region r;
    r.handle_ = handle;
    return r;
  }

 private:
  void reset() noexcept;
  void* handle_ = nullptr;
};

}  // namespace brevaro::region
