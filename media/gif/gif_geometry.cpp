#include "media/gif/gif_geometry.h"

#include <algorithm>
#include <cmath>

namespace brevaro::gif {

Rect intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.empty()) return Rect{};
  return r;
}

bool is_stretched(const PaintOptions& o, int cw, int ch, int pw, int ph) {
  if (!(o.stretch || o.stretch_ratio)) return false;
  if (cw == pw && ch == ph) return false;
  if (o.stretch_big_only && cw >= pw && ch >= ph) return false;
  return true;
}

namespace {
// Round to nearest, ties to even (banker's rounding), as the original's Round.
int round_even(float v) {
  float r = std::nearbyint(v);  // default rounding mode: to nearest, ties to even
  return static_cast<int>(r);
}
}  // namespace

Rect picture_rect(const PaintOptions& o, int cw, int ch, int pw, int ph) {
  if (pw <= 0 || ph <= 0) return Rect{};
  const bool stretched = is_stretched(o, cw, ch, pw, ph);
  if (stretched && o.stretch_ratio && !o.stretch) {
    const float sx = static_cast<float>(cw) / static_cast<float>(pw);
    const float sy = static_cast<float>(ch) / static_cast<float>(ph);
    if (sx > sy) {
      const float d = (static_cast<float>(cw) - static_cast<float>(pw) * sy) / 2.0f;
      return Rect{round_even(d), 0, round_even(static_cast<float>(cw) - d), ch};
    }
    const float c = (static_cast<float>(ch) - sx * static_cast<float>(ph)) / 2.0f;
    return Rect{0, round_even(c), cw, round_even(static_cast<float>(ch) - c)};
  }
  if (stretched || o.tile) return Rect{0, 0, cw, ch};
  if (o.center) {
    const int x = (cw - pw) / 2;
    const int y = (ch - ph) / 2;
    return Rect{x, y, x + pw, y + ph};
  }
  return Rect{0, 0, pw, ph};
}

bool is_opaque_covering(bool visible, bool first_frame_transparent, bool loaded, const Rect& picture, int cw, int ch) {
  const Rect client{0, 0, cw, ch};
  if (!visible || first_frame_transparent || !loaded) return false;
  if (client.empty()) return false;
  return intersect(picture, client) == client;
}

TileGrid tile_grid(int cw, int ch, int pw, int ph) {
  if (pw <= 0 || ph <= 0) return TileGrid{};
  return TileGrid{cw / pw + 1, ch / ph + 1};
}

}  // namespace brevaro::gif
