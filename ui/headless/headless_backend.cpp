#include "ui/headless/headless_backend.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

#include "base/scope_exit.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/headless/headless_browser.h"

namespace brevaro::ui::headless {

namespace {

class HeadlessTimer final : public TimerPeer {
 public:
  HeadlessTimer(HeadlessBackend& backend, int id) : backend_(backend), id_(id) {}
  ~HeadlessTimer() override { backend_.timers.erase(id_); }
  HeadlessTimer(const HeadlessTimer&) = delete;
  HeadlessTimer& operator=(const HeadlessTimer&) = delete;
  void start(std::uint32_t interval_ms) override {
    auto& t = backend_.timers[id_];
    t.interval = interval_ms;
    t.due = backend_.now() + interval_ms;
    t.running = interval_ms > 0;
  }
  void stop() override { backend_.timers[id_].running = false; }

 private:
  HeadlessBackend& backend_;
  int id_;
};

class HeadlessWatch final : public FolderWatchPeer {
 public:
  HeadlessWatch(HeadlessBackend& backend, int id) : backend_(backend), id_(id) {}
  ~HeadlessWatch() override { backend_.watches.erase(id_); }
  HeadlessWatch(const HeadlessWatch&) = delete;
  HeadlessWatch& operator=(const HeadlessWatch&) = delete;

