#include "tools/swf/scenes.h"

#include <cmath>
#include <numbers>

namespace brevaro::swf_writer {

namespace {

using media::swf::FillKind;
using media::swf::GradientStop;
using media::swf::Interpolation;
using media::swf::Spread;

// Matrices as the file stores them: 16.16 scale and rotation, whole twips.
double q16(double v) { return std::round(v * 65536.0) / 65536.0; }

Matrix translate(double x, double y) { return Matrix{1, 0, 0, 1, std::round(x), std::round(y)}; }
Matrix scale(double sx, double sy, double x = 0, double y = 0) {
  return Matrix{q16(sx), 0, 0, q16(sy), std::round(x), std::round(y)};
}
// Rotation by `deg` (clockwise on screen) and scale s about the origin, then moved to x, y.
Matrix rotate(double deg, double s, double x, double y) {
  const double r = deg * std::numbers::pi / 180;
  return Matrix{q16(s * std::cos(r)), q16(s * std::sin(r)), q16(-s * std::sin(r)),
                q16(s * std::cos(r)), std::round(x),        std::round(y)};
}
// outer after inner, written out here rather than taken from the player.
Matrix then(const Matrix& o, const Matrix& i) {
  return Matrix{o.a * i.a + o.c * i.b, o.b * i.a + o.d * i.b,          o.a * i.c + o.c * i.d,
                o.b * i.c + o.d * i.d, o.a * i.tx + o.c * i.ty + o.tx, o.b * i.tx + o.d * i.ty + o.ty};
}

// The gradient square onto a box: linear across its width, radial within it.
Matrix square_onto(double x0, double y0, double x1, double y1) {
  return Matrix{q16((x1 - x0) / 32768.0), 0, 0, q16((y1 - y0) / 32768.0), std::round((x0 + x1) / 2),
                std::round((y0 + y1) / 2)};
}

LineStyle line(std::uint16_t width, Rgba c) {
  LineStyle l;
  l.width = width;
  l.color = c;
  return l;
}

Contour polyline(std::initializer_list<std::pair<std::int32_t, std::int32_t>> pts, std::uint32_t line_style) {
  Contour c;
  c.line = line_style;
  auto it = pts.begin();
  c.x = it->first;
  c.y = it->second;
  for (++it; it != pts.end(); ++it) c.pieces.push_back({false, 0, 0, it->first, it->second});
  return c;
}

Contour hole(Contour c, std::uint32_t fill) {
  c.fill0 = fill;
  c.fill1 = 0;
  return c;
}

Bytes frames_file(const Scene& s, const Bytes& tags, std::uint16_t frames) {
  return movie(8, s.stage_w, s.stage_h, s.fps, frames, cat({background(s.background), tags}));
}

Scene solid_fills() {
  Scene s;
  s.name = "solid_fills";
  s.background = {0xBD, 0xD6, 0xEF, 255};
  ShapeSpec a;  // DefineShape: RGB colours
  a.id = 1;
  a.version = 1;
  a.fills = {solid({220, 30, 30, 255})};
  a.contours = {rect(400, 200, 2000, 800, 1)};
  ShapeSpec b;  // DefineShape2: a triangle with a curved side
  b.id = 2;
  b.version = 2;
  b.fills = {solid({0, 80, 200, 255})};
  Contour tri;
  tri.fill1 = 1;
  tri.x = 3000;
  tri.y = 150;
  tri.pieces = {{false, 0, 0, 5000, 150}, {true, 5400, 1000, 3500, 1050}, {false, 0, 0, 3000, 150}};
  b.contours = {tri};
  ShapeSpec c;  // DefineShape3: a ring (a hole) and a second fill beside it
  c.id = 3;
  c.version = 3;
  c.fills = {solid({20, 150, 60, 255}), solid({250, 200, 0, 255})};
  c.contours = {ellipse(7000, 600, 1500, 500, 1), hole(ellipse(7000, 600, 700, 250, 0), 1),
                reversed(rect(8700, 100, 500, 1000, 2))};
  s.shapes = {a, b, c};
  Place2 p2;
  p2.depth = 2;
  p2.character = 2;
  Place2 p3;
  p3.depth = 3;
  p3.character = 3;
  p3.matrix = translate(-100, 0);
  const Bytes tags = cat({define_shape(a), define_shape(b), define_shape(c), place_object(1, 1, Matrix{}),
                          place_object2(p2), place_object2(p3), show_frame()});
  s.file = frames_file(s, tags, 1);
  s.frames = {{{0, Matrix{}, {}}, {1, Matrix{}, {}}, {2, translate(-100, 0), {}}}};
  return s;
}

Scene gradients() {
  Scene s;
  s.name = "gradients";
  s.background = {255, 255, 255, 255};
  ShapeSpec g;
  g.id = 1;
  g.version = 4;
  g.fills = {
      gradient(FillKind::linear, square_onto(300, 100, 1700, 1100),
               {{0, {255, 0, 0, 255}}, {128, {255, 230, 0, 255}}, {255, {0, 0, 255, 255}}}),
      gradient(FillKind::radial, square_onto(2800, 200, 3600, 1000),
               {{0, {255, 255, 255, 255}}, {255, {0, 100, 0, 255}}}, Spread::reflect),
      gradient(FillKind::focal, then(translate(5400, 600), rotate(30, 700.0 / 16384, 0, 0)),
               {{0, {255, 255, 0, 255}}, {100, {255, 80, 0, 255}}, {255, {80, 0, 120, 255}}}, Spread::repeat,
               Interpolation::rgb, 0.5),
      gradient(FillKind::linear, then(translate(7800, 600), rotate(-20, 2400.0 / 32768, 0, 0)),
               {{0, {255, 0, 0, 255}}, {255, {0, 255, 0, 255}}}, Spread::pad, Interpolation::linear_rgb),
  };
  g.contours = {rect(100, 100, 1900, 1000, 1), rect(2200, 100, 2000, 1000, 2), ellipse(5400, 600, 1000, 500, 3),
                rect(6600, 100, 2600, 1000, 4)};
  ShapeSpec r;  // DefineShape2 radial with RGB stops, spread pad, scaled placement
  r.id = 2;
  r.version = 2;
  r.fills = {gradient(FillKind::radial, square_onto(-400, -400, 400, 400),
                      {{0, {0, 0, 0, 255}}, {90, {200, 200, 255, 255}}, {255, {0, 0, 80, 255}}})};
  r.contours = {ellipse(0, 0, 400, 400, 1)};
  s.shapes = {g, r};
  const Bytes tags = cat({define_shape(g), define_shape(r), place_object(1, 1, Matrix{}),
                          place_object(2, 2, scale(0.5, 1, 4200, 600)), show_frame()});
  s.file = frames_file(s, tags, 1);
  s.frames = {{{0, Matrix{}, {}}, {1, scale(0.5, 1, 4200, 600), {}}}};
  return s;
}

Scene strokes() {
  Scene s;
  s.name = "strokes";
  s.background = {250, 250, 240, 255};
  ShapeSpec a;
  a.id = 1;
  a.version = 3;
  a.fills = {solid({255, 220, 60, 255})};
  a.lines = {line(20, {0, 0, 0, 255}), line(80, {200, 0, 0, 255}), line(200, {0, 0, 160, 255})};
  Contour curve;
  curve.line = 3;
  curve.x = 5000;
  curve.y = 900;
  curve.pieces = {{true, 6000, 100, 7000, 900}, {true, 8000, 1100, 8800, 300}};
  a.contours = {polyline({{300, 300}, {2000, 300}, {1200, 1000}}, 1), rect(2400, 200, 1800, 800, 1, 2), curve,
                polyline({{4400, 1000}, {4500, 150}, {4800, 1000}}, 2)};
  ShapeSpec b;  // DefineShape4: a line filled with a gradient, a plain one
  b.id = 2;
  b.version = 4;
  LineStyle lg;
  lg.width = 160;
  lg.fill =
      gradient(FillKind::linear, square_onto(0, 0, 2000, 100), {{0, {0, 160, 0, 255}}, {255, {160, 0, 160, 255}}});
  b.lines = {lg, line(60, {0, 0, 0, 255})};
  b.contours = {polyline({{0, 0}, {500, 600}, {1000, 0}, {1500, 600}, {2000, 0}}, 1),
                polyline({{0, 800}, {2000, 800}}, 2)};
  s.shapes = {a, b};
  const Bytes tags = cat({define_shape(a), define_shape(b), place_object(1, 1, Matrix{}),
                          place_object(2, 2, translate(6500, 200)), show_frame()});
  s.file = frames_file(s, tags, 1);
  s.frames = {{{0, Matrix{}, {}}, {1, translate(6500, 200), {}}}};
  return s;
}

Scene transforms() {
  Scene s;
  s.name = "transforms";
  s.stage_w = 234;  // stretched twice over onto 468 x 60
  s.stage_h = 30;
  s.background = {40, 40, 60, 255};
  ShapeSpec a;
  a.id = 1;
  a.version = 3;
  a.fills = {solid({240, 120, 0, 255}), solid({0, 200, 220, 255})};
  a.lines = {line(30, {255, 255, 255, 255})};
  a.contours = {rect(-300, -200, 600, 400, 1, 1), ellipse(150, 0, 120, 120, 2)};
  s.shapes = {a};
  const Matrix m1 = rotate(20, 1, 700, 300);
  const Matrix m2 = Matrix{q16(0.8), q16(0.3), q16(-0.5), q16(0.9), 1700, 300};  // skew
  const Matrix m3 = scale(-1, 1, 2700, 300);                                     // mirrored
  const Matrix m4 = rotate(-45, 0.5, 3700, 300);
  Place2 p;
  p.character = 1;
  Bytes tags = define_shape(a);
  std::uint16_t depth = 1;
  for (const Matrix& m : {m1, m2, m3, m4}) {
    p.depth = depth++;
    p.matrix = m;
    tags = cat({tags, place_object2(p)});
  }
  tags = cat({tags, show_frame()});
  s.file = frames_file(s, tags, 1);
  s.frames = {{{0, m1, {}}, {0, m2, {}}, {0, m3, {}}, {0, m4, {}}}};
  return s;
}

Scene stretch() {
  Scene s;
  s.name = "stretch";
  s.stage_w = 400;  // squeezed to 468 x 60: wider, much lower
  s.stage_h = 100;
  s.background = {255, 255, 255, 255};
  ShapeSpec a;
  a.id = 1;
  a.version = 3;
  a.fills = {solid({30, 90, 200, 255})};
  a.lines = {line(100, {200, 30, 30, 255})};
  a.contours = {ellipse(2000, 1000, 1600, 800, 1, 1), polyline({{4200, 200}, {7800, 1800}}, 1)};
  s.shapes = {a};
  s.file = frames_file(s, cat({define_shape(a), place_object(1, 1, Matrix{}), show_frame()}), 1);
  s.frames = {{{0, Matrix{}, {}}}};
  return s;
}

Scene sprites() {
  Scene s;
  s.name = "sprites";
  s.background = {230, 230, 230, 255};
  s.translucent = true;
  ShapeSpec box;
  box.id = 1;
  box.fills = {solid({240, 140, 20, 255})};
  box.contours = {rect(0, 0, 600, 400, 1)};
  ShapeSpec ball;
  ball.id = 2;
  ball.fills = {solid({30, 60, 200, 255})};
  ball.contours = {ellipse(0, 0, 300, 300, 1)};
  s.shapes = {box, ball};
  // Sprite 10: the box moving right over three frames.
  Place2 move;
  move.depth = 1;
  move.move = true;
  Place2 first;
  first.depth = 1;
  first.character = 1;
  first.matrix = Matrix{};
  move.matrix = translate(300, 0);
  Bytes s10 = cat({place_object2(first), show_frame(), place_object2(move), show_frame()});
  move.matrix = translate(600, 0);
  s10 = cat({s10, place_object2(move), show_frame()});
  // Sprite 11 (one frame): sprite 10 at half size, and the ball.
  const Matrix half = scale(0.5, 0.5, 100, 100);
  Place2 in11;
  in11.depth = 1;
  in11.character = 10;
  in11.matrix = half;
  in11.name = "mover";
  const Bytes s11 = cat({place_object2(in11), place_object(2, 2, translate(1200, 600)), show_frame()});
  // Main: sprite 11 fading (alpha), the ball tinted on frame 1 only.
  const Matrix at = translate(2000, 200);
  ColorTransform fade;
  fade.mult_a = 160;
  ColorTransform tint;
  tint.mult_r = 128;
  tint.add_b = 100;
  Place2 main11;
  main11.depth = 1;
  main11.character = 11;
  main11.matrix = at;
  main11.color = fade;
  Place2 ball2;
  ball2.depth = 2;
  ball2.character = 2;
  ball2.matrix = translate(600, 600);
  ball2.color = tint;
  const Bytes tags = cat({define_shape(box), define_shape(ball), define_sprite(10, 3, s10), define_sprite(11, 1, s11),
                          frame_label("start"), place_object2(main11), place_object2(ball2), show_frame(),
                          remove_object2(2), show_frame()});
  s.file = frames_file(s, tags, 2);
  const auto box_at = [&](double x) { return Drawn{0, then(at, then(half, translate(x, 0))), fade}; };
  const Drawn inner_ball{1, then(at, translate(1200, 600)), fade};
  const Drawn tinted{1, translate(600, 600), tint};
  s.frames = {
      {box_at(0), inner_ball, tinted},
      {box_at(300), inner_ball},
      {box_at(600), inner_ball, tinted},  // the main timeline loops; sprite 11 stays and plays on
      {box_at(0), inner_ball},            // sprite 10 loops
  };
  return s;
}

Scene color_transforms() {
  Scene s;
  s.name = "color_transforms";
  s.background = {255, 255, 255, 255};
  s.translucent = true;
  ShapeSpec a;
  a.id = 1;
  a.version = 3;
  a.fills = {solid({200, 40, 40, 255}), solid({0, 0, 255, 128}),
             gradient(FillKind::radial, square_onto(-500, -500, 500, 500),
                      {{0, {255, 255, 255, 255}}, {200, {0, 120, 0, 128}}, {255, {0, 120, 0, 0}}})};
  a.contours = {rect(-500, -400, 1000, 800, 1), rect(-200, -200, 900, 400, 2), ellipse(0, 0, 500, 500, 3)};
  s.shapes = {a};
  ColorTransform c1;  // darker and more blue
  c1.mult_r = 100;
  c1.mult_g = 180;
  c1.add_b = 80;
  ColorTransform c2;  // half transparent
  c2.mult_a = 128;
  ColorTransform c3;  // inverted red, extra alpha taken away
  c3.mult_r = -256;
  c3.add_r = 255;
  c3.add_a = -40;
  Bytes tags = define_shape(a);
  std::uint16_t depth = 1;
  std::vector<Drawn> shown;
  double x = 800;
  for (const ColorTransform& c : {ColorTransform{}, c1, c2, c3}) {
    Place2 p;
    p.depth = depth++;
    p.character = 1;
    p.matrix = translate(x, 600);
    p.color = c;
    tags = cat({tags, place_object2(p)});
    shown.push_back({0, translate(x, 600), c});
    x += 2300;
  }
  s.file = frames_file(s, cat({tags, show_frame()}), 1);
  s.frames = {shown};
  return s;
}

}  // namespace

std::vector<Scene> test_scenes() {
  return {solid_fills(), gradients(), strokes(), transforms(), stretch(), sprites(), color_transforms()};
}

Scene heavy_scene() {
  Scene s;
  s.name = "heavy";
  s.background = {10, 20, 40, 255};
  ShapeSpec a;
  a.id = 1;
  a.version = 4;
  for (int i = 0; i < 40; ++i) {
    const auto r = static_cast<std::uint8_t>(40 + (i * 53) % 200), g = static_cast<std::uint8_t>(60 + (i * 97) % 180);
    const std::int32_t cx = 200 + (i * 911) % 9000, cy = 100 + (i * 379) % 1000;
    if (i % 3 == 0) {
      a.fills.push_back(gradient(FillKind::radial, square_onto(cx - 400, cy - 300, cx + 400, cy + 300),
                                 {{0, {255, 255, 255, 255}}, {255, {r, g, 200, 200}}}));
    } else if (i % 3 == 1) {
      a.fills.push_back(gradient(FillKind::linear, square_onto(cx - 500, cy, cx + 500, cy + 1),
                                 {{0, {r, 20, g, 255}}, {255, {g, r, 20, 255}}}, Spread::reflect));
    } else {
      a.fills.push_back(solid({r, g, 120, 180}));
    }
    a.lines.push_back(line(static_cast<std::uint16_t>(20 + i % 4 * 20), {255, 255, 255, 200}));
    a.contours.push_back(ellipse(cx, cy, 300 + i % 5 * 80, 200 + i % 7 * 40, static_cast<std::uint32_t>(i + 1),
                                 static_cast<std::uint32_t>(i + 1)));
  }
  s.shapes = {a};
  s.file = frames_file(s, cat({define_shape(a), place_object(1, 1, Matrix{}), show_frame()}), 1);
  s.frames = {{{0, Matrix{}, {}}}};
  s.translucent = true;
  return s;
}

}  // namespace brevaro::swf_writer
