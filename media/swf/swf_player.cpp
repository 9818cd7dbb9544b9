#include "media/swf/swf_player.h"

#include <algorithm>
#include <cmath>

namespace brevaro::media::swf {

Player::Player(Movie movie, PlayerLimits limits) : movie_(std::move(movie)), limits_(limits), renderer_(limits.render) {
  bool changed = false;
  if (!movie_.timeline.frames.empty()) apply(movie_.timeline.frames.front(), root_, 0, changed);
}

double Player::frame_rate() const { return std::clamp(movie_.header.frame_rate, 1.0, 60.0); }

int Player::frame_interval_ms() const { return static_cast<int>(std::lround(1000.0 / frame_rate())); }

std::size_t Player::count(const std::vector<Instance>& list) {
  std::size_t n = list.size();
  for (const Instance& in : list) n += count(in.children);
  return n;
}

void Player::start_sprite(Instance& in, std::size_t level) {
  const auto sp = movie_.sprites.find(in.character);
  if (sp == movie_.sprites.end()) return;
  in.frame = 0;
  if (level + 1 > limits_.max_nesting) {
    limited_ = true;  // a sprite nested too deep (or placing itself) shows nothing
    return;
  }
  bool changed = false;
  if (!sp->second.timeline.frames.empty()) apply(sp->second.timeline.frames.front(), in.children, level + 1, changed);
}

void Player::apply(const Frame& f, std::vector<Instance>& list, std::size_t level, bool& changed,
                   std::vector<Instance>* reuse) {
  for (const ControlTag& tag : f.tags) {
    if (const Remove* rm = std::get_if<Remove>(&tag)) {
      const auto it = std::lower_bound(list.begin(), list.end(), rm->depth,
                                       [](const Instance& a, std::uint16_t d) { return a.depth < d; });
      if (it == list.end() || it->depth != rm->depth) continue;
      instances_ -= 1 + count(it->children);
      list.erase(it);
      changed = true;
      continue;
    }
    const Place& p = std::get<Place>(tag);
    auto it = std::lower_bound(list.begin(), list.end(), p.depth,
                               [](const Instance& a, std::uint16_t d) { return a.depth < d; });
    const bool exists = it != list.end() && it->depth == p.depth;
    const bool known = p.character && (movie_.shapes.contains(*p.character) || movie_.sprites.contains(*p.character));
    if (p.move && !exists) continue;  // nothing there to modify
    if (!p.move && !known) continue;  // a new placement of an undefined character
    if (p.move) {
      Instance& in = *it;
      if (known && *p.character != in.character) {
        instances_ -= count(in.children);
        in.children.clear();
        in.frame = -1;
        in.character = *p.character;
        start_sprite(in, level);
      }
    } else {
      if (exists) {
        instances_ -= 1 + count(it->children);
        it = list.erase(it);
      }
      if (list.size() >= limits_.max_per_list || instances_ >= limits_.max_instances) {
        limited_ = true;
        continue;
      }
      Instance n;
      n.depth = p.depth;
      n.character = *p.character;
      Instance* was = nullptr;
      if (reuse) {
        const auto o = std::lower_bound(reuse->begin(), reuse->end(), p.depth,
                                        [](const Instance& a, std::uint16_t d) { return a.depth < d; });
        if (o != reuse->end() && o->depth == p.depth && o->character == n.character && o->frame >= 0) was = &*o;
      }
      if (was && instances_ + 1 + count(was->children) <= limits_.max_instances) {
        instances_ += 1 + count(was->children);
        n.frame = was->frame;
        n.children = std::move(was->children);
        was->frame = -1;  // taken
        it = list.insert(it, std::move(n));
      } else {
        it = list.insert(it, std::move(n));
        ++instances_;
        start_sprite(*it, level);
      }
    }
    Instance& in = *it;
    if (p.matrix) in.matrix = *p.matrix;
    if (p.color) in.color = *p.color;
    if (p.ratio) in.ratio = *p.ratio;
    if (p.name) in.name = *p.name;
    if (p.clip_depth) in.clip_depth = p.clip_depth;
    if (p.visible) in.visible = *p.visible != 0;
    changed = true;
  }
}

void Player::goto_next(const Timeline& tl, int& frame, std::vector<Instance>& list, std::size_t level, bool& changed) {
  const int n = static_cast<int>(tl.frames.size());
  if (n <= 1) return;  // a single frame stays as it is
  if (frame + 1 < n) {
    ++frame;
    apply(tl.frames[static_cast<std::size_t>(frame)], list, level, changed);
    return;
  }
  // Loop: the first frame is built afresh; a sprite that stays at the same
  // depth keeps playing where it was.
  frame = 0;
  std::vector<Instance> old = std::move(list);
  list.clear();
  instances_ -= count(old);
  apply(tl.frames.front(), list, level, changed, &old);
  changed = true;
}

void Player::step(std::vector<Instance>& list, std::size_t level, bool& changed) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].frame < 0) continue;
    const auto sp = movie_.sprites.find(list[i].character);
    if (sp == movie_.sprites.end()) continue;
    step(list[i].children, level + 1, changed);
    goto_next(sp->second.timeline, list[i].frame, list[i].children, level + 1, changed);
  }
}

bool Player::advance() {
  bool changed = false;
  step(root_, 0, changed);
  goto_next(movie_.timeline, frame_, root_, 0, changed);
  return changed;
}

void Player::draw(const Target& t, const std::vector<Instance>& list, const Matrix& m, const ColorTransform& cx,
                  std::size_t level) {
  for (const Instance& in : list) {
    if (renderer_.over_budget()) return;  // the frame's work is used up
    if (in.clip_depth || !in.visible) continue;
    const Matrix mm = m * in.matrix;
    const ColorTransform cc = cx * in.color;
    if (const auto s = movie_.shapes.find(in.character); s != movie_.shapes.end()) {
      renderer_.draw_shape(t, s->second, mm, cc);
    } else if (level < limits_.max_nesting) {
      draw(t, in.children, mm, cc, level + 1);
    }
  }
}

void Player::render(const Target& t) { render(t, stage_to_target(movie_.header, t.width, t.height)); }

void Player::render(const Target& t, const Matrix& to_target) {
  fill_background(t, movie_.background);
  renderer_.begin_frame();
  draw(t, root_, to_target, ColorTransform{}, 0);
}

}  // namespace brevaro::media::swf
