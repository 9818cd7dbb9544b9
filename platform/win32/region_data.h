// GDI regions from lists of rectangles: the one RGNDATA builder that the
// window shapes and the region values share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

#include "platform/win32/handles.h"

namespace brevaro::platform::win32 {

// The RGNDATA block for the union of the rectangles. Empty rectangles add
// nothing and are left out; the header counts the others, gives their size in
// bytes and their bounding box (all zero when none is left).
inline std::vector<std::byte> region_data(std::span<const RECT> rects) {
  const auto non_empty = [](const RECT& r) { return r.left < r.right && r.top < r.bottom; };
  const auto count = static_cast<std::size_t>(std::count_if(rects.begin(), rects.end(), non_empty));
  std::vector<std::byte> block(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
  RGNDATAHEADER head{};
  head.dwSize = sizeof(RGNDATAHEADER);
  head.iType = RDH_RECTANGLES;
  head.nCount = static_cast<DWORD>(count);
  head.nRgnSize = static_cast<DWORD>(count * sizeof(RECT));
  std::byte* out = block.data() + sizeof(RGNDATAHEADER);
  bool first = true;
  for (const RECT& r : rects) {
    if (!non_empty(r)) continue;
    if (first) {
      head.rcBound = r;
      first = false;
    } else {
      head.rcBound.left = std::min(head.rcBound.left, r.left);
      head.rcBound.top = std::min(head.rcBound.top, r.top);
      head.rcBound.right = std::max(head.rcBound.right, r.right);
      head.rcBound.bottom = std::max(head.rcBound.bottom, r.bottom);
    }
    std::memcpy(out, &r, sizeof(RECT));
    out += sizeof(RECT);
  }
  std::memcpy(block.data(), &head, sizeof(RGNDATAHEADER));
  return block;
}

// A region that is the union of the rectangles; an empty owner when GDI fails.
inline UniqueRegion region_from_rects(std::span<const RECT> rects) {
  const std::vector<std::byte> block = region_data(rects);
  return UniqueRegion{
      ExtCreateRegion(nullptr, static_cast<DWORD>(block.size()), reinterpret_cast<const RGNDATA*>(block.data()))};
}

}  // namespace brevaro::platform::win32
