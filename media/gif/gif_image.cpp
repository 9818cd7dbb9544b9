#include "media/gif/gif_image.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/file_read.h"
#include "base/scope_exit.h"

namespace brevaro::media {

using gif::Pixel;
using gif::Rect;

FileReader standard_file_reader() {
  return [](const std::string& path) -> std::optional<std::vector<std::uint8_t>> {
    base::FileReadResult file = base::read_whole_file(path);
    switch (file.status) {
      case base::FileReadStatus::ok: return std::move(file.bytes);
      case base::FileReadStatus::missing: return std::nullopt;
      case base::FileReadStatus::cannot_open: throw GifFileError("Cannot open file \"" + path + "\"");
      case base::FileReadStatus::read_error: break;
    }
    throw GifFileError("Read error on \"" + path + "\"");
  };
}

GifImage::GifImage(GifImageServices services) : services_(std::move(services)) {
  if (!services_.read_file) services_.read_file = standard_file_reader();
}

GifImage::~GifImage() {
  reset();
  timer_.reset();
}

// ---------------------------------------------------------------- loading

bool GifImage::load_from_file(const std::string& path) {
  std::optional<std::vector<std::uint8_t>> bytes = services_.read_file(path);  // may raise GifFileError
  if (!bytes) {
    status_ = GifStatus::file_not_found;
    return false;
  }
  return load_bytes(std::move(*bytes));
}

bool GifImage::load_from_memory(std::span<const std::uint8_t> bytes) {
  return load_bytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> GifImage::write_data_property() const {
  std::vector<std::uint8_t> out;
  if (data_.empty()) return out;
  const std::uint32_t n = static_cast<std::uint32_t>(data_.size());
  out.reserve(data_.size() + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  out.insert(out.end(), data_.begin(), data_.end());
  return out;
}

bool GifImage::read_data_property(std::span<const std::uint8_t> stored) {
  if (stored.size() < 4) return false;
  const std::uint32_t n = static_cast<std::uint32_t>(stored[0]) | (static_cast<std::uint32_t>(stored[1]) << 8) |
                          (static_cast<std::uint32_t>(stored[2]) << 16) | (static_cast<std::uint32_t>(stored[3]) << 24);
  if (stored.size() - 4 < n) return false;
  stored_.assign(stored.begin() + 4, stored.begin() + 4 + n);
  return true;
}

void GifImage::form_loaded() {
  if (stored_.empty()) return;
  std::vector<std::uint8_t> bytes = std::move(stored_);
  stored_.clear();
  load_bytes(std::move(bytes));
}

void GifImage::reset() {
  stop_timer();
  gif_ = gif::GifFile{};
  composer_.clear();
  data_.clear();
  current_frame_ = 1;
  pass_ = 1;
  first_tick_pending_ = true;
  loaded_ = false;
  animated_ = false;
}

void GifImage::clear() {
  reset();  // CurrentFrame 1, as after every load
  bool changed = false;
  compute_paint_flags(changed);
  invalidate();
}

bool GifImage::load_bytes(std::vector<std::uint8_t> bytes) {
  reset();
  data_ = std::move(bytes);

  gif::ParseOptions options;
  options.limits = limits_;
  options.first_image_only = first_image_only_;
  bool aborted = false;
  if (on_progress) {
    options.progress = [this, &aborted](std::size_t position, std::size_t size) {
      bool keep = true;
      const int percentage =
          size == 0
              ? 0
              : static_cast<int>(std::nearbyint(100.0 * static_cast<double>(position) / static_cast<double>(size)));
      on_progress(*this, static_cast<int>(position), static_cast<int>(size), percentage, keep);
      if (!keep) aborted = true;
      return keep;
    };
  }
  gif::GifFile parsed;
  gif::ParseStatus st;
  try {
    st = gif::parse_gif(data_, options, parsed);
  } catch (const std::bad_alloc&) {
    st = gif::ParseStatus::canvas_too_large;  // out of memory (a 32-bit process): fails cleanly
  }
  if (st != gif::ParseStatus::ok) {
    clear();
    status_ = st == gif::ParseStatus::empty     ? GifStatus::empty_data
              : st == gif::ParseStatus::aborted ? GifStatus::aborted
                                                : GifStatus::invalid_data;
    return false;
  }
  gif_ = std::move(parsed);
  current_frame_ = 1;

  if (auto_size_) set_bounds(left_, top_, gif_.picture_width, gif_.picture_height);
  animated_ = gif_.frames.size() > 1;
  loaded_ = true;
  bool changed = false;
  compute_paint_flags(changed);

  try {
    composer_.reset(gif_);  // black canvas; mask all transparent when any frame is
  } catch (const std::bad_alloc&) {
    clear();
    status_ = GifStatus::invalid_data;
    return false;
  }
  fire(on_changing);
  if (loaded_ && !gif_.frames.empty()) composer_.draw(gif_, 0);
  fire(on_change);
  status_ = GifStatus::success;
  if (services_.host) services_.host->query_new_palette();
  invalidate();
  return true;
}

// -------------------------------------------------------------- properties

void GifImage::invalidate() {
  if (services_.host) services_.host->invalidate();
}

void GifImage::repaint_now() {
  if (painting_ || !visible_ || !services_.host) return;
  // Cleared also when the paint raises, or immediate repaints would stop for good.
  painting_ = true;
  const base::ScopeExit done([this] { painting_ = false; });
  services_.host->repaint_now();
}

std::uint32_t GifImage::frame_interval(int frame) const {
  if (animate_ && gif_.frames.size() > 1 && frame >= 1 && frame <= frame_count()) {
    const std::int64_t delay = std::max<std::int64_t>(gif_.frames[static_cast<std::size_t>(frame - 1)].delay_ms, 50);
    return static_cast<std::uint32_t>(std::max<std::int64_t>(delay * 100 / speed_, 1));
  }
  return 1;
}

void GifImage::start_timer(std::uint32_t interval) {
  if (!timer_) {
    if (!services_.timer_factory) return;
    timer_ = services_.timer_factory([this] { tick(); }, threaded_, priority_);
    if (!timer_) return;
  } else if (release_timer_) {
    timer_->set_enabled(true);
  }
  release_timer_ = false;
  timer_->set_interval(interval);
}

void GifImage::stop_timer() {
  if (!timer_) return;
  if (tick_depth_ > 0) {
    // Freed from inside its own tick: stop it now, free it when the tick returns.
    timer_->set_enabled(false);
    release_timer_ = true;
    return;
  }
  timer_.reset();
  release_timer_ = false;
}

void GifImage::set_animate(bool v) {
  if (v == animate_) return;
  animate_ = v;
  if (v) {
    pass_ = 1;
    if (loaded_ && animated_) start_timer(frame_interval(current_frame_));
  } else {
    stop_timer();
    if (loaded_ && current_frame_ >= 2) {
      composer_.dispose(gif_, static_cast<std::size_t>(current_frame_ - 2));
      current_frame_ = 1;
      composer_.draw(gif_, 0);
      invalidate();
    }
  }
}

void GifImage::set_auto_size(bool v) {
  auto_size_ = v;
  if (v && loaded_) {
    set_bounds(left_, top_, gif_.picture_width, gif_.picture_height);
    invalidate();
  }
}

void GifImage::set_current_frame(int n) {
  if (n < 1 || n > frame_count()) {
    status_ = GifStatus::out_of_range;
    return;
  }
  if (n == current_frame_) return;
  fire(on_changing);
  if (current_frame_ >= 1 && current_frame_ <= frame_count()) {
    composer_.dispose(gif_, static_cast<std::size_t>(current_frame_ - 1));
  }
  if (n > frame_count()) return;  // a handler changed the picture
  current_frame_ = n;
  composer_.draw(gif_, static_cast<std::size_t>(n - 1));
  repaint_now();
  fire(on_change);
}

void GifImage::set_loop(bool v) {
  if (v == loop_) return;
  loop_ = v;
  if (v && loaded_ && !timer_running() && gif_.loop_count > 0 && pass_ > gif_.loop_count) {
    current_frame_ = 1;
    pass_ = 1;
    if (animated_ && animate_) start_timer(frame_interval(1));
  }
}

void GifImage::set_speed(int v) {
  if (v < 1) v = 1;
  if (v == speed_) return;
  speed_ = v;
  if (timer_running() && gif_.frames.size() > 1) timer_->set_interval(1);
}

#define BREVARO_STORE_AND_INVALIDATE(field, value) \
  do {                                             \
    if ((field) != (value)) {                      \
      (field) = (value);                           \
      invalidate();                                \
    }                                              \
  } while (0)

void GifImage::set_center(bool v) { BREVARO_STORE_AND_INVALIDATE(paint_.center, v); }
void GifImage::set_opaque(bool v) { BREVARO_STORE_AND_INVALIDATE(opaque_, v); }
void GifImage::set_stretch(bool v) { BREVARO_STORE_AND_INVALIDATE(paint_.stretch, v); }
void GifImage::set_stretch_ratio(bool v) { BREVARO_STORE_AND_INVALIDATE(paint_.stretch_ratio, v); }
void GifImage::set_stretch_big_only(bool v) { BREVARO_STORE_AND_INVALIDATE(paint_.stretch_big_only, v); }
void GifImage::set_tile(bool v) { BREVARO_STORE_AND_INVALIDATE(paint_.tile, v); }
void GifImage::set_color(Pixel c) { BREVARO_STORE_AND_INVALIDATE(color_, c); }

#undef BREVARO_STORE_AND_INVALIDATE

void GifImage::set_visible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  invalidate();
  if (services_.host) services_.host->query_new_palette();
}

void GifImage::set_threaded(bool v) {
  threaded_ = v;
  if (timer_) timer_->set_threaded(v);
}

void GifImage::set_thread_priority(ThreadPriority v) {
  priority_ = v;
  if (timer_) timer_->set_thread_priority(v);
}

void GifImage::set_bounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
}

Rect GifImage::picture_rect() const {
  if (!loaded_) return Rect{};
  return gif::picture_rect(paint_, width_, height_, gif_.picture_width, gif_.picture_height);
}

std::optional<gif::Palette> GifImage::palette() const {
  if (!loaded_ || !visible_ || gif_.frames.empty()) return std::nullopt;
  const int n = std::clamp(current_frame_, 1, frame_count());
  return gif_.frames[static_cast<std::size_t>(n - 1)].palette;
}

std::optional<FrameImage> GifImage::first_frame_image() const {
  if (!loaded_ || gif_.frames.empty()) return std::nullopt;
  const gif::Frame& f = gif_.frames[0];
  FrameImage img;
  img.width = f.width;
  img.height = f.height;
  img.indices = f.pixels;
  img.palette = f.palette;
  img.palette_entries = f.palette_depth > 0 ? 1 << f.palette_depth : 0;
  return img;
}

// ---------------------------------------------------------------- painting

void GifImage::compute_paint_flags(bool& changed) {
  stretched_ = loaded_ && gif::is_stretched(paint_, width_, height_, gif_.picture_width, gif_.picture_height);
  const bool first_transparent = loaded_ && !gif_.frames.empty() && gif_.frames[0].transparent;
  const bool covering = gif::is_opaque_covering(visible_, first_transparent, loaded_, picture_rect(), width_, height_);
  changed = covering != opaque_covering_;
  opaque_covering_ = covering;
  if (changed && services_.host) services_.host->set_opaque_style(covering);
}

void GifImage::paint_to(Surface& target, int ox, int oy) {
  if (!visible_) return;
  const Rect client{0, 0, width_, height_};
  auto put = [&](int cx, int cy, Pixel p) {
    const int tx = ox + cx, ty = oy + cy;
    if (cx < 0 || cy < 0 || cx >= width_ || cy >= height_) return;
    if (tx < 0 || ty < 0 || tx >= target.width || ty >= target.height) return;
    target.at(tx, ty) = p;
  };
  if (opaque_ && !opaque_covering_) {
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) put(x, y, color_);
  }
  if (!loaded_ || gif_.frames.empty()) return;
  const gif::Canvas& cv = composer_.canvas();
  if (cv.pixels.empty()) return;
  const bool transparent_draw = gif_.frames[0].transparent && cv.has_mask();
  // One picture cell: canvas pixel (sx, sy) goes to control pixel (cx, cy).
  auto draw_cell = [&](int cx, int cy, int sx, int sy) {
    const int tx = ox + cx, ty = oy + cy;
    if (cx < 0 || cy < 0 || cx >= width_ || cy >= height_) return;
    if (tx < 0 || ty < 0 || tx >= target.width || ty >= target.height) return;
    if (transparent_draw && cv.transparent_at(sx, sy)) return;  // AND mask, XOR black canvas
    target.at(tx, ty) = cv.at(sx, sy);
  };
  const int pw = cv.width, ph = cv.height;
  const Rect pr = picture_rect();
  if (stretched_) {
    const Rect r = gif::intersect(pr, client);
    if (pr.empty()) return;
    for (int y = r.top; y < r.bottom; ++y) {
      const int sy = static_cast<int>(static_cast<std::int64_t>(y - pr.top) * ph / pr.height());
      for (int x = r.left; x < r.right; ++x) {
        const int sx = static_cast<int>(static_cast<std::int64_t>(x - pr.left) * pw / pr.width());
        draw_cell(x, y, sx, sy);
      }
    }
  } else if (paint_.tile) {
    const gif::TileGrid g = gif::tile_grid(width_, height_, pw, ph);
    for (int row = 0; row < g.rows; ++row)
      for (int col = 0; col < g.columns; ++col)
        for (int y = 0; y < ph && row * ph + y < height_; ++y)
          for (int x = 0; x < pw && col * pw + x < width_; ++x) draw_cell(col * pw + x, row * ph + y, x, y);
  } else {
    const Rect r = gif::intersect(pr, client);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) draw_cell(x, y, x - pr.left, y - pr.top);
  }
}

