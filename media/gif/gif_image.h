// TGIFImage's portable model: every published property and event,
// loading, composition, the animation state and software painting, driven
// through small injected services so that it runs headless. The windowed
// control of ui/ wraps this model: it forwards WM_PAINT to wm_paint(), blits
// the canvas with GDI, and plugs a TTimerEx in as the animation
// timer.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/gif/gif_compose.h"
#include "media/gif/gif_geometry.h"
#include "media/gif/gif_parser.h"
#include "media/gif/gif_types.h"

namespace brevaro::media {

enum class ThreadPriority { idle, lowest, lower, normal, higher, highest, time_critical };

enum class GifVersion { gif87a, gif89a };

// Status of the last operation.
enum class GifStatus : int {
  success = 0,
  aborted = 1,  // OnProgress cleared KeepOnProcessing
  empty_data = 2,
  invalid_data = 3,  // not a GIF, a zero-sized frame, no frame, or a picture above 16384 (our code)
  out_of_range = 5,  // CurrentFrame out of range
  file_not_found = 7,
};

// The animation timer as the control sees it (a TTimerEx behind
// it). It ticks every interval until destroyed; setting the interval it
// already has does not restart the countdown, a different one does.
class AnimationTimer {
 public:
  virtual ~AnimationTimer() = default;
  virtual void set_interval(std::uint32_t ms) = 0;
  virtual void set_enabled(bool enabled) = 0;
  virtual void set_threaded(bool threaded) = 0;
  virtual void set_thread_priority(ThreadPriority priority) = 0;
};

// Creates a timer in the order the control relies on: Threaded and
// ThreadPriority copied, OnTimer assigned; the control sets the interval next.
using AnimationTimerFactory = std::function<std::unique_ptr<AnimationTimer>(std::function<void()> on_tick,
                                                                            bool threaded, ThreadPriority priority)>;

// Raised by a file reader when the file exists but cannot be read.
class GifFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a whole file: no value when it does not exist; GifFileError when it
// exists but cannot be opened or read.
using FileReader = std::function<std::optional<std::vector<std::uint8_t>>(const std::string& path)>;
FileReader standard_file_reader();

// What the control asks of the window system.
class GifImageHost {
 public:
  virtual ~GifImageHost() = default;
  virtual void invalidate() {}
  // Immediate repaint: draw the control (paint_to) onto the parent now.
  virtual void repaint_now() {}
  // Post WM_QUERYNEWPALETTE to the parent (when there is one).
  virtual void query_new_palette() {}
  // The framework's opaque style flag follows opaque-covering.
  virtual void set_opaque_style(bool) {}
};

struct GifImageServices {
  GifImageHost* host = nullptr;               // none: nothing to tell
  AnimationTimerFactory timer_factory;        // none: the control never animates
  std::function<std::uint32_t()> tick_count;  // the system tick count (ms); none: 0
  FileReader read_file;                       // none: standard_file_reader()
};

// A drawing surface of 0x00RRGGBB pixels (the parent's client area).
struct Surface {
  int width = 0, height = 0;
  std::vector<gif::Pixel> pixels;
  Surface() = default;
  Surface(int w, int h, gif::Pixel fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
  gif::Pixel at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
  gif::Pixel& at(int x, int y) {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

// Frame 1's image, as assigning the control to a bitmap gives it.
struct FrameImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> indices;  // top-down rows
  gif::Palette palette{};
  int palette_entries = 0;
};

class GifImage {
 public:
  using NotifyEvent = std::function<void(GifImage& sender)>;
  using ProgressEvent = std::function<void(GifImage& sender, int bytes_processed, int bytes_to_process, int percentage,
                                           bool& keep_on_processing)>;

  explicit GifImage(GifImageServices services = {});
  ~GifImage();
  GifImage(const GifImage&) = delete;
  GifImage& operator=(const GifImage&) = delete;

  // --- loading
  bool load_from_file(const std::string& path);
  bool load_from_stream(std::istream& stream);
  bool load_from_memory(std::span<const std::uint8_t> bytes);
  // The stored property `Data`: 32-bit little-endian byte count + the file's
  // bytes; empty (not written) when there are no bytes.
  std::vector<std::uint8_t> write_data_property() const;
  // Reads the stored property (false when it is malformed); form_loaded()
  // then parses the bytes as load_from_stream does.
  bool read_data_property(std::span<const std::uint8_t> stored);
  void form_loaded();
  const std::vector<std::uint8_t>& data() const { return data_; }

  // --- published properties
  bool animate() const { return animate_; }
  void set_animate(bool v);
  bool auto_size() const { return auto_size_; }
  void set_auto_size(bool v);
  bool center() const { return paint_.center; }
  void set_center(bool v);
  int current_frame() const { return current_frame_; }
  void set_current_frame(int n);
  bool double_buffered() const { return double_buffered_; }
  void set_double_buffered(bool v) { double_buffered_ = v; }
  bool first_image_only() const { return first_image_only_; }
  void set_first_image_only(bool v) { first_image_only_ = v; }
  GifImage& graphic() { return *this; }  // design-time hook: reads as the control; writes ignored
  bool loop() const { return loop_; }
  void set_loop(bool v);
  bool opaque() const { return opaque_; }
  void set_opaque(bool v);
  int speed() const { return speed_; }
  void set_speed(int v);
  bool stretch() const { return paint_.stretch; }
  void set_stretch(bool v);
  bool stretch_ratio() const { return paint_.stretch_ratio; }
  void set_stretch_ratio(bool v);
  bool stretch_big_only() const { return paint_.stretch_big_only; }
  void set_stretch_big_only(bool v);
  bool tile() const { return paint_.tile; }
  void set_tile(bool v);
  bool threaded() const { return threaded_; }
  void set_threaded(bool v);
  ThreadPriority thread_priority() const { return priority_; }
  void set_thread_priority(ThreadPriority v);
  bool visible() const { return visible_; }
  void set_visible(bool v);
  GifVersion version() const { return gif_.version == gif::Version::gif89a ? GifVersion::gif89a : GifVersion::gif87a; }
  // Inherited from the windowless control: bounds and Color (Opaque fill).
  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  void set_bounds(int left, int top, int width, int height);
  gif::Pixel color() const { return color_; }
  void set_color(gif::Pixel c);

  NotifyEvent on_changing, on_change, on_wrap_animation;
  ProgressEvent on_progress;

  // --- state
  GifStatus status() const { return status_; }
  bool has_picture() const { return loaded_; }
  bool animated() const { return animated_; }
  int frame_count() const { return static_cast<int>(gif_.frames.size()); }
  int loop_count() const { return gif_.loop_count; }
  int pass() const { return pass_; }
  int picture_width() const { return gif_.picture_width; }
  int picture_height() const { return gif_.picture_height; }
  bool any_transparent() const { return gif_.any_transparent; }
  bool timer_running() const { return timer_ != nullptr && !release_timer_; }
  const gif::GifFile& file() const { return gif_; }
  const gif::Canvas& canvas() const { return composer_.canvas(); }
  bool stretched() const { return stretched_; }
  bool opaque_covering() const { return opaque_covering_; }
  gif::Rect picture_rect() const;
  // The palette query: the current frame's palette when a picture is
  // loaded and the control is visible; otherwise none (the inherited answer).
  std::optional<gif::Palette> palette() const;
  // Assigning the control to a bitmap: frame 1's image.
  std::optional<FrameImage> first_frame_image() const;

  // Limits of the parser (the product's by default; fuzzers lower them).
  void set_limits(const gif::Limits& limits) { limits_ = limits; }

  // --- painting and animation
  // Draws the control onto `target` (the parent's surface, already holding
  // its background) with the control's top-left at (x, y). No re-arming.
  void paint_to(Surface& target, int x, int y);
  // WM_PAINT: recompute the painting flags (invalidate instead of painting
  // when opaque-covering changed), paint, then re-arm the animation timer.
  void wm_paint(Surface& target, int x, int y);
  // The re-arming that follows every WM_PAINT (for hosts that draw with GDI).
  void after_paint();
  // The animation timer's OnTimer.
  void tick();

 private:
  bool load_bytes(std::vector<std::uint8_t> bytes);
  void reset();
  void clear();
  void compute_paint_flags(bool& changed);
  std::uint32_t frame_interval(int frame) const;
  void start_timer(std::uint32_t interval);
  void stop_timer();
  void repaint_now();
  void invalidate();
  std::uint32_t now() const { return services_.tick_count ? services_.tick_count() : 0; }
  void fire(const NotifyEvent& e) {
    if (e) e(*this);
  }

  GifImageServices services_;
  gif::Limits limits_;

  bool animate_ = false, auto_size_ = false, double_buffered_ = true, first_image_only_ = false;
  bool loop_ = false, opaque_ = false, threaded_ = false, visible_ = true;
  gif::PaintOptions paint_;
  int speed_ = 100;
  ThreadPriority priority_ = ThreadPriority::normal;
  int current_frame_ = 0;
  int left_ = 0, top_ = 0, width_ = 105, height_ = 105;
  gif::Pixel color_ = 0xFFFFFF;

  GifStatus status_ = GifStatus::success;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> stored_;  // read from the form, parsed by form_loaded()
  gif::GifFile gif_;
  gif::Composer composer_;
  bool loaded_ = false, animated_ = false, first_tick_pending_ = true, painting_ = false;
  bool stretched_ = false, opaque_covering_ = false;
  int pass_ = 1;

  std::unique_ptr<AnimationTimer> timer_;
  int tick_depth_ = 0;
  bool release_timer_ = false;  // freed when the running tick returns
};

}  // namespace brevaro::media
