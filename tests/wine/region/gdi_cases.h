// The table of descriptions whose regions GDI (tests/wine/region) and the
// host backend (tests/host/region) must both give: tests/data/region/
// gdi_cases.inc, generated on the host by make_gdi_cases.py.
#pragma once

#include <sstream>
#include <vector>

#include "region/geometry.h"

namespace brevaro::region::testing {

struct GdiCase {
  const char* description;
  const char* rects;  // "left top right bottom ..." in canonical banded order
};

inline const GdiCase kGdiCases[] = {
#include "tests/data/region/gdi_cases.inc"
};

inline std::vector<Rect> parse_rects(const char* text) {
  std::istringstream in(text);
  std::vector<Rect> out;
  Rect r;
  while (in >> r.left >> r.top >> r.right >> r.bottom) out.push_back(r);
  return out;
}

// The geometry the cases were generated with (the tool's defaults).
inline Geometry gdi_case_geometry() { return Geometry::whole_window(871, 488); }

}  // namespace brevaro::region::testing