void GifImage::wm_paint(Surface& target, int x, int y) {
  bool changed = false;
  compute_paint_flags(changed);
  if (changed) {
    invalidate();
  } else {
    paint_to(target, x, y);
  }
  after_paint();
}

void GifImage::after_paint() {
  const bool runs = animated_ && animate_ && loaded_ && (gif_.loop_count >= pass_ || loop_ || gif_.loop_count == 0);
  if (runs) {
    start_timer(frame_interval(current_frame_));
  } else {
    stop_timer();
  }
}

// --------------------------------------------------------------- animation

void GifImage::tick() {
  if (!loaded_ || !animate_ || !timer_ || release_timer_ || gif_.frames.empty()) return;
  // Leaves the tick also when a handler raises: the depth comes back down
  // and a timer stopped during the tick is still freed at its end.
  ++tick_depth_;
  const base::ScopeExit leave([this] {
    if (--tick_depth_ == 0 && release_timer_) {
      // Freed at the end of its own tick: the timer allows being
      // destroyed from inside its tick; nothing of it is touched afterwards.
      std::unique_ptr<AnimationTimer> dying = std::move(timer_);
      release_timer_ = false;
      dying.reset();
    }
  });
  const std::uint32_t t0 = now();
  const int n = frame_count();
  if (current_frame_ < 1 || current_frame_ > n) current_frame_ = 1;
  fire(on_changing);
  bool wrapped = false;
  // A handler may have changed the picture: only go on with the same one.
  if (loaded_ && frame_count() == n && current_frame_ >= 1 && current_frame_ <= n) {
    if (first_tick_pending_) {
      first_tick_pending_ = false;
    } else {
      const int previous = current_frame_ == 1 ? n : current_frame_ - 1;
      composer_.dispose(gif_, static_cast<std::size_t>(previous - 1));
      composer_.draw(gif_, static_cast<std::size_t>(current_frame_ - 1));
      repaint_now();
    }
    const std::int64_t delay =
        std::max<std::int64_t>(gif_.frames[static_cast<std::size_t>(current_frame_ - 1)].delay_ms, 50);
    const std::int64_t elapsed = static_cast<std::uint32_t>(now() - t0);
    const std::int64_t next = std::max<std::int64_t>(delay * 100 / speed_ - elapsed, 1);
    if (timer_ && !release_timer_) timer_->set_interval(static_cast<std::uint32_t>(next));
    ++current_frame_;
    wrapped = current_frame_ > n;
    if (!loop_ && gif_.loop_count > 0 && wrapped) {
      ++pass_;
      if (pass_ > gif_.loop_count) stop_timer();  // CurrentFrame stays past the end
    } else if (wrapped) {
      current_frame_ = 1;
    }
  }
  fire(on_change);
  if (wrapped) fire(on_wrap_animation);
}

}  // namespace brevaro::media