 private:
  HeadlessBackend& backend_;
  int id_;
};

std::vector<std::string> file_names(const platform::FileSystem& fs, const std::string& folder) {
  std::vector<std::string> names;
  if (!fs.directory_exists(folder)) return names;
  for (const platform::DirEntry& e : fs.list_directory(folder))
    if (!e.is_directory) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

class HeadlessWindow final : public WindowPeer {
 public:
  HeadlessWindow(HeadlessBackend& backend, WinControl& control, std::uintptr_t handle)
      : backend_(backend), control_(control), handle_(handle), bounds_(control.Control::bounds()) {}
  ~HeadlessWindow() override { backend_.forget_window(handle_); }
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;

  std::uintptr_t handle() const override { return handle_; }
  void set_bounds(Rect r) override {
    const bool resized = r.width != bounds_.width || r.height != bounds_.height;
    bounds_ = r;
    // The window hears of its new size as it would from the system.
    if (resized) send(0x0005 /* size */, 0, make_point_lparam(Point{r.width, r.height}));
  }
  Rect bounds() const override { return bounds_; }
  Size client_size() const override { return Size{bounds_.width, bounds_.height}; }
  void set_visible(bool v) override {
    const bool was = visible_;
    visible_ = v;
    if (v && !was) backend_.window_shown(control_);
  }
  void set_enabled(bool e) override { enabled_ = e; }
  void set_text(std::string_view t) override { text_ = t; }
  std::string text() const override { return text_; }
  void invalidate() override { ++paints_; }
  Point screen_to_client(Point p) const override {
    const Point o = origin();
    return Point{p.x - o.x, p.y - o.y};
  }
  Point client_to_screen(Point p) const override {
    const Point o = origin();
    return Point{p.x + o.x, p.y + o.y};
  }
  void set_capture(bool) override {}
  // As the product's window procedure: the window's hooks, then its own
  // handling, behind one exception barrier that hands an exception to the
  // application's handler (the message then yields 0).
  std::intptr_t send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
    std::intptr_t result = 0;
    control_.application().guarded([&] {
      result = control_.run_window_hooks(message, wparam, lparam, [&]() -> std::intptr_t {
        control_.dispatch(Message{handle_, message, wparam, lparam});
        return 0;
      });
    });
    return result;
  }
  void set_window_region(const std::vector<Rect>* rects, bool) override {
    if (rects) region_ = *rects;
    else region_.reset();
  }
  const std::optional<std::vector<Rect>>& window_region() const { return region_; }
  void set_checked(bool c) override { checked_ = c; }
  bool checked() const override { return checked_; }

 private:
  // Screen position of the client area's top-left corner (borders are not
  // modelled: the client area starts at the window's corner).
  Point origin() const {
    Point o{bounds_.left, bounds_.top};
    for (WinControl* p = control_.parent(); p; p = p->parent()) {
      const Rect r = p->bounds();
      o.x += r.left;
      o.y += r.top;
    }
    return o;
  }

  HeadlessBackend& backend_;
  WinControl& control_;
  std::uintptr_t handle_;
  Rect bounds_;
  bool visible_ = false;
  bool enabled_ = true;
  bool checked_ = false;
  std::string text_;
  int paints_ = 0;
  std::optional<std::vector<Rect>> region_;
};

}  // namespace

HeadlessBackend::HeadlessBackend(platform::headless::VirtualClock& clock, platform::headless::FakeScreen& screen)
    : clock_(clock), screen_(screen) {}

HeadlessBackend::~HeadlessBackend() = default;

std::unique_ptr<TimerPeer> HeadlessBackend::create_timer(std::function<void()> on_tick) {
  const int id = next_timer_++;
  timers[id] = TimerRec{std::move(on_tick), 0, 0, false};
  return std::make_unique<HeadlessTimer>(*this, id);
}

std::unique_ptr<FolderWatchPeer> HeadlessBackend::watch_folder(const platform::FileSystem& fs, std::string_view folder,
                                                               std::function<void()> on_change) {
  std::string path(folder);
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  if (refuse_folder_watches || !fs.directory_exists(path)) return nullptr;
  const int id = next_watch_++;
  watches[id] = WatchRec{&fs, path, file_names(fs, path), std::move(on_change)};
  return std::make_unique<HeadlessWatch>(*this, id);
}

bool HeadlessBackend::look_at_folders(Application& app) {
  for (auto& [id, rec] : watches) {
    std::vector<std::string> now = file_names(*rec.fs, rec.folder);
    if (now == rec.names) continue;
    rec.names = std::move(now);
    const auto on_change = rec.on_change;  // the watch may end in its handler
    app.guarded(on_change);
    return true;
  }
  return false;
}

std::unique_ptr<WindowPeer> HeadlessBackend::create_window(WinControl& control, WindowKind) {
  const std::uintptr_t h = next_handle_++;
  windows_[h] = &control;
  return std::make_unique<HeadlessWindow>(*this, control, h);
}

std::unique_ptr<BrowserPeer> HeadlessBackend::create_browser(WebBrowser& control) {
  return std::make_unique<HeadlessBrowser>(control.handle());
}

void HeadlessBackend::forget_window(std::uintptr_t handle) {
  windows_.erase(handle);
  std::erase_if(queue_, [&](const Message& m) { return m.window == handle; });
}

WinControl* HeadlessBackend::window(std::uintptr_t handle) const {
  const auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second;
}

void HeadlessBackend::window_shown(WinControl& control) {
  // A top-level window that appears becomes the active one.
  if (auto* form = dynamic_cast<Form*>(&control); form && !control.parent()) form->application().form_activated(*form);
}

std::size_t HeadlessBackend::active_timer_count() const {
  return static_cast<std::size_t>(
      std::count_if(timers.begin(), timers.end(), [](const auto& t) { return t.second.running; }));
}

bool HeadlessBackend::fire_one_due_timer() {
  const std::uint64_t t = now();
  int best = 0;
  std::uint64_t best_due = std::numeric_limits<std::uint64_t>::max();
  for (const auto& [id, rec] : timers)
    if (rec.running && rec.due <= t && rec.due < best_due) {
      best = id;
      best_due = rec.due;
    }
  if (!best) return false;
  auto& rec = timers[best];
  rec.due = t + rec.interval;  // the next tick counts from now
  const auto tick = rec.tick;  // the timer may be freed while it ticks
  ++ticks_fired_;
  tick();
  return true;
}

std::uint64_t HeadlessBackend::next_due() const {
  std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
  for (const auto& [id, rec] : timers)
    if (rec.running) best = std::min(best, rec.due);
  return best;
}

void HeadlessBackend::process_messages(Application& app) {
  // Every message waiting now, then every timer due now; each due timer
  // ticks once per pass, as a real queue generates one timer message.
  for (int guard = 0; guard < 100000; ++guard) {
    if (!queue_.empty()) {
      Message m = queue_.front();
      queue_.pop_front();
      if (app.filter_message(m) || m.message == msg::null) continue;
      // Dispatched through the window's procedure, as the product's loop does.
      if (WinControl* w = window(m.window)) w->send_message(m.message, m.wparam, m.lparam);
      continue;
    }
    if (!posted_.empty()) {
      auto fn = std::move(posted_.front());
      posted_.pop_front();
      app.guarded(fn);
      continue;
    }
    // The change signal wakes the program's own loops, not a message box's.
    if (system_modal_ == 0 && look_at_folders(app)) continue;
    if (!fire_one_due_timer()) return;
  }
}

void HeadlessBackend::advance(Application& app, std::uint64_t ms) {
  const std::uint64_t target = now() + ms;
  process_messages(app);
  while (!quit_) {
    const std::uint64_t due = next_due();
    if (due > target) break;
    if (due > now()) clock_.advance(due - now());
    process_messages(app);
  }
  if (now() < target) clock_.advance(target - now());
  process_messages(app);
}

void HeadlessBackend::run(Application& app) {
  const std::uint64_t limit = now() + run_limit_ms;
  process_messages(app);
  while (!quit_ && now() < limit) {
    const std::uint64_t due = next_due();
    if (due == std::numeric_limits<std::uint64_t>::max()) break;  // nothing will ever happen
    if (due > now()) clock_.advance(std::min(due, limit) - now());
    process_messages(app);
  }
}

void HeadlessBackend::modal_loop(Application& app, const std::function<bool()>& done) {
  const std::uint64_t limit = now() + run_limit_ms;
  process_messages(app);
  while (!done() && !quit_) {
    const std::uint64_t due = next_due();
    if (due == std::numeric_limits<std::uint64_t>::max() || due > limit)
      throw std::logic_error("modal loop would wait for ever: nothing is due");
    if (due > now()) clock_.advance(due - now());
    process_messages(app);
  }
}

MsgBoxResult HeadlessBackend::message_box(Application& app, std::string_view text, std::string_view caption,
                                          MsgBoxButtons buttons, MsgBoxIcon icon) {
  Answer a{buttons == MsgBoxButtons::ok ? MsgBoxResult::ok : MsgBoxResult::no, 0};
  if (!answers_.empty()) {
    a = answers_.front();
    answers_.pop_front();
  } else {
    ++unexpected_boxes_;
  }
  boxes_.push_back(BoxRecord{std::string(caption), std::string(text), buttons, icon, a.answer, now()});
  // While the box is open the folders are looked at by a timer only.
  ++system_modal_;
  std::unique_ptr<TimerPeer> looks;
  if (!watches.empty()) {
    looks = create_timer([this, &app] { look_at_folders(app); });
    looks->start(kModalFolderLookMs);
  }
  const base::ScopeExit box_closed([this] { --system_modal_; });
  // The box's own modal loop: time passes while the user reads it, and
  // messages and timers keep being handled (through the message hook).
  if (a.after_ms > 0) {
    const bool was_quit = quit_;
    advance(app, a.after_ms);
    quit_ = quit_ || was_quit;
  } else {
    process_messages(app);
  }
  return a.answer;
}

Point HeadlessBackend::cursor_pos() const { return screen_.cursor_pos(); }

bool HeadlessBackend::load_cursor(int number, std::string_view resource_name) {
  cursors[number] = std::string(resource_name);
  return true;
}

void HeadlessBackend::mouse(WinControl& window, std::uint32_t message, Point client) {
  // The cursor moves there first, as a real mouse does.
  screen_.cursor = window.peer().client_to_screen(client);
  queue_.push_back(Message{window.handle(), message, 0, make_point_lparam(client)});
}

namespace {
std::pair<WinControl*, Point> target_of(Control& control) {
  if (!control.windowless()) {
    auto& w = static_cast<WinControl&>(control);
    const Size s = w.client_size();
    return {&w, Point{s.width / 2, s.height / 2}};
  }
  const Rect r = control.bounds();
  return {control.parent(), Point{r.left + r.width / 2, r.top + r.height / 2}};
}

std::uint32_t down_message(MouseButton b) {
  return b == MouseButton::right ? msg::rbutton_down : b == MouseButton::middle ? msg::mbutton_down : msg::lbutton_down;
}
std::uint32_t up_message(MouseButton b) {
  return b == MouseButton::right ? msg::rbutton_up : b == MouseButton::middle ? msg::mbutton_up : msg::lbutton_up;
}
}  // namespace

void HeadlessBackend::press(Control& control, MouseButton button) {
  auto [w, p] = target_of(control);
  mouse(*w, down_message(button), p);
}

void HeadlessBackend::release(Control& control, MouseButton button) {
  auto [w, p] = target_of(control);
  mouse(*w, up_message(button), p);
}

void HeadlessBackend::click(Control& control, MouseButton button) {
  press(control, button);
  release(control, button);
}

void HeadlessBackend::key(WinControl& window, std::uint32_t message, std::uint32_t virtual_key) {
  queue_.push_back(Message{window.handle(), message, virtual_key, 0});
}

std::vector<Form*> HeadlessBackend::visible_forms() const {
  std::vector<Form*> out;
  for (const auto& [h, w] : windows_)
    if (auto* f = dynamic_cast<Form*>(w); f && f->visible()) out.push_back(f);
  return out;
}

// ---- raster canvas -------------------------------------------------------------

namespace {
std::uint32_t to_pixel(Color c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
}  // namespace

RasterCanvas::RasterCanvas(Size size, Color background) {
  picture.width = std::max(0, size.width);
  picture.height = std::max(0, size.height);
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height),
                        to_pixel(background));
}

