#include "media/swf/swf_header.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace brevaro::media {

namespace {

constexpr std::size_t kMaxInflate = 256 * 1024;

// Reads bit fields MSB first, as SWF stores RECT.
class BitReader {
 public:
  BitReader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
  bool read(unsigned bits, std::uint32_t& v) {
    v = 0;
    for (unsigned i = 0; i < bits; ++i) {
      const std::size_t byte = pos_ >> 3;
      if (byte >= n_) return false;
      const unsigned bit = (p_[byte] >> (7 - (pos_ & 7))) & 1;
      v = (v << 1) | bit;
      ++pos_;
    }
    return true;
  }
  bool read_signed(unsigned bits, std::int32_t& v) {
    std::uint32_t u;
    if (!read(bits, u)) return false;
    if (bits > 0 && bits < 32 && (u & (1u << (bits - 1)))) u |= ~((1u << bits) - 1);
    v = static_cast<std::int32_t>(u);
    return true;
  }
  std::size_t byte_position() const { return (pos_ + 7) >> 3; }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

bool inflate_prefix(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out, std::size_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  out.resize(limit);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0x7FFFFFFF));
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(limit);
  int r = Z_OK;
  while (z.avail_out > 0 && r == Z_OK) r = inflate(&z, Z_NO_FLUSH);
  const std::size_t got = limit - z.avail_out;
  inflateEnd(&z);
  out.resize(got);
  // A cut stream is fine as long as we got something; a broken one is not.
  return r == Z_OK || r == Z_STREAM_END || (r == Z_BUF_ERROR && got > 0);
}

}  // namespace

SwfStatus parse_swf_header(std::span<const std::uint8_t> data, SwfHeader& h) {
  h = SwfHeader{};
  if (data.size() < 3) return SwfStatus::too_short;
  if (data[1] != 'W' || data[2] != 'S' || (data[0] != 'F' && data[0] != 'C')) return SwfStatus::not_swf;
  if (data.size() < 8) return SwfStatus::too_short;
  h.compressed = data[0] == 'C';
  h.version = data[3];
  h.file_length = static_cast<std::uint32_t>(data[4]) | (static_cast<std::uint32_t>(data[5]) << 8) |
                  (static_cast<std::uint32_t>(data[6]) << 16) | (static_cast<std::uint32_t>(data[7]) << 24);
  std::vector<std::uint8_t> inflated;
  std::span<const std::uint8_t> body = data.subspan(8);
  if (h.compressed) {
    if (!inflate_prefix(body, inflated, kMaxInflate)) return SwfStatus::bad_compression;
    body = inflated;
  }
  // RECT: 5 bits of field width, then xmin, xmax, ymin, ymax.
  BitReader br(body.data(), body.size());
  std::uint32_t nbits;
  if (!br.read(5, nbits)) return SwfStatus::too_short;
  if (!br.read_signed(nbits, h.x_min) || !br.read_signed(nbits, h.x_max) || !br.read_signed(nbits, h.y_min) ||
      !br.read_signed(nbits, h.y_max)) {
    return SwfStatus::too_short;
  }
  const auto to_px = [](std::int64_t twips) {
    return static_cast<int>(std::clamp<std::int64_t>(twips / 20, 0, 1 << 20));
  };
  h.stage_width = to_px(static_cast<std::int64_t>(h.x_max) - h.x_min);
  h.stage_height = to_px(static_cast<std::int64_t>(h.y_max) - h.y_min);
  std::size_t pos = br.byte_position();
  if (body.size() - pos < 4) return SwfStatus::too_short;
  const unsigned rate = body[pos] | (body[pos + 1] << 8);
  h.frame_rate = rate / 256.0;
  h.frame_count = static_cast<std::uint16_t>(body[pos + 2] | (body[pos + 3] << 8));
  pos += 4;
  // Tags: the background colour is normally the first one.
  for (int tags = 0; tags < 64 && body.size() - pos >= 2; ++tags) {
    const unsigned code_and_length = body[pos] | (body[pos + 1] << 8);
    pos += 2;
    const unsigned code = code_and_length >> 6;
    std::size_t length = code_and_length & 0x3F;
    if (length == 0x3F) {
      if (body.size() - pos < 4) break;
      length = static_cast<std::size_t>(body[pos]) | (static_cast<std::size_t>(body[pos + 1]) << 8) |
               (static_cast<std::size_t>(body[pos + 2]) << 16) | (static_cast<std::size_t>(body[pos + 3]) << 24);
      pos += 4;
    }
    if (code == 0) break;  // End
    if (body.size() - pos < length) break;
    if (code == 9 && length >= 3) {
      h.has_background = true;
      h.background_r = body[pos];
      h.background_g = body[pos + 1];
      h.background_b = body[pos + 2];
      break;
    }
    pos += length;
  }
  return SwfStatus::ok;
}

StageRect stage_rect(const std::string& scale, int cw, int ch, int sw, int sh) {
  std::string s = scale;
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (s == "exactfit" || sw <= 0 || sh <= 0) return StageRect{0, 0, cw, ch};
  if (s == "noscale") return StageRect{(cw - sw) / 2, (ch - sh) / 2, sw, sh};
  const double fx = static_cast<double>(cw) / sw, fy = static_cast<double>(ch) / sh;
  const double f = s == "noborder" ? std::max(fx, fy) : std::min(fx, fy);
  const int w = static_cast<int>(std::lround(sw * f)), h = static_cast<int>(std::lround(sh * f));
  return StageRect{(cw - w) / 2, (ch - h) / 2, w, h};
}

MovieModel::MovieModel(FileReader reader) : reader_(std::move(reader)) {}

void MovieModel::set_movie(const std::string& path) {
  movie_ = path;
  loaded_ = false;
  header_ = SwfHeader{};
  std::optional<std::vector<std::uint8_t>> bytes = reader_ ? reader_(path) : std::nullopt;
  if (!bytes) {
    status_ = SwfStatus::too_short;
    return;
  }
  status_ = parse_swf_header(*bytes, header_);
  loaded_ = status_ == SwfStatus::ok;
}

std::uint32_t MovieModel::background() const {
  return (static_cast<std::uint32_t>(header_.background_r) << 16) |
         (static_cast<std::uint32_t>(header_.background_g) << 8) | header_.background_b;
}

StageRect MovieModel::stage_in(int cw, int ch) const {
  return stage_rect(scale_, cw, ch, header_.stage_width, header_.stage_height);
}

}  // namespace brevaro::media
