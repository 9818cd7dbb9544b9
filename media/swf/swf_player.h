// The movie player: the display list by depth, sprites with their own
// timelines, the frame clock from the header, looping. Portable; the movie
// control drives it with a timer of `frame_interval_ms()`, calls `advance()`
// on each tick and repaints (calling `render`) only when it returns true.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/swf/swf_movie.h"
#include "media/swf/swf_render.h"

namespace brevaro::media::swf {

// One placed character. A sprite carries its own display list and frame.
struct Instance {
  std::uint16_t depth = 0;
  std::uint16_t character = 0;
  Matrix matrix;
  ColorTransform color;
  std::uint16_t ratio = 0;
  std::string name;
  std::optional<std::uint16_t> clip_depth;  // a mask layer: not drawn by this player
  bool visible = true;
  int frame = -1;                  // sprites: the frame shown, -1 for shapes
  std::vector<Instance> children;  // sprites: sorted by depth
};

struct PlayerLimits {
  std::size_t max_nesting = 16;      // sprites within sprites
  std::size_t max_per_list = 4096;   // instances in one display list
  std::size_t max_instances = 8192;  // in the whole tree
  RenderLimits render;
};

class Player {
 public:
  // Shows the first frame at once.
  explicit Player(Movie movie, PlayerLimits limits = {});

  const Movie& movie() const { return movie_; }
  // The header's frame rate clamped to 1..60 frames per second.
  double frame_rate() const;
  int frame_interval_ms() const;

  // One frame tick: every sprite on show moves on one frame, then the main
  // timeline; each loops at its end. True when the picture changed.
  bool advance();
  // Background, then the display list from the lowest depth up, stretched to
  // fill the target.
  void render(const Target& t);
  // The same with the stage placed by `stage_to_target` (twips to target
  // pixels); what falls outside the target is cut off.
  void render(const Target& t, const Matrix& stage_to_target);

  std::size_t current_frame() const { return static_cast<std::size_t>(frame_); }
  std::size_t frame_count() const { return movie_.timeline.frames.size(); }
  const std::vector<Instance>& display_list() const { return root_; }
  std::size_t instance_count() const { return instances_; }
  // Something was left out: an instance over a cap, or a frame over the render budget.
  bool limited() const { return limited_ || renderer_.over_budget(); }

 private:
  // `reuse`: when looping, the instances of the frame before; a sprite placed
  // again at its depth keeps playing where it was.
  void apply(const Frame& f, std::vector<Instance>& list, std::size_t level, bool& changed,
             std::vector<Instance>* reuse = nullptr);
  void start_sprite(Instance& in, std::size_t level);
  void step(std::vector<Instance>& list, std::size_t level, bool& changed);
  void goto_next(const Timeline& tl, int& frame, std::vector<Instance>& list, std::size_t level, bool& changed);
  void draw(const Target& t, const std::vector<Instance>& list, const Matrix& m, const ColorTransform& cx,
            std::size_t level);
  static std::size_t count(const std::vector<Instance>& list);

  Movie movie_;
  PlayerLimits limits_;
  Renderer renderer_;
  std::vector<Instance> root_;
  int frame_ = 0;
  std::size_t instances_ = 0;
  bool limited_ = false;
};

}  // namespace brevaro::media::swf
