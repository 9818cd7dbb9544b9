#include "media/ui/gif_control.h"

#include <algorithm>

#include "base/scope_exit.h"
#include "ui/application.h"

namespace brevaro::media {

namespace {

// Marks surface pixels the model did not draw (canvas pixels are 0x00RRGGBB).
constexpr gif::Pixel kUntouched = 0xFF000000u;

FileReader port_file_reader(platform::FileSystem& fs) {
  return [&fs](const std::string& path) -> std::optional<std::vector<std::uint8_t>> {
    if (!fs.file_exists(path)) return std::nullopt;
    const auto bytes = fs.read_file(path);
    if (!bytes) throw GifFileError("Cannot open file \"" + path + "\"");
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
  };
}

}  // namespace

TGIFImage::TGIFImage(ui::Component* owner, std::string_view name, ui::WinControl* parent, ui::Rect bounds)
    : ui::Control(owner, name, parent, bounds), platform_(make_media_platform(application())), model_([this] {
        GifImageServices s;
        s.host = this;
        s.timer_factory = timer_ex_factory(platform_->timer_services());
        MediaPlatform* platform = platform_.get();
        s.tick_count = [platform] { return platform->tick_count(); };
        s.read_file = port_file_reader(application().ports().fs);
        return s;
      }()) {
  model_.set_bounds(bounds.left, bounds.top, bounds.width, bounds.height);
}

TGIFImage::~TGIFImage() = default;

bool TGIFImage::load_from_file(const std::string& path) {
  const bool ok = model_.load_from_file(path);
  sync_bounds_from_model();
  return ok;
}

bool TGIFImage::load_from_memory(std::span<const std::uint8_t> bytes) {
  const bool ok = model_.load_from_memory(bytes);
  sync_bounds_from_model();
  return ok;
}

void TGIFImage::set_auto_size(bool v) {
  model_.set_auto_size(v);
  sync_bounds_from_model();
}

void TGIFImage::set_threaded(bool v) {
  platform_->set_worker_delivery(v);
  model_.set_threaded(v);
}

// AutoSize sizes the model; the control follows.
void TGIFImage::sync_bounds_from_model() {
  const ui::Rect r{model_.left(), model_.top(), model_.width(), model_.height()};
  if (r != bounds()) ui::Control::set_bounds(r);
}

void TGIFImage::set_bounds(ui::Rect r) {
  model_.set_bounds(r.left, r.top, r.width, r.height);
  ui::Control::set_bounds(ui::Rect{model_.left(), model_.top(), model_.width(), model_.height()});
}

void TGIFImage::set_visible(bool v) {
  ui::Control::set_visible(v);
  model_.set_visible(v);
}

void TGIFImage::invalidate() {
  if (in_paint_) return;  // paint() draws the current state anyway
  ui::WinControl* p = parent();
  if (p && p->has_peer()) p->peer().invalidate_rect(bounds());
}

void TGIFImage::repaint_now() {
  ui::WinControl* p = parent();
  if (in_paint_ || !p || !p->has_peer()) return;
  p->peer().invalidate_rect(bounds());
  p->peer().update();
}

void TGIFImage::paint(ui::Canvas& canvas) {
  const ui::Rect b = bounds();
  if (b.width <= 0 || b.height <= 0) return;
  Surface surface(b.width, b.height, kUntouched);
  {
    // Cleared also when re-arming the timer raises (no more timers), or the
    // control would never be invalidated again.
    in_paint_ = true;
    const base::ScopeExit done([this] { in_paint_ = false; });
    style_changed_ = false;
    model_.wm_paint(surface, 0, 0);
    if (style_changed_) {
      // The model skips one paint when the opaque style changes, for the
      // framework to repaint with the new style; ours needs none.
      surface = Surface(b.width, b.height, kUntouched);
      model_.wm_paint(surface, 0, 0);
    }
  }

  ui::Bitmap bitmap;
  bitmap.width = b.width;
  bitmap.height = b.height;
  bitmap.pixels = std::move(surface.pixels);
  std::vector<std::uint8_t> transparent(bitmap.pixels.size());
  std::size_t clear = 0;
  for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) {
    if (bitmap.pixels[i] == kUntouched) {
      transparent[i] = 1;
      bitmap.pixels[i] = 0;
      ++clear;
    }
  }
  if (clear == bitmap.pixels.size()) return;
  if (clear == 0) {
    canvas.draw_bitmap(ui::Point{b.left, b.top}, bitmap);
  } else {
    canvas.draw_masked_bitmap(ui::Point{b.left, b.top}, bitmap, transparent);
  }
}

}  // namespace brevaro::media
