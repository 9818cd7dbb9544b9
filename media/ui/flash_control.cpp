#include "media/ui/flash_control.h"

#include <algorithm>
#include <span>
#include <utility>

#include "media/swf/swf_movie.h"
#include "ui/application.h"

namespace brevaro::media {

namespace {

constexpr std::uint32_t kWmSize = 0x0005;
constexpr std::uint32_t kWmShowWindow = 0x0018;
constexpr std::uintptr_t kSizeMinimized = 1;

}  // namespace

TShockwaveFlash::TShockwaveFlash(ui::Component* owner, std::string_view name, ui::WinControl* parent, ui::Rect bounds)
    : ui::Control(owner, name, parent, bounds),
      model_([fs = &application().ports().fs](const std::string& path) -> std::optional<std::vector<std::uint8_t>> {
        const auto bytes = fs->read_file(path);
        if (!bytes) return std::nullopt;
        return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
      }) {
  timer_ = &make<ui::Timer>("FrameClock", 1000, false);
  timer_->set_on_timer([this](ui::Timer&) { tick(); });
}

TShockwaveFlash::~TShockwaveFlash() {
  // The clock goes first: no tick reaches a control that is going.
  if (timer_) {
    ui::Timer& t = *timer_;
    timer_ = nullptr;
    free_component(t);
  }
  unwatch_top_window();
}

void TShockwaveFlash::set_scale(std::string_view s) {
  if (s == model_.scale()) return;
  model_.set_scale(std::string(s));
  frame_valid_ = false;
  invalidate();
}

void TShockwaveFlash::set_movie(std::string_view path) {
  model_.set_movie(std::string(path));
  player_.reset();
  frame_valid_ = false;
  minimized_ = false;
  if (model_.loaded()) {
    if (const auto bytes = application().ports().fs.read_file(model_.movie())) {
      swf::Movie movie;
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->data());
      if (swf::parse_movie(std::span<const std::uint8_t>(data, bytes->size()), movie) == SwfStatus::ok)
        player_ = std::make_unique<swf::Player>(std::move(movie));
    }
  }
  if (player_) {
    timer_->set_interval(static_cast<std::uint32_t>(player_->frame_interval_ms()));
    watch_top_window();
  } else {
    unwatch_top_window();
  }
  update_clock();
  invalidate();
}

void TShockwaveFlash::set_bounds(ui::Rect r) {
  if (r.width != bounds().width || r.height != bounds().height) frame_valid_ = false;
  invalidate();
  ui::Control::set_bounds(r);
  invalidate();
}

void TShockwaveFlash::set_visible(bool v) {
  ui::Control::set_visible(v);
  update_clock();
}

void TShockwaveFlash::invalidate() {
  ui::WinControl* p = parent();
  if (p && p->has_peer()) p->peer().invalidate_rect(bounds());
}

bool TShockwaveFlash::can_change() const {
  if (!player_) return false;
  const swf::Movie& m = player_->movie();
  return m.timeline.frames.size() > 1 || !m.sprites.empty();
}

bool TShockwaveFlash::shown() const {
  if (!visible() || minimized_) return false;
  for (const ui::WinControl* p = parent(); p; p = p->parent())
    if (!p->visible()) return false;
  return true;
}

void TShockwaveFlash::update_clock() {
  if (!timer_) return;
  const bool run = can_change() && shown() && application().backend().client_area_animation();
  timer_->set_enabled(run);
}

void TShockwaveFlash::tick() {
  if (!player_ || !shown()) {
    // Hidden or minimised: no work until the control is painted or shown again.
    update_clock();
    return;
  }
  if (player_->advance()) {
    frame_valid_ = false;
    ++frame_repaints_;
    invalidate();
  }
}

// Minimising the top-level window stops the clock; restoring it starts it
// again (the window hears of both as size messages).
void TShockwaveFlash::watch_top_window() {
  ui::WinControl* top = parent();
  while (top && top->parent()) top = top->parent();
  if (top == watched_) return;
  unwatch_top_window();
  if (!top) return;
  watched_ = top;
  watch_id_ = top->add_window_hook([this](std::uint32_t message, std::uintptr_t wparam, std::intptr_t,
                                          const ui::WinControl::WindowHooks::PassOn& pass_on) -> std::intptr_t {
    const std::intptr_t result = pass_on();
    if (message == kWmSize) {
      minimized_ = wparam == kSizeMinimized;
      update_clock();
    } else if (message == kWmShowWindow) {
      update_clock();
    }
    return result;
  });
}

void TShockwaveFlash::unwatch_top_window() {
  if (watched_ && watch_id_ >= 0) watched_->remove_window_hook(watch_id_);
  watched_ = nullptr;
  watch_id_ = -1;
}

void TShockwaveFlash::paint(ui::Canvas& canvas) {
  // A paint means the control can be seen again: the clock may resume.
  if (timer_ && !timer_->enabled()) {
    minimized_ = false;
    update_clock();
  }
  if (!model_.loaded()) return;
  const ui::Rect b = bounds();
  const StageRect st = model_.stage_in(b.width, b.height);
  // The stage, clipped to the control.
  const int left = std::max(st.left, 0), top = std::max(st.top, 0);
  const int right = std::min(st.left + st.width, b.width), bottom = std::min(st.top + st.height, b.height);
  if (right <= left || bottom <= top) return;
  const ui::Rect visible_part{b.left + left, b.top + top, right - left, bottom - top};
  if (!player_) {
    const std::uint32_t bg = model_.background();  // 0x00RRGGBB
    canvas.fill_rect(visible_part, ui::rgb(static_cast<int>((bg >> 16) & 0xFF), static_cast<int>((bg >> 8) & 0xFF),
                                           static_cast<int>(bg & 0xFF)));
    return;
  }
  const ui::Rect in_control{left, top, right - left, bottom - top};
  if (!frame_valid_ || frame_rect_ != in_control) {
    frame_.width = in_control.width;
    frame_.height = in_control.height;
    frame_.pixels.assign(static_cast<std::size_t>(frame_.width) * static_cast<std::size_t>(frame_.height), 0);
    swf::Matrix m = swf::stage_to_target(player_->movie().header, st.width, st.height);
    m.tx += st.left - left;
    m.ty += st.top - top;
    player_->render(swf::Target{frame_.pixels.data(), frame_.width, frame_.height, frame_.width}, m);
    // The stage is opaque (its background fills it): the canvas takes 0x00RRGGBB.
    for (std::uint32_t& px : frame_.pixels) px &= 0x00FFFFFFu;
    frame_rect_ = in_control;
    frame_valid_ = true;
    ++frames_rendered_;
  }
  canvas.draw_bitmap(ui::Point{visible_part.left, visible_part.top}, frame_);
}

}  // namespace brevaro::media
