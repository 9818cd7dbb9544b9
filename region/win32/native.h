// Windows backend access: the GDI region handle behind a Region.
#pragma once

#include <windows.h>

#include "region/region.h"

namespace brevaro::region {

inline HRGN hrgn_of(const Region& r) { return static_cast<HRGN>(r.native_handle()); }
// Gives the handle away (for SetWindowRgn, which takes ownership).
inline HRGN release_hrgn(Region&& r) { return static_cast<HRGN>(r.release()); }
inline Region adopt_hrgn(HRGN h) { return Region::adopt(h); }

}  // namespace brevaro::region
