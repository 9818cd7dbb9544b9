// TShockwaveFlash: our movie banner control. Setting Movie loads the movie
// file (media/swf/) and plays it: the display list by depth, sprites with
// their own timelines, the frame rate from the header, looping. The stage is
// placed in the control's bounds by `scale` ("ExactFit" fills them).
// Windowless: it is drawn on its parent like the GIF control it alternates
// with.
//
// The clock: a ui::Timer of the movie's frame interval runs only while the
// movie can change, the control and its windows are shown, the top-level
// window is not minimised and the system's "show animations" setting is on
// (otherwise the first frame stays). A tick that finds the control hidden or
// minimised stops the clock; the next paint of the control, or showing it,
// starts it again. Each tick asks the player for the next frame and repaints
// the control's area only when the picture changed; the frame is rendered
// once and kept until the next change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/swf/swf_header.h"
#include "media/swf/swf_player.h"
#include "ui/control.h"
#include "ui/timer.h"

namespace brevaro::media {

class TShockwaveFlash final : public ui::Control {
 public:
  TShockwaveFlash(ui::Component* owner, std::string_view name, ui::WinControl* parent, ui::Rect bounds = {});
  ~TShockwaveFlash() override;

  const std::string& scale() const { return model_.scale(); }
  void set_scale(std::string_view s);
  const std::string& movie() const { return model_.movie(); }
  // Reads the movie through the application's file system port and plays it
  // from its first frame; a missing or broken movie shows nothing, a movie
  // whose tags cannot be read shows its background.
  void set_movie(std::string_view path);
  const MovieModel& model() const noexcept { return model_; }

  // ui::Control
  void set_bounds(ui::Rect r) override;
  void set_visible(bool v) override;
  // Repaints the control's area only.
  void invalidate() override;
  void paint(ui::Canvas& canvas) override;

  // What the control is doing, for tests and diagnostics: the player (none
  // without a movie), whether the frame clock runs, and how many repaints
  // the frames asked for and how many frames were rendered.
  const swf::Player* player() const noexcept { return player_.get(); }
  bool playing() const noexcept { return timer_ && timer_->enabled(); }
  std::uint64_t frame_repaints() const noexcept { return frame_repaints_; }
  std::uint64_t frames_rendered() const noexcept { return frames_rendered_; }

 private:
  void tick();
  // Starts or stops the clock as the conditions above say.
  void update_clock();
  bool can_change() const;
  bool shown() const;
  void watch_top_window();
  void unwatch_top_window();

  MovieModel model_;
  std::unique_ptr<swf::Player> player_;
  ui::Timer* timer_ = nullptr;         // owned as this control's component
  ui::WinControl* watched_ = nullptr;  // the top-level window whose minimising stops the clock
  int watch_id_ = -1;
  bool minimized_ = false;
  // The last rendered frame (0x00RRGGBB, the stage's visible part) and where it goes.
  ui::Bitmap frame_;
  ui::Rect frame_rect_{};
  bool frame_valid_ = false;
  std::uint64_t frame_repaints_ = 0;
  std::uint64_t frames_rendered_ = 0;
};

}  // namespace brevaro::media
