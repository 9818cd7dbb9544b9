// Windows backend of Region: GDI regions. Rectangles read back from GDI are
// canonicalised into the same banded form as the host backend's.
#include <windows.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/region_data.h"
#include "region/region.h"
#include "region/shapes.h"
#include "region/win32/native.h"

namespace brevaro::region {

namespace {
HRGN h(void* p) { return static_cast<HRGN>(p); }

HRGN must(HRGN r) {
  if (!r) throw std::bad_alloc();
  return r;
}

std::vector<Rect> raw_rects(HRGN rgn) {
  std::vector<Rect> out;
  const DWORD size = GetRegionData(rgn, 0, nullptr);
  if (size == 0) return out;
  std::vector<unsigned char> buf(size);
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  if (GetRegionData(rgn, size, data) == 0) return out;
  const auto* r = reinterpret_cast<const RECT*>(data->Buffer);
  out.reserve(data->rdh.nCount);
  for (DWORD i = 0; i < data->rdh.nCount; ++i) {
    out.push_back(Rect{static_cast<int32_t>(r[i].left), static_cast<int32_t>(r[i].top),
                       static_cast<int32_t>(r[i].right), static_cast<int32_t>(r[i].bottom)});
  }
  return out;
}
}  // namespace

void Region::reset() noexcept {
  // The owner deletes the region as it goes.
  const platform::win32::UniqueRegion owner{h(std::exchange(handle_, nullptr))};
}

Region Region::empty() { return adopt(must(CreateRectRgn(0, 0, 0, 0))); }

Region Region::rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return adopt(must(CreateRectRgn(left, top, right, bottom)));
}

Region Region::ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (!round_rect_within_limits(left, top, right, bottom, static_cast<int32_t>(int64_t{right} - left),
                                static_cast<int32_t>(int64_t{bottom} - top)))
    return empty();
  HRGN r = CreateEllipticRgn(left, top, right, bottom);
  return r ? adopt(r) : empty();
}

Region Region::round_rect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                          int32_t ellipse_height) {
  if (!round_rect_within_limits(left, top, right, bottom, ellipse_width, ellipse_height)) return empty();
  HRGN r = CreateRoundRectRgn(left, top, right, bottom, ellipse_width, ellipse_height);
  return r ? adopt(r) : empty();
}

Region Region::polygon(std::span<const Point> points, FillMode mode) {
  if (!polygon_within_limits(points)) return empty();
  std::vector<POINT> pts(points.size());
  for (size_t i = 0; i < points.size(); ++i) pts[i] = POINT{points[i].x, points[i].y};
  HRGN r = CreatePolygonRgn(pts.data(), static_cast<int>(pts.size()), static_cast<int>(mode));
  return r ? adopt(r) : empty();
}

Region Region::from_rects(std::span<const Rect> rects) {
  std::vector<RECT> native;
  native.reserve(rects.size());
  for (const Rect& r : rects) native.push_back(RECT{r.left, r.top, r.right, r.bottom});
  platform::win32::UniqueRegion r = platform::win32::region_from_rects(native);
  return r ? adopt(r.release()) : empty();
}

Region Region::copy() const {
  Region r = empty();
  CombineRgn(h(r.handle_), h(handle_), nullptr, RGN_COPY);
  return r;
}

void Region::combine(const Region& other, CombineMode mode) {
  CombineRgn(h(handle_), h(handle_), h(other.handle_), static_cast<int>(mode));
}

void Region::offset(int32_t dx, int32_t dy) { OffsetRgn(h(handle_), dx, dy); }

Rect Region::bbox() const {
  RECT r{};
  if (!handle_ || GetRgnBox(h(handle_), &r) == NULLREGION) return {};
  return Rect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
              static_cast<int32_t>(r.bottom)};
}

bool Region::is_empty() const {
  RECT r{};
  return !handle_ || GetRgnBox(h(handle_), &r) == NULLREGION;
}

std::vector<Rect> Region::rects() const {
  if (!handle_) return {};
  return canonicalize(raw_rects(h(handle_)));
}

bool Region::equals(const Region& other) const { return EqualRgn(h(handle_), h(other.handle_)) != FALSE; }

size_t Region::rect_count() const { return handle_ ? raw_rects(h(handle_)).size() : 0; }

}  // namespace brevaro::region