void RasterCanvas::fill_rect(Rect r, Color c) {
  const int x0 = std::max(0, r.left), y0 = std::max(0, r.top);
  const int x1 = std::min(picture.width, r.right()), y1 = std::min(picture.height, r.bottom());
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      picture
          .pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) + static_cast<std::size_t>(x)] =
          to_pixel(c);
}

void RasterCanvas::frame_rect(Rect r, Color c) {
  fill_rect(Rect{r.left, r.top, r.width, 1}, c);
  fill_rect(Rect{r.left, r.bottom() - 1, r.width, 1}, c);
  fill_rect(Rect{r.left, r.top, 1, r.height}, c);
  fill_rect(Rect{r.right() - 1, r.top, 1, r.height}, c);
}

void RasterCanvas::draw_bitmap(Point at, const Bitmap& b) {
  for (int y = 0; y < b.height; ++y) {
    const int dy = at.y + y;
    if (dy < 0 || dy >= picture.height) continue;
    for (int x = 0; x < b.width; ++x) {
      const int dx = at.x + x;
      if (dx < 0 || dx >= picture.width) continue;
      picture.pixels[static_cast<std::size_t>(dy) * static_cast<std::size_t>(picture.width) +
                     static_cast<std::size_t>(dx)] = b.at(x, y);
    }
  }
}

