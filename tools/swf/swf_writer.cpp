#include "tools/swf/swf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace brevaro::swf_writer {

namespace {

// Writes bit fields most significant bit first; whole bytes after align().
class BitWriter {
 public:
  void put(std::uint32_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (bit_ == 0) out_.push_back(0);
      if ((v >> i) & 1u) out_.back() |= static_cast<std::uint8_t>(0x80u >> bit_);
      bit_ = (bit_ + 1) & 7;
    }
  }
  void put_signed(std::int32_t v, unsigned n) { put(static_cast<std::uint32_t>(v) & mask(n), n); }
  void align() { bit_ = 0; }
  void u8(unsigned v) {
    align();
    out_.push_back(static_cast<std::uint8_t>(v));
  }
  void u16(unsigned v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  }
  void bytes(std::span<const std::uint8_t> b) {
    align();
    out_.insert(out_.end(), b.begin(), b.end());
  }
  Bytes take() { return std::move(out_); }

 private:
  static std::uint32_t mask(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }
  Bytes out_;
  unsigned bit_ = 0;
};

unsigned signed_bits(std::int64_t v) {
  unsigned n = 1;
  while (v < -(std::int64_t{1} << (n - 1)) || v >= (std::int64_t{1} << (n - 1))) ++n;
  return n;
}
unsigned unsigned_bits(std::uint32_t v) {
  unsigned n = 0;
  while (v >> n) ++n;
  return n;
}
std::int32_t fixed16(double v) { return static_cast<std::int32_t>(std::lround(v * 65536.0)); }

void put_matrix(BitWriter& w, const Matrix& m) {
  w.align();
  const std::int32_t a = fixed16(m.a), b = fixed16(m.b), c = fixed16(m.c), d = fixed16(m.d);
  const bool scale = a != 65536 || d != 65536, rotate = b != 0 || c != 0;
  w.put(scale, 1);
  if (scale) {
    const unsigned n = std::max(signed_bits(a), signed_bits(d));
    w.put(n, 5);
    w.put_signed(a, n);
    w.put_signed(d, n);
  }
  w.put(rotate, 1);
  if (rotate) {
    const unsigned n = std::max(signed_bits(b), signed_bits(c));
    w.put(n, 5);
    w.put_signed(b, n);
    w.put_signed(c, n);
  }
  const auto tx = static_cast<std::int32_t>(std::lround(m.tx)), ty = static_cast<std::int32_t>(std::lround(m.ty));
  const unsigned n = tx == 0 && ty == 0 ? 0 : std::max(signed_bits(tx), signed_bits(ty));
  w.put(n, 5);
  w.put_signed(tx, n);
  w.put_signed(ty, n);
  w.align();
}

void put_cxform(BitWriter& w, const ColorTransform& c, bool alpha) {
  w.align();
  const bool mult = c.mult_r != 256 || c.mult_g != 256 || c.mult_b != 256 || (alpha && c.mult_a != 256);
  const bool add = c.add_r != 0 || c.add_g != 0 || c.add_b != 0 || (alpha && c.add_a != 0);
  std::vector<std::int32_t> vals;
  if (mult) vals.insert(vals.end(), {c.mult_r, c.mult_g, c.mult_b});
  if (mult && alpha) vals.push_back(c.mult_a);
  if (add) vals.insert(vals.end(), {c.add_r, c.add_g, c.add_b});
  if (add && alpha) vals.push_back(c.add_a);
  unsigned n = 1;
  for (std::int32_t v : vals) n = std::max(n, signed_bits(v));
  if (n > 15) throw std::invalid_argument("colour transform term too large");
  w.put(add, 1);
  w.put(mult, 1);
  w.put(n, 4);
  for (std::int32_t v : vals) w.put_signed(v, n);
  w.align();
}

void put_color(BitWriter& w, Rgba c, bool alpha) {
  w.u8(c.r);
  w.u8(c.g);
  w.u8(c.b);
  if (alpha) w.u8(c.a);
}

