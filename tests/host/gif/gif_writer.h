// A small GIF writer for the tests: builds files block by block, with an LZW
// encoder that follows the decoder's code-size rules, and raw code streams
// for broken data.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brevaro::gif::testing {

// The writer's global palette as 0x00RRGGBB: index i is (i, 255 - i, 7 i).
constexpr std::uint32_t palette_pixel(int i) {
  return (static_cast<std::uint32_t>(i) << 16) | (static_cast<std::uint32_t>(255 - i) << 8) |
         static_cast<std::uint32_t>((i * 7) & 0xFF);
}

using Bytes = std::vector<std::uint8_t>;

// Packs codes LSB first.
class BitWriter {
 public:
  void put(unsigned code, unsigned width) {
    acc_ |= static_cast<std::uint64_t>(code) << nbits_;
    nbits_ += width;
    while (nbits_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      nbits_ -= 8;
    }
  }
  Bytes finish() {
    if (nbits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_));
    acc_ = 0;
    nbits_ = 0;
    return std::move(out_);
  }

 private:
  Bytes out_;
  std::uint64_t acc_ = 0;
  unsigned nbits_ = 0;
};

// Encodes indices with the GIF LZW rules (clear first, clear again when the
// table is full, end code last).
inline Bytes lzw_encode(const Bytes& pixels, int min_code_size) {
  BitWriter bw;
  const unsigned clear = 1u << min_code_size;
  const unsigned eoi = clear + 1;
  unsigned size = 0, dec_next = 0, enc_next = 0;
  bool first = true;
  std::map<std::pair<unsigned, unsigned>, unsigned> dict;
  auto reset = [&] {
    size = static_cast<unsigned>(min_code_size) + 1;
    dec_next = enc_next = clear + 2;
    first = true;
    dict.clear();
  };
  auto emit = [&](unsigned code) {
    bw.put(code, size);
    if (code == clear) {
      reset();
      return;
    }
    if (!first && dec_next < 4096) ++dec_next;
    first = false;
    if (dec_next > (1u << size) - 1 && size < 12) ++size;
  };
  reset();
  emit(clear);
  if (!pixels.empty()) {
    unsigned w = pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
      const unsigned k = pixels[i];
      auto it = dict.find({w, k});
      if (it != dict.end()) {
        w = it->second;
        continue;
      }
      emit(w);
      if (enc_next < 4096) {
        dict[{w, k}] = enc_next++;
      } else {
        emit(clear);
      }
      w = k;
    }
    emit(w);
  }
  emit(eoi);
  return bw.finish();
}

inline void put_sub_blocks(Bytes& out, const Bytes& data) {
  std::size_t i = 0;
  while (i < data.size()) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - i);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    i += n;
  }
  out.push_back(0);
}

struct WriterFrame {
  int left = 0, top = 0, width = 1, height = 1;
  Bytes pixels;         // width * height indices, top-down
  bool control = true;  // write a graphic control extension
  int disposal = 0;     // raw value 0..7
  int delay_cs = 0;     // hundredths of a second
  bool transparent = false;
  int transparent_index = 0;
  bool interlaced = false;
  std::vector<std::uint8_t> local_palette;  // RGB triples; empty: none
  int min_code_size = 8;
  bool raw = false;  // write `raw_data` as the code stream
  Bytes raw_data;
};

