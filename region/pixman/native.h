// Host backend access: the pixman region behind a Region.
#pragma once

#include <pixman.h>

#include "region/region.h"

namespace brevaro::region {

inline pixman_region32_t* pixman_of(const Region& r) { return static_cast<pixman_region32_t*>(r.native_handle()); }

}  // namespace brevaro::region
