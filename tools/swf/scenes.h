// Test scenes made with the movie writer: every fill kind, plain strokes,
// transforms, nested sprites and colour transforms. Each scene carries its
// file and, frame by frame, what should be on show (shapes with their place
// on the stage and colour transform, bottom first), so an independent
// rasterizer can draw the same frames from the same shape data.
#pragma once

#include <string>
#include <vector>

#include "tools/swf/swf_writer.h"

namespace brevaro::swf_writer {

struct Drawn {
  std::size_t shape = 0;  // index into Scene::shapes
  Matrix world;           // shape twips -> stage twips
  ColorTransform color;
};

struct Scene {
  std::string name;
  int stage_w = 468, stage_h = 60;  // pixels
  double fps = 12;
  Rgba background{255, 255, 255, 255};
  std::vector<ShapeSpec> shapes;
  Bytes file;
  std::vector<std::vector<Drawn>> frames;  // frame k: after k ticks of the player
  bool translucent = false;                // colours with alpha below 255 are blended
};

std::vector<Scene> test_scenes();

// A heavy scene for the benchmark: many overlapping curved, gradient-filled
// and stroked shapes on one frame.
Scene heavy_scene();

}  // namespace brevaro::swf_writer
