#include "region/bitmap.h"

#include <cstring>

#include "base/file_read.h"

namespace brevaro::region {

namespace {
void check_size(int32_t width, int32_t height) {
  if (width < 0 || height < 0) throw EBitmapError("negative bitmap size");
  if (int64_t{width} * height > kMaxBitmapPixels) {
    throw EBitmapError("bitmap too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
  }
}
}  // namespace

Bitmap Bitmap::rgb(int32_t width, int32_t height, uint32_t fill) {
  check_size(width, height);
  Bitmap b;
  b.width_ = width;
  b.height_ = height;
  b.bits_ = 32;
  b.stride_ = static_cast<size_t>(width) * 4;
  b.data_.resize(b.stride_ * static_cast<size_t>(height));
  if (fill != 0) {
    for (size_t i = 0; i < b.data_.size(); i += 4) std::memcpy(&b.data_[i], &fill, 4);
  }
  return b;
}

Bitmap Bitmap::indexed(int32_t width, int32_t height, int bits, std::vector<uint32_t> palette) {
  check_size(width, height);
  if (bits != 1 && bits != 4 && bits != 8) throw EBitmapError("unsupported index depth");
  Bitmap b;
  b.width_ = width;
  b.height_ = height;
  b.bits_ = bits;
  b.stride_ = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 7) / 8;
  palette.resize(size_t{1} << bits, 0);
  b.palette_ = std::move(palette);
  b.data_.resize(b.stride_ * static_cast<size_t>(height));
  return b;
}

uint32_t Bitmap::value_at(int32_t x, int32_t y) const {
  const uint8_t* r = row(y);
  switch (bits_) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu;
    case 8: return r[x];
    default: {
      uint32_t v;
      std::memcpy(&v, r + static_cast<size_t>(x) * 4, 4);
      return v & 0xFFFFFFu;
    }
  }
}

uint32_t Bitmap::rgb_at(int32_t x, int32_t y) const {
  const uint32_t v = value_at(x, y);
  return bits_ == 32 ? v : palette_[v] & 0xFFFFFFu;
}

void Bitmap::set(int32_t x, int32_t y, uint32_t value) {
  uint8_t* r = row(y);
  switch (bits_) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
      r[x >> 3] = static_cast<uint8_t>((value & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit));
      break;
    }
    case 4: {
      const int shift = (x & 1) ? 0 : 4;
      r[x >> 1] = static_cast<uint8_t>((r[x >> 1] & ~(0xF << shift)) | ((value & 0xF) << shift));
      break;
    }
    case 8: r[x] = static_cast<uint8_t>(value); break;
    default: std::memcpy(r + static_cast<size_t>(x) * 4, &value, 4); break;
  }
}

namespace {

uint32_t le16(std::span<const uint8_t> f, size_t at) {
  if (at + 2 > f.size()) throw EBitmapError("truncated BMP header");
  return uint32_t{f[at]} | uint32_t{f[at + 1]} << 8;
}
uint32_t le32(std::span<const uint8_t> f, size_t at) {
  if (at + 4 > f.size()) throw EBitmapError("truncated BMP header");
  return uint32_t{f[at]} | uint32_t{f[at + 1]} << 8 | uint32_t{f[at + 2]} << 16 | uint32_t{f[at + 3]} << 24;
}

// Run-length encoded 8-bit pixels (BI_RLE8), rows bottom first. A pair
// (n > 0, i) is n pixels of index i; after a zero byte comes the end of a row
// (0), the end of the picture (1), a move right and up (2, dx, dy) or n >= 3
// literal indices padded to an even count. Pixels the data skips keep index
// 0; pixels past a row's end or above the top row are dropped.
void decode_rle8(std::span<const uint8_t> d, Bitmap& bmp) {
  const int64_t w = bmp.width();
  const int64_t h = bmp.height();
  size_t at = 0;
  int64_t x = 0;
  int64_t row = 0;  // from the bottom
  auto need = [&](size_t n) {
    if (d.size() - at < n) throw EBitmapError("truncated BMP pixel data");
  };
  auto put = [&](uint8_t index) {
    if (x < w) bmp.row(static_cast<int32_t>(h - 1 - row))[static_cast<size_t>(x)] = index;
    ++x;
  };
  while (row < h) {
    need(2);
    const uint8_t count = d[at];
    const uint8_t code = d[at + 1];
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(code);
    } else if (code == 0) {
      x = 0;
      ++row;
    } else if (code == 1) {
      return;
    } else if (code == 2) {
      need(2);
      x += d[at];
      row += d[at + 1];
      at += 2;
    } else {
      const size_t padded = code + (code & 1u);
      need(padded);
      for (size_t i = 0; i < code; ++i) put(d[at + i]);
      at += padded;
    }
  }
}

}  // namespace