void put_fill(BitWriter& w, const FillStyle& f, int version) {
  using media::swf::FillKind;
  const bool alpha = version >= 3;
  if (f.kind == FillKind::bitmap) {
    w.u8(f.bitmap_type);
    w.u16(f.bitmap_id);
    put_matrix(w, f.matrix);
    return;
  }
  w.u8(static_cast<unsigned>(f.kind));
  if (f.kind == FillKind::solid) {
    put_color(w, f.color, alpha);
    return;
  }
  put_matrix(w, f.matrix);
  w.align();
  w.put(static_cast<unsigned>(f.spread), 2);
  w.put(static_cast<unsigned>(f.interpolation), 2);
  w.put(static_cast<std::uint32_t>(f.stops.size()), 4);
  for (const auto& s : f.stops) {
    w.u8(s.ratio);
    put_color(w, s.color, alpha);
  }
  if (f.kind == FillKind::focal) {
    const auto v = static_cast<std::int16_t>(std::lround(f.focal * 256));
    w.u16(static_cast<std::uint16_t>(v));
  }
}

void put_count(BitWriter& w, std::size_t n, int version) {
  if (n < 0xFF || version < 2) {
    w.u8(static_cast<unsigned>(n));
  } else {
    w.u8(0xFF);
    w.u16(static_cast<unsigned>(n));
  }
}

void put_styles(BitWriter& w, const ShapeSpec& s) {
  put_count(w, s.fills.size(), s.version);
  for (const auto& f : s.fills) put_fill(w, f, s.version);
  put_count(w, s.lines.size(), s.version);
  for (const auto& l : s.lines) {
    w.u16(l.width);
    if (s.version >= 4) {
      w.put(l.start_cap, 2);
      w.put(l.join, 2);
      w.put(l.fill ? 1 : 0, 1);
      w.put(0, 3);  // scale flags, pixel hinting
      w.put(0, 5);  // reserved
      w.put(0, 1);  // no close
      w.put(l.end_cap, 2);
      if (l.join == 2) w.u16(3 << 8);
      if (l.fill) {
        put_fill(w, *l.fill, s.version);
      } else {
        put_color(w, l.color, true);
      }
    } else {
      put_color(w, l.color, s.version >= 3);
    }
  }
}

void put_rect(BitWriter& w, std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1) {
  w.align();
  const unsigned n = std::max({signed_bits(x0), signed_bits(x1), signed_bits(y0), signed_bits(y1)});
  w.put(n, 5);
  w.put_signed(x0, n);
  w.put_signed(x1, n);
  w.put_signed(y0, n);
  w.put_signed(y1, n);
  w.align();
}

void put_edge_bits(BitWriter& w, std::initializer_list<std::int32_t> vals, unsigned& n) {
  n = 2;
  for (std::int32_t v : vals) n = std::max(n, signed_bits(v));
  if (n > 17) throw std::invalid_argument("edge delta too large");
  w.put(n - 2, 4);
}

}  // namespace

Contour rect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, std::uint32_t fill1, std::uint32_t line) {
  Contour c;
  c.fill1 = fill1;
  c.line = line;
  c.x = x;
  c.y = y;
  c.pieces = {{false, 0, 0, x + w, y}, {false, 0, 0, x + w, y + h}, {false, 0, 0, x, y + h}, {false, 0, 0, x, y}};
  return c;
}

Contour ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, std::uint32_t fill1,
                std::uint32_t line) {
  Contour c;
  c.fill1 = fill1;
  c.line = line;
  c.x = cx + rx;
  c.y = cy;
  const double k = 1 / std::cos(std::numbers::pi / 8);
  for (int i = 1; i <= 8; ++i) {
    const double mid = (i - 0.5) * std::numbers::pi / 4, end = i * std::numbers::pi / 4;
    Piece p;
    p.curved = true;
    p.cx = cx + static_cast<std::int32_t>(std::lround(rx * k * std::cos(mid)));
    p.cy = cy + static_cast<std::int32_t>(std::lround(ry * k * std::sin(mid)));
    p.x = cx + static_cast<std::int32_t>(std::lround(rx * std::cos(end)));
    p.y = cy + static_cast<std::int32_t>(std::lround(ry * std::sin(end)));
    c.pieces.push_back(p);
  }
  c.pieces.back().x = c.x;
  c.pieces.back().y = c.y;
  return c;
}

Contour reversed(const Contour& c) {
  Contour r;
  r.fill0 = c.fill1;
  r.fill1 = c.fill0;
  r.line = c.line;
  std::int32_t px = c.x, py = c.y;
  std::vector<std::pair<std::int32_t, std::int32_t>> starts;
  for (const Piece& p : c.pieces) {
    starts.emplace_back(px, py);
    px = p.x;
    py = p.y;
  }
  r.x = px;
  r.y = py;
  for (std::size_t i = c.pieces.size(); i-- > 0;) {
    Piece p = c.pieces[i];
    p.x = starts[i].first;
    p.y = starts[i].second;
    r.pieces.push_back(p);
  }
  return r;
}