class GifWriter {
 public:
  explicit GifWriter(int width, int height, int global_depth = 8, bool gif89 = true) {
    const char* sig = gif89 ? "GIF89a" : "GIF87a";
    for (int i = 0; i < 6; ++i) out_.push_back(static_cast<std::uint8_t>(sig[i]));
    u16(width);
    u16(height);
    if (global_depth > 0) {
      out_.push_back(static_cast<std::uint8_t>(0x80 | (global_depth - 1)));
    } else {
      out_.push_back(0);
    }
    out_.push_back(0);  // background
    out_.push_back(0);  // aspect
    if (global_depth > 0) {
      const int n = 1 << global_depth;
      for (int i = 0; i < n; ++i) {
        // A distinct colour per index: r = i, g = 255 - i, b = i * 7.
        out_.push_back(static_cast<std::uint8_t>(i));
        out_.push_back(static_cast<std::uint8_t>(255 - i));
        out_.push_back(static_cast<std::uint8_t>(i * 7));
      }
    }
  }
  GifWriter& loop(int count) {
    const std::uint8_t app[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    out_.insert(out_.end(), app, app + sizeof app);
    u16(count);
    out_.push_back(0);
    return *this;
  }
  GifWriter& comment(const std::string& text) {
    out_.push_back(0x21);
    out_.push_back(0xFE);
    put_sub_blocks(out_, Bytes(text.begin(), text.end()));
    return *this;
  }
  GifWriter& extension(std::uint8_t label, const Bytes& data) {
    out_.push_back(0x21);
    out_.push_back(label);
    put_sub_blocks(out_, data);
    return *this;
  }
  GifWriter& plain_text() {
    const std::uint8_t head[] = {0x21, 0x01, 12, 0, 0, 0, 0, 10, 0, 10, 0, 8, 8, 1, 0};
    out_.insert(out_.end(), head, head + sizeof head);
    put_sub_blocks(out_, Bytes{'h', 'i'});
    return *this;
  }
  GifWriter& raw(const Bytes& bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  GifWriter& frame(const WriterFrame& f) {
    if (f.control) {
      out_.push_back(0x21);
      out_.push_back(0xF9);
      out_.push_back(4);
      out_.push_back(static_cast<std::uint8_t>(((f.disposal & 7) << 2) | (f.transparent ? 1 : 0)));
      u16(f.delay_cs);
      out_.push_back(static_cast<std::uint8_t>(f.transparent_index));
      out_.push_back(0);
    }
    out_.push_back(0x2C);
    u16(f.left);
    u16(f.top);
    u16(f.width);
    u16(f.height);
    std::uint8_t packed = f.interlaced ? 0x40 : 0;
    if (!f.local_palette.empty()) {
      int depth = 1;
      while ((3u << depth) < f.local_palette.size()) ++depth;
      packed |= static_cast<std::uint8_t>(0x80 | (depth - 1));
      out_.push_back(packed);
      Bytes pal = f.local_palette;
      pal.resize(3u << depth, 0);
      out_.insert(out_.end(), pal.begin(), pal.end());
    } else {
      out_.push_back(packed);
    }
    out_.push_back(static_cast<std::uint8_t>(f.min_code_size));
    if (f.raw) {
      put_sub_blocks(out_, f.raw_data);
    } else {
      Bytes px = f.pixels;
      if (px.empty()) px.assign(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height), 0);
      if (f.interlaced) px = interlace(px, f.width, f.height);
      put_sub_blocks(out_, lzw_encode(px, f.min_code_size));
    }
    return *this;
  }
  GifWriter& trailer() {
    out_.push_back(0x3B);
    return *this;
  }
  const Bytes& bytes() const { return out_; }

  static Bytes interlace(const Bytes& px, int w, int h) {
    Bytes out;
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = kStart[p]; y < h; y += kStep[p])
        out.insert(out.end(), px.begin() + static_cast<long>(y) * w, px.begin() + static_cast<long>(y + 1) * w);
    return out;
  }

 private:
  void u16(int v) {
    out_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out_.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  }
  Bytes out_;
};

// A frame filled with one index.
inline WriterFrame solid_frame(int w, int h, std::uint8_t index) {
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), index);
  return f;
}

// 43 bytes that declare a 16384 x 16384 screen and hold one transparent
// 1 x 1 frame: composed without a budget, 1 GiB of canvas and 256 MiB of mask.
inline Bytes huge_screen_gif() {
  return Bytes{'G',  'I',  'F',  '8',  '9',  'a',                           // header
               0x00, 0x40, 0x00, 0x40, 0x80, 0x00, 0x00,                    // 16384 x 16384, 2 colours
               0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,                          // palette
               0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00,              // transparent index 0
               0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,  // 1 x 1 at 0, 0
               0x02, 0x02, 0x44, 0x01, 0x00,                                // clear, 0, end
               0x3B};
}

// A frame with a varied pattern (index = (x * 3 + y * 5) mod colors).
inline WriterFrame pattern_frame(int w, int h, int colors = 256) {
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>((x * 3 + y * 5 + (x * y) / 7) % colors);
  return f;
}

}  // namespace brevaro::gif::testing
