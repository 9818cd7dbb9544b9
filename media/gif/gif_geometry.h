// Painting geometry of the GIF control, as pure
// functions of the control's options and sizes.
#pragma once

namespace brevaro::gif {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

Rect intersect(const Rect& a, const Rect& b);

struct PaintOptions {
  bool center = false;
  bool stretch = false;
  bool stretch_ratio = false;
  bool stretch_big_only = false;
  bool tile = false;
};

// (Stretch or StretchRatio) and the control's size differs from the picture
// size and not (StretchBigOnly and the control is at least as wide and as
// high as the picture).
bool is_stretched(const PaintOptions& o, int control_w, int control_h, int picture_w, int picture_h);

// The picture rectangle in control coordinates. StretchRatio uses single
// precision and rounds the ends to the nearest integer, ties to even.
Rect picture_rect(const PaintOptions& o, int control_w, int control_h, int picture_w, int picture_h);

// The picture covers the client area opaquely.
bool is_opaque_covering(bool visible, bool first_frame_transparent, bool loaded, const Rect& picture, int control_w,
                        int control_h);

// Tiling: cells of picture size from (0,0), control_w / picture_w + 1
// columns and control_h / picture_h + 1 rows.
struct TileGrid {
  int columns = 0, rows = 0;
};
TileGrid tile_grid(int control_w, int control_h, int picture_w, int picture_h);

}  // namespace brevaro::gif