void RasterCanvas::draw_masked_bitmap(Point at, const Bitmap& b, std::span<const std::uint8_t> transparent) {
  const auto count = static_cast<std::size_t>(std::max(b.width, 0)) * static_cast<std::size_t>(std::max(b.height, 0));
  if (transparent.size() < count || b.pixels.size() < count) return;
  for (int y = 0; y < b.height; ++y) {
    const int dy = at.y + y;
    if (dy < 0 || dy >= picture.height) continue;
    for (int x = 0; x < b.width; ++x) {
      const int dx = at.x + x;
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width) + static_cast<std::size_t>(x);
      if (dx < 0 || dx >= picture.width || transparent[i] != 0) continue;
      picture.pixels[static_cast<std::size_t>(dy) * static_cast<std::size_t>(picture.width) +
                     static_cast<std::size_t>(dx)] = b.pixels[i];
    }
  }
}

void RasterCanvas::draw_text(Rect, std::string_view text, const Font&, Align, bool) { texts.emplace_back(text); }

std::optional<std::vector<Rect>> window_region(WinControl& window) {
  return dynamic_cast<const HeadlessWindow&>(window.peer()).window_region();
}

Bitmap render(WinControl& window) {
  RasterCanvas canvas(window.client_size(), window.background());
  window.paint_children(canvas);
  return std::move(canvas.picture);
}

}  // namespace brevaro::ui::headless
