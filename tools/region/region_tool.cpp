#include "tools/region/region_tool.h"

#include <charconv>
#include <memory>

#include "region/components.h"
#include "tools/region/png_writer.h"

namespace brevaro::region::tool {

namespace {

const char* const kUsage =
    "usage: brevaro-region [--window W,H] [--client X,Y,W,H] [--caption N]\n"
    "                      [--bitmap NAME=FILE.bmp[,trans=RRGGBB][,inverted][,source]]\n"
    "                      [--png OUT.png] DESCRIPTION\n"
    "DESCRIPTION: the region description, \\n standing for CR LF.\n";

struct UsageError {
  std::string message;
};

std::vector<int32_t> parse_ints(const std::string& text, size_t count, const char* option) {
  std::vector<int32_t> values;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int32_t v = 0;
    const auto res = std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || res.ec != std::errc() || res.ptr != part.data() + part.size()) {
      throw UsageError{std::string("bad value for ") + option + ": " + text};
    }
    values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (values.size() != count) throw UsageError{std::string("bad value for ") + option + ": " + text};
  return values;
}

struct BitmapOption {
  std::string name;
  std::string file;
  uint32_t trans_rgb = 0x808000;  // clOlive
  bool inverted = false;
  bool source = false;
};

BitmapOption parse_bitmap(const std::string& text) {
  BitmapOption option;
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError{"bad --bitmap: " + text};
  option.name = text.substr(0, eq);
  std::string rest = text.substr(eq + 1);
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = rest.find(',', start);
    parts.push_back(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  option.file = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    if (p == "inverted") {
      option.inverted = true;
    } else if (p == "source") {
      option.source = true;
    } else if (p.rfind("trans=", 0) == 0 && p.size() == 12) {
      uint32_t v = 0;
      const auto res = std::from_chars(p.data() + 6, p.data() + 12, v, 16);
      if (res.ec != std::errc() || res.ptr != p.data() + 12) throw UsageError{"bad colour in --bitmap: " + p};
      option.trans_rgb = v;
    } else {
      throw UsageError{"bad --bitmap option: " + p};
    }
  }
  if (option.file.empty()) throw UsageError{"bad --bitmap: " + text};
  return option;
}

// The tool's owner form: records the window region and the message boxes.
class ToolForm : public RegionOwner {
 public:
  ToolForm(Geometry g, std::ostream& err) : geometry_(g), err_(err) {}
  bool visible() const override { return false; }
  Geometry geometry() const override { return geometry_; }
  void set_window_region(Region region, bool) override { region_ = std::move(region); }
  void show_message(const std::string& text) override { err_ << "message: " << text << "\n"; }
  void install_hook(MessageHook* hook) override { hook_ = hook; }
  void remove_hook(MessageHook* hook) override {
    if (hook_ == hook) hook_ = nullptr;
  }
  intptr_t send_message(uint32_t msg, uintptr_t wparam, intptr_t lparam) override {
    if (!hook_) return 0;
    return hook_->window_proc(msg, wparam, lparam, [] { return intptr_t{0}; });
  }
  const Region& region() const { return region_; }

 private:
  Geometry geometry_;
  std::ostream& err_;
  MessageHook* hook_ = nullptr;
  Region region_;
};

}  // namespace

std::string unescape_description(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Geometry g = Geometry::whole_window(871, 488);
  bool client_given = false;
  std::vector<BitmapOption> bitmaps;
  std::string png_path;
  std::string description;
  bool have_description = false;
  try {
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) throw UsageError{"missing value for " + a};
        return args[++i];
      };
      if (a == "--window") {
        const auto v = parse_ints(value(), 2, "--window");
        g.window_width = v[0];
        g.window_height = v[1];
      } else if (a == "--client") {
        const auto v = parse_ints(value(), 4, "--client");
        g.client_left = v[0];
        g.client_top = v[1];
        g.client_width = v[2];
        g.client_height = v[3];
        client_given = true;
      } else if (a == "--caption") {
        g.caption_height = parse_ints(value(), 1, "--caption")[0];
      } else if (a == "--bitmap") {
        bitmaps.push_back(parse_bitmap(value()));
      } else if (a == "--png") {
        png_path = value();
      } else if (a == "--help" || a == "-h") {
        out << kUsage;
        return 0;
      } else if (!have_description && (a.empty() || a[0] != '-' || a.size() == 1 || a[1] != '-')) {
        description = a;
        have_description = true;
      } else {
        throw UsageError{"unexpected argument: " + a};
      }
    }
    if (!have_description) throw UsageError{"missing DESCRIPTION"};
  } catch (const UsageError& e) {
    err << "brevaro-region: " << e.message << "\n" << kUsage;
    return 2;
  }
  if (!client_given) {
    g.client_left = 0;
    g.client_top = 0;
    g.client_width = g.window_width;
    g.client_height = g.window_height;
  }

  ToolForm form(g, err);
  std::vector<std::unique_ptr<TPictExtRgn>> providers;
  try {
    for (const BitmapOption& option : bitmaps) {
      auto p = std::make_unique<TPictExtRgn>(&form);
      p->set_name(option.name);
      p->set_glyph(load_bmp_file(option.file));
      // 0x00RRGGBB -> the framework's 0x00BBGGRR.
      p->set_trans_color(color_to_pixel(option.trans_rgb));
      p->set_inverted(option.inverted);
      if (option.source) {
        p->set_hor_align(RegionAlignment::raSource);
        p->set_vert_align(RegionAlignment::raSource);
      }
      providers.push_back(std::move(p));
    }
  } catch (const EBitmapError& e) {
    err << "brevaro-region: " << e.what() << "\n";
    return 2;
  } catch (const EComponentError& e) {  // two --bitmap with one name
    err << "brevaro-region: " << e.what() << "\n";
    return 2;
  }

  TFormRegion form_region(&form);
  try {
    form_region.set_region(unescape_description(description));
  } catch (const ECannotTranslate& e) {
    out << "error: " << e.what() << "\n";
    return 1;
  } catch (const EDivByZero& e) {
    out << "error: " << e.what() << "\n";
    return 1;
  }
  // A description that builds no region (empty, or nothing stored) prints
  // like an empty region: no rectangles, bbox 0 0 0 0. Scripts can always
  // read the last line.
  const Region& built = form_region.built_region();
  const auto rects = built.rects();
  std::string text;
  for (const Rect& r : rects) {
    text += "rect " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
            std::to_string(r.bottom) + "\n";
  }
  const Rect b = built.bbox();
  text += "bbox " + std::to_string(b.left) + " " + std::to_string(b.top) + " " + std::to_string(b.right) + " " +
          std::to_string(b.bottom) + "\n";
  out << text;

  if (!png_path.empty()) {
    const int32_t w = g.window_width;
    const int32_t h = g.window_height;
    if (w <= 0 || h <= 0 || int64_t{w} * h > (int64_t{1} << 26)) {
      err << "brevaro-region: window too large or empty for --png\n";
      return 2;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h), 255);
    for (const Rect& r : rects) {
      const int32_t l = std::max(r.left, 0), t = std::max(r.top, 0);
      const int32_t rr = std::min(r.right, w), bb = std::min(r.bottom, h);
      for (int32_t y = t; y < bb; ++y) {
        for (int32_t x = l; x < rr; ++x)
          pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = 0;
      }
    }
    if (!write_file(png_path, encode_png_grey(static_cast<uint32_t>(w), static_cast<uint32_t>(h), pixels))) {
      err << "brevaro-region: cannot write " << png_path << "\n";
      return 2;
    }
  }
  return 0;
}

}  // namespace brevaro::region::tool
