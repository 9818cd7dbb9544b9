#pragma once

#include <string>
#include <vector>

#include "region/geometry.h"
#include "region/region.h"

namespace brevaro::region::testing {

inline std::string to_string(const std::vector<Rect>& rects) {
  std::string s;
  for (const Rect& r : rects) {
    s += "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
  }
  return s;
}

inline std::string rects_of(const Region& r) { return to_string(r.rects()); }

}  // namespace brevaro::region::testing
