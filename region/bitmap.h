// A portable bitmap for the picture-derived region: either
// 32-bit RGB pixels (0x00RRGGBB, i.e. blue in the low byte as in a 32-bit
// device-independent bitmap) or 1-, 4- or 8-bit palette indices, packed most
// significant bit first as in a BMP row. Also a small reader and writer for
// BMP files: the reader takes 1, 4, 8, 24 and 32 bits per pixel, uncompressed,
// and run-length encoded 8-bit files (the artwork ships that way); the writer
// writes uncompressed files.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace brevaro::region {

class Bitmap {
 public:
  Bitmap() = default;
  // 32-bit RGB bitmap, every pixel `fill` (0x00RRGGBB).
  static Bitmap rgb(int32_t width, int32_t height, uint32_t fill = 0);
  // Indexed bitmap (bits 1, 4 or 8), every pixel index 0.
  static Bitmap indexed(int32_t width, int32_t height, int bits, std::vector<uint32_t> palette);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  int bits() const { return bits_; }  // 1, 4, 8 or 32
  const std::vector<uint32_t>& palette() const { return palette_; }
  size_t stride() const { return stride_; }  // bytes per row

  // The pixel's colour as 0x00RRGGBB.
  uint32_t rgb_at(int32_t x, int32_t y) const;
  // Indexed bitmaps: the palette index; 32-bit bitmaps: the colour.
  uint32_t value_at(int32_t x, int32_t y) const;
  void set(int32_t x, int32_t y, uint32_t value);  // index or 0x00RRGGBB

  const uint8_t* row(int32_t y) const { return data_.data() + static_cast<size_t>(y) * stride_; }
  uint8_t* row(int32_t y) { return data_.data() + static_cast<size_t>(y) * stride_; }
  const uint32_t* rgb_row(int32_t y) const { return reinterpret_cast<const uint32_t*>(row(y)); }

  friend bool operator==(const Bitmap&, const Bitmap&) = default;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  int bits_ = 32;
  size_t stride_ = 0;
  std::vector<uint32_t> palette_;
  std::vector<uint8_t> data_;
};

class EBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Largest bitmap the reader and constructors accept, in pixels (16384 x 16384).
inline constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;

// Reads a BMP file image (BITMAPINFOHEADER or later, or BITMAPCOREHEADER;
// BI_RGB, or BI_BITFIELDS with the standard 32-bit masks; bottom-up or
// top-down). 1-, 4- and 8-bit pictures stay indexed; 24- and 32-bit become
// 32-bit RGB. Throws EBitmapError on anything else or on truncated data.
Bitmap read_bmp(std::span<const uint8_t> file);
Bitmap load_bmp_file(const std::string& path);
// Writes a bottom-up BI_RGB BMP (indexed bitmaps keep their depth and
// palette; 32-bit RGB bitmaps are written with 24 bits per pixel).
std::vector<uint8_t> write_bmp(const Bitmap& bitmap);

}  // namespace brevaro::region
