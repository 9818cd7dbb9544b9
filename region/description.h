// The region description language: evaluation of a description
// text into one region. Headless: the window geometry, the external region
// providers and the message box come through EvaluationEnvironment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "region/errors.h"
#include "region/region.h"

namespace brevaro::region {

// The owner window's frame geometry at the moment of evaluation, in pixels
// from the window's top-left corner.
struct Geometry {
  int32_t window_width = 0;
  int32_t window_height = 0;
  int32_t client_left = 0;     // X: client origin x - window Left
  int32_t client_top = 0;      // C: client origin y - window Top
  int32_t client_width = 0;    // R = X + client_width
  int32_t client_height = 0;   // B = C + client_height
  int32_t caption_height = 0;  // Y = C - caption_height (small caption for tool windows)

  static Geometry whole_window(int32_t width, int32_t height) {
    return Geometry{width, height, 0, 0, width, height, 0};
  }
};

// Size of an external region's source: -1 on an axis means "use the
// region's own bounding box" (raResult).
struct SourceSize {
  int32_t width = -1;
  int32_t height = -1;
  friend bool operator==(const SourceSize&, const SourceSize&) = default;
};

// What the evaluator requires of an external region (the picture-derived region supplies it).
class ExternalRegionSource {
 public:
  virtual ~ExternalRegionSource() = default;
  virtual std::string name() const = 0;
  // A new region owned by the caller, or none.
  virtual Region get_region() = 0;
  virtual SourceSize get_source_size() const = 0;
};

class EvaluationEnvironment {
 public:
  virtual ~EvaluationEnvironment() = default;
  virtual Geometry geometry() const = 0;
  // The first provider, in provider-chain order, whose name equals `name`
  // ignoring the case of ASCII letters; nullptr when there is none.
  virtual ExternalRegionSource* find_external_region(std::string_view name) = 0;
  // The information message box ("External region ... not found").
  virtual void show_message(const std::string& text) = 0;
};

inline constexpr int kMaxLevels = 15;
// Parentheses nested deeper than this inside one expression are reported as
// "Syntax error in position N" (N: the opening parenthesis that is too deep)
// instead of recursing further.
inline constexpr int kMaxExpressionDepth = 256;

// Evaluates a whole description (lines separated by CR LF). Returns the
// built region, or none when the description is empty or stores nothing.
// Errors: ECannotTranslate (message + " in line N"), EDivByZero.
Region evaluate_description(std::string_view description, EvaluationEnvironment& env);

// Evaluates one comma-separated piece as an integer expression (the text is
// upper-cased first). Errors: ECannotTranslate without the line suffix,
// EDivByZero.
int32_t evaluate_expression(std::string_view piece, const Geometry& geometry);

// ASCII-only upper case, as the language uses it.
std::string ascii_upper(std::string_view text);
bool ascii_iequals(std::string_view a, std::string_view b);

}  // namespace brevaro::region
