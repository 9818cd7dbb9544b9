#include "region/description.h"

#include <array>
#include <cstddef>
#include <vector>

namespace brevaro::region {

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

namespace {

// 32-bit two's-complement arithmetic without undefined behaviour.
int32_t wrap(uint32_t v) { return static_cast<int32_t>(v); }
int32_t add(int32_t a, int32_t b) { return wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t sub(int32_t a, int32_t b) { return wrap(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
int32_t mul(int32_t a, int32_t b) { return wrap(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
int32_t neg(int32_t a) { return wrap(0u - static_cast<uint32_t>(a)); }
int32_t divide(int32_t a, int32_t b) {
  if (b == 0) throw EDivByZero();
  if (b == -1) return neg(a);  // INT32_MIN / -1 wraps to INT32_MIN
  return a / b;
}

std::string position_error(const char* what, size_t index) { return std::string(what) + std::to_string(index + 1); }

// Recursive-descent evaluator over one upper-cased piece with a space
// appended; positions in errors are 1-based.
class ExpressionParser {
 public:
  ExpressionParser(std::string text, const Geometry& g) : s_(std::move(text)), g_(g) {}

  int32_t run() { return expression(); }

 private:
  char peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }

  int32_t expression() {
    int32_t v = term();
    for (;;) {
      const char c = peek();
      if (c == '+') {
        ++pos_;
        v = add(v, term());
      } else if (c == '-') {
        ++pos_;
        v = sub(v, term());
      } else {
        return v;
      }
    }
  }

  int32_t term() {
    int32_t v = factor();
    for (;;) {
      const char c = peek();
      if (c == '*') {
        ++pos_;
        v = mul(v, factor());
      } else if (c == '/') {
        ++pos_;
        const int32_t d = factor();
        v = divide(v, d);
      } else {
        return v;
      }
    }
  }

  int32_t factor() {
    // A run of unary minus signs, taken without recursion.
    bool negate = false;
    while (peek() == '-') {
      negate = !negate;
      ++pos_;
    }
    int32_t v = 0;
    const char c = peek();
    if (c == '(') {
      if (depth_ >= kMaxExpressionDepth) {
        throw ECannotTranslate(position_error("Syntax error in position ", pos_));
      }
      ++pos_;
      ++depth_;
      v = expression();
      --depth_;
      if (peek() != ')') throw ECannotTranslate(position_error("')' expected in position ", pos_));
      ++pos_;
    } else if (c >= '0' && c <= '9') {
      v = number();
    } else if (const auto letter = geometry_letter(c); letter.has_value) {
      ++pos_;
      v = letter.value;
    } else {
      throw ECannotTranslate(position_error("Syntax error in position ", pos_));
    }
    return negate ? neg(v) : v;
  }

  // The longest valid 32-bit integer literal at the current position:
  // decimal up to 2147483647, or 0X and hexadecimal digits up to 0XFFFFFFFF
  // (which reads as the 32-bit pattern, -1).
  int32_t number() {
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (peek() == '0' && pos_ + 2 < s_.size() && s_[pos_ + 1] == 'X' && hex(s_[pos_ + 2]) >= 0) {
      pos_ += 2;
      uint64_t v = 0;
      while (hex(peek()) >= 0) {
        const uint64_t next = v * 16 + static_cast<uint64_t>(hex(peek()));
        if (next > 0xFFFFFFFFull) break;
        v = next;
        ++pos_;
      }
      return wrap(static_cast<uint32_t>(v));
    }
    uint64_t v = 0;
    while (peek() >= '0' && peek() <= '9') {
      const uint64_t next = v * 10 + static_cast<uint64_t>(peek() - '0');
      if (next > 0x7FFFFFFFull) break;
      v = next;
      ++pos_;
    }
    return static_cast<int32_t>(v);
  }

  struct Letter {
    bool has_value;
    int32_t value;
  };
  Letter geometry_letter(char c) const {
    switch (c) {
      case 'X': return {true, g_.client_left};
      case 'C': return {true, g_.client_top};
      case 'R': return {true, add(g_.client_left, g_.client_width)};
      case 'B': return {true, add(g_.client_top, g_.client_height)};
      case 'W': return {true, g_.window_width};
      case 'H': return {true, g_.window_height};
      case 'Y': return {true, sub(g_.client_top, g_.caption_height)};
      default: return {false, 0};
    }
  }

  std::string s_;
  const Geometry& g_;
  size_t pos_ = 0;
  int depth_ = 0;
};

int32_t eval_upper(std::string_view upper_piece, const Geometry& g) {
  std::string text(upper_piece);
  text.push_back(' ');
  return ExpressionParser(std::move(text), g).run();
}

std::vector<std::string_view> split_commas(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

class Evaluator {
 public:
  explicit Evaluator(EvaluationEnvironment& env) : env_(env), geometry_(env.geometry()) {
    mode_[1] = CombineMode::Or;
    first_[1] = true;
  }

  Region run(std::string_view description) {
    const std::string text = ascii_upper(description);
    size_t start = 0;
    int line_number = 1;
    for (;;) {
      const size_t end = text.find("\r\n", start);
      const std::string_view line =
          std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
      try {
        process_line(line);
      } catch (const ECannotTranslate& e) {
        for (auto& a : acc_) a = Region();
        throw ECannotTranslate(std::string(e.what()) + " in line " + std::to_string(line_number));
      }
      if (end == std::string::npos) break;
      start = end + 2;
      ++line_number;
    }
    return std::move(acc_[1]);
  }

 private:
  void process_line(std::string_view line) {
    Region operand;            // cleared at the start of each line
    if (line.empty()) return;  // an empty line is skipped
    const char command = line[0];
    const std::string_view params = line.substr(1);
    switch (command) {
      case 'A': mode_[level_] = CombineMode::And; break;
      case 'O': mode_[level_] = CombineMode::Or; break;
      case 'X': mode_[level_] = CombineMode::Xor; break;
      case 'D': mode_[level_] = CombineMode::Diff; break;
      case 'R':
      case 'E': {
        const auto v = values(params, [](size_t commas) { return commas == 3; });
        operand = command == 'R' ? Region::rect(v[0], v[1], v[2], v[3]) : Region::ellipse(v[0], v[1], v[2], v[3]);
        break;
      }
      case 'U': {
        const auto v = values(params, [](size_t commas) { return commas == 5; });
        operand = Region::round_rect(v[0], v[1], v[2], v[3], v[4], v[5]);
        break;
      }
      case 'L':
      case 'W': {
        const auto v = values(params, [](size_t commas) { return commas >= 5 && commas % 2 == 1; });
        std::vector<Point> points(v.size() / 2);
        for (size_t i = 0; i < points.size(); ++i) points[i] = Point{v[2 * i], v[2 * i + 1]};
        operand = Region::polygon(points, command == 'L' ? FillMode::Alternate : FillMode::Winding);
        break;
      }
      case 'T': operand = external(params); break;
      case '{':
        if (level_ == kMaxLevels) throw ECannotTranslate("Too many brackets");
        ++level_;
        acc_[level_] = Region();
        mode_[level_] = CombineMode::Or;
        first_[level_] = true;
        break;
      case '}':
        if (level_ == 1) throw ECannotTranslate("'}' without '{'");
        operand = std::move(acc_[level_]);
        --level_;
        break;
      default: throw ECannotTranslate("Unknown command");
    }
    store(std::move(operand));
  }

  void store(Region operand) {
    if (!operand) return;
    if (first_[level_]) {
      acc_[level_] = std::move(operand);
      first_[level_] = false;
    } else {
      acc_[level_].combine(operand, mode_[level_]);
    }
  }

  template <typename CountOk>
  std::vector<int32_t> values(std::string_view params, CountOk count_ok) {
    const auto parts = split_commas(params);
    if (!count_ok(parts.size() - 1)) throw ECannotTranslate("Invalid number of parameters");
    std::vector<int32_t> v;
    v.reserve(parts.size());
    for (const auto part : parts) v.push_back(eval_upper(part, geometry_));
    return v;
  }

  Region external(std::string_view params) {
    if (params.size() < 3) throw ECannotTranslate("Syntax error");
    const char h = params[0];
    const char v = params[1];
    const std::string_view rest = params.substr(2);
    const size_t c1 = rest.find(',');
    if (c1 == std::string_view::npos) throw ECannotTranslate("Invalid number of parameters");
    const size_t c2 = rest.find(',', c1 + 1);
    if (c2 == std::string_view::npos) throw ECannotTranslate("Invalid number of parameters");
    const int32_t x = eval_upper(rest.substr(0, c1), geometry_);
    const int32_t y = eval_upper(rest.substr(c1 + 1, c2 - c1 - 1), geometry_);
    const std::string name(rest.substr(c2 + 1));

    ExternalRegionSource* provider = env_.find_external_region(name);
    if (!provider) {
      env_.show_message("External region " + name + " not found");
      return Region();
    }
    Region operand = provider->get_region();
    const SourceSize size = provider->get_source_size();
    if (!operand) return Region();
    Rect box = operand.bbox();
    if (size.width != -1) {
      box.left = 0;
      box.right = size.width;
    }
    if (size.height != -1) {
      box.top = 0;
      box.bottom = size.height;
    }
    switch (h) {
      case 'L': operand.offset(sub(x, box.left), 0); break;
      case 'R': operand.offset(sub(x, box.right), 0); break;
      case 'C': operand.offset(sub(x, add(box.left, box.right) / 2), 0); break;
      default: throw ECannotTranslate("Syntax error");
    }
    switch (v) {
      case 'T': operand.offset(0, sub(y, box.top)); break;
      case 'B': operand.offset(0, sub(y, box.bottom)); break;
      case 'C': operand.offset(0, sub(y, add(box.top, box.bottom) / 2)); break;
      default: throw ECannotTranslate("Syntax error");
    }
    return operand;
  }

  EvaluationEnvironment& env_;
  const Geometry geometry_;
  int level_ = 1;
  std::array<Region, kMaxLevels + 1> acc_{};
  std::array<CombineMode, kMaxLevels + 1> mode_{};
  std::array<bool, kMaxLevels + 1> first_{};
};

}  // namespace

int32_t evaluate_expression(std::string_view piece, const Geometry& geometry) {
  return eval_upper(ascii_upper(piece), geometry);
}

Region evaluate_description(std::string_view description, EvaluationEnvironment& env) {
  if (description.empty()) return Region();
  return Evaluator(env).run(description);
}

}  // namespace brevaro::region
