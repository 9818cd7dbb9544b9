// Value types shared by the UI framework and its backends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/winapi_numbers.h"
#include "platform/system.h"

namespace brevaro::ui {

using platform::Point;
using platform::Size;

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const noexcept { return left + width; }
  int bottom() const noexcept { return top + height; }
  bool contains(Point p) const noexcept { return p.x >= left && p.x < right() && p.y >= top && p.y < bottom(); }
  // Strictly inside: not on any edge.
  bool strictly_contains(Point p) const noexcept { return p.x > left && p.x < right() && p.y > top && p.y < bottom(); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A colour as 0x00BBGGRR, the platform's own layout.
using Color = std::uint32_t;
constexpr Color rgb(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline constexpr Color kBlack = 0x000000;
inline constexpr Color kWhite = 0xFFFFFF;
inline constexpr Color kRed = 0x0000FF;
inline constexpr Color kButtonFace = 0xF0F0F0;

// A message as the message loop takes it from the queue. `window` is the
// native handle of the window it is for.
struct Message {
  std::uintptr_t window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
};

// Message numbers (the platform's WM_* values).
namespace msg = winapi::msg;

// Client coordinates packed into a mouse message's lparam, as the platform does.
constexpr std::intptr_t make_point_lparam(Point p) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(p.x) & 0xFFFF) |
                                    ((static_cast<std::uint32_t>(p.y) & 0xFFFF) << 16));
}
constexpr Point point_from_lparam(std::intptr_t lp) {
  return Point{static_cast<std::int16_t>(lp & 0xFFFF), static_cast<std::int16_t>((lp >> 16) & 0xFFFF)};
}

enum class MouseButton { left, right, middle };

// Cursors: the platform's standard ones and the program's own, registered
// under a number (the program's "MOVE" cursor is number 1).
enum class Cursor : int { arrow = 0, hand = -21, wait = -11, cross = -3, custom_1 = 1 };

enum class MsgBoxButtons { ok, yes_no };
enum class MsgBoxIcon { none, information, warning, error, question };
enum class MsgBoxResult { none = 0, ok = 1, cancel = 2, yes = 6, no = 7 };

// A picture: 32-bit pixels, top row first, each 0x00RRGGBB.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

struct Font {
  std::string name = "MS Sans Serif";
  int height = -11;  // negative: character height in pixels
  Color color = kBlack;
  bool bold = false;
};

}  // namespace brevaro::ui