Bitmap read_bmp(std::span<const uint8_t> f) {
  if (f.size() < 14 || f[0] != 'B' || f[1] != 'M') throw EBitmapError("not a BMP file");
  const uint32_t off_bits = le32(f, 10);
  const uint32_t header_size = le32(f, 14);
  int64_t width = 0;
  int64_t height = 0;
  uint32_t bit_count = 0;
  uint32_t compression = 0;
  uint32_t colors_used = 0;
  size_t palette_entry = 4;
  if (header_size == 12) {
    width = le16(f, 18);
    height = static_cast<int16_t>(le16(f, 20));
    bit_count = le16(f, 24);
    palette_entry = 3;
  } else if (header_size >= 40 && header_size <= 1024) {
    width = static_cast<int32_t>(le32(f, 18));
    height = static_cast<int32_t>(le32(f, 22));
    bit_count = le16(f, 28);
    compression = le32(f, 30);
    colors_used = le32(f, 46);
  } else {
    throw EBitmapError("unsupported BMP header size " + std::to_string(header_size));
  }
  const bool top_down = height < 0;
  const bool rle8 = compression == 1;
  if (top_down) height = -height;
  if (width < 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) throw EBitmapError("bad BMP size");
  if (width * height > kMaxBitmapPixels) {
    throw EBitmapError("bitmap too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
  }
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) {
    throw EBitmapError("unsupported BMP depth " + std::to_string(bit_count));
  }
  if (compression == 3 && bit_count == 32) {
    const size_t masks = header_size >= 52 ? 14 + 40 : 14 + header_size;
    if (le32(f, masks) != 0xFF0000u || le32(f, masks + 4) != 0xFF00u || le32(f, masks + 8) != 0xFFu) {
      throw EBitmapError("unsupported BMP bit fields");
    }
  } else if (rle8) {
    if (bit_count != 8 || top_down) throw EBitmapError("bad run-length encoded BMP");
  } else if (compression != 0) {
    throw EBitmapError("unsupported BMP compression " + std::to_string(compression));
  }
  const auto w = static_cast<int32_t>(width);
  const auto h = static_cast<int32_t>(height);
  const size_t src_stride = ((static_cast<size_t>(w) * bit_count + 31) / 32) * 4;
  if (off_bits > f.size() ||
      (!rle8 && (f.size() - off_bits) / (src_stride ? src_stride : 1) < static_cast<size_t>(h))) {
    throw EBitmapError("truncated BMP pixel data");
  }
  Bitmap bmp;
  if (bit_count <= 8) {
    const size_t max_colors = size_t{1} << bit_count;
    size_t n = colors_used == 0 ? max_colors : std::min<size_t>(colors_used, max_colors);
    const size_t pal_at = 14 + (compression == 3 ? header_size + 12 : header_size);
    std::vector<uint32_t> palette(max_colors, 0);
    for (size_t i = 0; i < n; ++i) {
      const size_t at = pal_at + i * palette_entry;
      if (at + 3 > f.size()) throw EBitmapError("truncated BMP palette");
      palette[i] = uint32_t{f[at]} | uint32_t{f[at + 1]} << 8 | uint32_t{f[at + 2]} << 16;
    }
    bmp = Bitmap::indexed(w, h, static_cast<int>(bit_count), std::move(palette));
    if (rle8) {
      decode_rle8(f.subspan(off_bits), bmp);
      return bmp;
    }
    for (int32_t y = 0; y < h; ++y) {
      const int32_t src_y = top_down ? y : h - 1 - y;
      if (bmp.stride() == 0) break;  // no pixels in a row: nothing to copy
      std::memcpy(bmp.row(y), f.data() + off_bits + static_cast<size_t>(src_y) * src_stride, bmp.stride());
    }
  } else {
    bmp = Bitmap::rgb(w, h);
    const size_t bpp = bit_count / 8;
    for (int32_t y = 0; y < h; ++y) {
      const int32_t src_y = top_down ? y : h - 1 - y;
      const uint8_t* src = f.data() + off_bits + static_cast<size_t>(src_y) * src_stride;
      uint8_t* dst = bmp.row(y);
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* p = src + static_cast<size_t>(x) * bpp;
        const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
        std::memcpy(dst + static_cast<size_t>(x) * 4, &v, 4);
      }
    }
  }
  return bmp;
}

Bitmap load_bmp_file(const std::string& path) {
  const base::FileReadResult file = base::read_whole_file(path);
  if (file.status != base::FileReadStatus::ok) throw EBitmapError("cannot open " + path);
  return read_bmp(file.bytes);
}

std::vector<uint8_t> write_bmp(const Bitmap& b) {
  const int bits = b.bits() == 32 ? 24 : b.bits();
  const size_t stride = ((static_cast<size_t>(b.width()) * static_cast<size_t>(bits) + 31) / 32) * 4;
  const size_t palette_bytes = b.bits() == 32 ? 0 : b.palette().size() * 4;
  const size_t off = 14 + 40 + palette_bytes;
  const size_t size = off + stride * static_cast<size_t>(b.height());
  std::vector<uint8_t> out(size, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<uint32_t>(size));
  put32(10, static_cast<uint32_t>(off));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(b.width()));
  put32(22, static_cast<uint32_t>(b.height()));
  put16(26, 1);
  put16(28, static_cast<uint32_t>(bits));
  put32(34, static_cast<uint32_t>(stride * static_cast<size_t>(b.height())));
  put32(46, b.bits() == 32 ? 0 : static_cast<uint32_t>(b.palette().size()));
  for (size_t i = 0; i < b.palette().size() && b.bits() != 32; ++i) {
    put32(54 + i * 4, b.palette()[i] & 0xFFFFFFu);
  }
  for (int32_t y = 0; y < b.height(); ++y) {
    uint8_t* dst = out.data() + off + static_cast<size_t>(b.height() - 1 - y) * stride;
    if (b.bits() == 32) {
      for (int32_t x = 0; x < b.width(); ++x) {
        const uint32_t v = b.value_at(x, y);
        dst[x * 3] = static_cast<uint8_t>(v);
        dst[x * 3 + 1] = static_cast<uint8_t>(v >> 8);
        dst[x * 3 + 2] = static_cast<uint8_t>(v >> 16);
      }
    } else {
      if (b.stride() != 0) std::memcpy(dst, b.row(y), b.stride());
    }
  }
  return out;
}

}  // namespace brevaro::region