FillStyle solid(Rgba c) {
  FillStyle f;
  f.color = c;
  return f;
}

FillStyle gradient(media::swf::FillKind kind, const Matrix& m, std::vector<media::swf::GradientStop> stops,
                   media::swf::Spread spread, media::swf::Interpolation interp, double focal) {
  FillStyle f;
  f.kind = kind;
  f.matrix = m;
  f.stops = std::move(stops);
  f.spread = spread;
  f.interpolation = interp;
  f.focal = focal;
  return f;
}

Bytes tag(unsigned code, std::span<const std::uint8_t> body) {
  BitWriter w;
  if (body.size() < 0x3F) {
    w.u16((code << 6) | static_cast<unsigned>(body.size()));
  } else {
    w.u16((code << 6) | 0x3F);
    const auto n = static_cast<std::uint32_t>(body.size());
    w.u16(n & 0xFFFF);
    w.u16(n >> 16);
  }
  w.bytes(body);
  return w.take();
}

Bytes define_shape(const ShapeSpec& s) {
  BitWriter w;
  w.u16(s.id);
  std::int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool first = true;
  const auto grow = [&](std::int32_t x, std::int32_t y) {
    if (first) {
      x0 = x1 = x;
      y0 = y1 = y;
      first = false;
    }
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  };
  for (const Contour& c : s.contours) {
    grow(c.x, c.y);
    for (const Piece& p : c.pieces) {
      grow(p.x, p.y);
      if (p.curved) grow(p.cx, p.cy);
    }
  }
  std::int32_t pad = 0;
  for (const auto& l : s.lines) pad = std::max<std::int32_t>(pad, l.width / 2);
  put_rect(w, x0 - pad, x1 + pad, y0 - pad, y1 + pad);
  if (s.version >= 4) {
    put_rect(w, x0, x1, y0, y1);
    w.u8(0);
  }
  put_styles(w, s);
  const unsigned fill_bits = unsigned_bits(static_cast<std::uint32_t>(s.fills.size()));
  const unsigned line_bits = unsigned_bits(static_cast<std::uint32_t>(s.lines.size()));
  w.align();
  w.put(fill_bits, 4);
  w.put(line_bits, 4);
  for (const Contour& c : s.contours) {
    // Style change: move to, fill 0, fill 1, line.
    w.put(0, 1);
    w.put(0, 1);  // new styles
    w.put(line_bits > 0, 1);
    w.put(fill_bits > 0, 1);
    w.put(fill_bits > 0, 1);
    w.put(1, 1);  // move to
    const unsigned mn = std::max(signed_bits(c.x), signed_bits(c.y));
    w.put(mn, 5);
    w.put_signed(c.x, mn);
    w.put_signed(c.y, mn);
    if (fill_bits > 0) {
      w.put(c.fill0, fill_bits);
      w.put(c.fill1, fill_bits);
    }
    if (line_bits > 0) w.put(c.line, line_bits);
    std::int32_t px = c.x, py = c.y;
    for (const Piece& p : c.pieces) {
      w.put(1, 1);  // edge
      unsigned n = 0;
      if (p.curved) {
        const std::int32_t cdx = p.cx - px, cdy = p.cy - py, adx = p.x - p.cx, ady = p.y - p.cy;
        w.put(0, 1);
        put_edge_bits(w, {cdx, cdy, adx, ady}, n);
        w.put_signed(cdx, n);
        w.put_signed(cdy, n);
        w.put_signed(adx, n);
        w.put_signed(ady, n);
      } else {
        const std::int32_t dx = p.x - px, dy = p.y - py;
        w.put(1, 1);
        put_edge_bits(w, {dx, dy}, n);
        if (dx != 0 && dy != 0) {
          w.put(1, 1);  // general line
          w.put_signed(dx, n);
          w.put_signed(dy, n);
        } else {
          w.put(0, 1);
          w.put(dx == 0, 1);  // vertical
          w.put_signed(dx == 0 ? dy : dx, n);
        }
      }
      px = p.x;
      py = p.y;
    }
  }
  w.put(0, 6);  // end of shape
  const unsigned code = s.version == 1 ? 2 : s.version == 2 ? 22 : s.version == 3 ? 32 : 83;
  return tag(code, w.take());
}

Bytes background(Rgba c) {
  const std::uint8_t b[] = {c.r, c.g, c.b};
  return tag(9, b);
}
Bytes show_frame() { return tag(1, {}); }
Bytes end_tag() { return tag(0, {}); }

Bytes frame_label(const std::string& label) {
  Bytes b(label.begin(), label.end());
  b.push_back(0);
  return tag(43, b);
}

Bytes place_object(std::uint16_t character, std::uint16_t depth, const Matrix& m, std::optional<ColorTransform> cx) {
  BitWriter w;
  w.u16(character);
  w.u16(depth);
  put_matrix(w, m);
  if (cx) put_cxform(w, *cx, false);
  return tag(4, w.take());
}

Bytes place_object2(const Place2& p) {
  BitWriter w;
  unsigned flags = 0;
  if (p.move) flags |= 0x01;
  if (p.character) flags |= 0x02;
  if (p.matrix) flags |= 0x04;
  if (p.color) flags |= 0x08;
  if (p.ratio) flags |= 0x10;
  if (p.name) flags |= 0x20;
  if (p.clip_depth) flags |= 0x40;
  w.u8(flags);
  w.u16(p.depth);
  if (p.character) w.u16(*p.character);
  if (p.matrix) put_matrix(w, *p.matrix);
  if (p.color) put_cxform(w, *p.color, true);
  if (p.ratio) w.u16(*p.ratio);
  if (p.name) {
    for (char ch : *p.name) w.u8(static_cast<unsigned char>(ch));
    w.u8(0);
  }
  if (p.clip_depth) w.u16(*p.clip_depth);
  return tag(26, w.take());
}

Bytes remove_object(std::uint16_t character, std::uint16_t depth) {
  BitWriter w;
  w.u16(character);
  w.u16(depth);
  return tag(5, w.take());
}

Bytes remove_object2(std::uint16_t depth) {
  BitWriter w;
  w.u16(depth);
  return tag(28, w.take());
}

Bytes define_sprite(std::uint16_t id, std::uint16_t frames, std::span<const std::uint8_t> tags) {
  BitWriter w;
  w.u16(id);
  w.u16(frames);
  w.bytes(tags);
  w.bytes(end_tag());
  return tag(39, w.take());
}

Bytes matrix_record(const Matrix& m) {
  BitWriter w;
  put_matrix(w, m);
  return w.take();
}

Bytes cxform_record(const ColorTransform& c, bool with_alpha) {
  BitWriter w;
  put_cxform(w, c, with_alpha);
  return w.take();
}

Bytes movie(int version, int width_px, int height_px, double fps, std::uint16_t frames,
            std::span<const std::uint8_t> tags, bool compressed) {
  BitWriter body;
  put_rect(body, 0, width_px * 20, 0, height_px * 20);
  const auto rate = static_cast<unsigned>(std::lround(fps * 256));
  body.u16(rate);
  body.u16(frames);
  body.bytes(tags);
  body.bytes(end_tag());
  Bytes b = body.take();
  const auto length = static_cast<std::uint32_t>(8 + b.size());
  const std::uint8_t head[8] = {static_cast<std::uint8_t>(compressed ? 'C' : 'F'),
                                'W',
                                'S',
                                static_cast<std::uint8_t>(version),
                                static_cast<std::uint8_t>(length),
                                static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length >> 16),
                                static_cast<std::uint8_t>(length >> 24)};
  // Sized first and copied into: gcc 12 at -O3 misjudges inserting after the header.
  if (!compressed) {
    Bytes out(8 + b.size());
    std::copy(std::begin(head), std::end(head), out.begin());
    std::copy(b.begin(), b.end(), out.begin() + 8);
    return out;
  }
  uLongf packed = compressBound(static_cast<uLong>(b.size()));
  Bytes out(8 + packed);
  if (compress2(out.data() + 8, &packed, b.data(), static_cast<uLong>(b.size()), 9) != Z_OK) {
    throw std::runtime_error("zlib compression failed");
  }
  std::copy(std::begin(head), std::end(head), out.begin());
  out.resize(8 + packed);
  return out;
}

Bytes cat(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace brevaro::swf_writer
