#include "media/gif/gif_parser.h"

#include <algorithm>
#include <cstring>

#include "media/gif/lzw.h"

namespace brevaro::gif {

Disposal map_disposal(unsigned file_value) {
  switch (file_value) {
    case 0: return Disposal::none;
    case 1: return Disposal::keep;
    case 3: return Disposal::previous;
    default: return Disposal::background;
  }
}

void deinterlace(const std::uint8_t* src, std::uint8_t* dst, int width, int height) {
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  const std::size_t w = static_cast<std::size_t>(width);
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) {
      std::memcpy(dst + static_cast<std::size_t>(y) * w, src, w);
      src += w;
    }
  }
}

namespace {

// The pending graphic control block: 6 bytes read as they come.
struct ControlBlock {
  bool present = false;
  std::uint8_t packed = 0;
  std::uint16_t delay = 0;
  std::uint8_t transparent_index = 0;
};

enum class FrameResult { ok, bad, too_large, truncated, aborted };

// What composing a picture of w x h takes: 4 bytes a pixel for the canvas and
// one more for its mask. At most 2 x 65535 a side, so no overflow.
std::uint64_t canvas_bytes(std::uint64_t w, std::uint64_t h, bool mask) { return w * h * (mask ? 5 : 4); }
// Each frame's colour table of the composer (256 pixels).
constexpr std::uint64_t kColorTableBytes = 256 * 4;

class Parser {
 public:
  Parser(std::span<const std::uint8_t> data, const ParseOptions& options, GifFile& out)
      : p_(data.data()), size_(data.size()), opt_(options), gif_(out) {}

  ParseStatus run();

 private:
  bool have(std::size_t n) const { return size_ - pos_ >= n; }
  std::uint8_t u8() { return p_[pos_++]; }
  std::uint16_t u16() {
    std::uint16_t v = static_cast<std::uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  bool progress(std::size_t position) { return !opt_.progress || opt_.progress(position, size_); }
  // Skips data sub-blocks up to and including the terminator; false when
  // the data ends first.
  bool skip_sub_blocks();
  FrameResult read_frame(const ControlBlock& control, Frame& frame);
  FrameResult decode_pixels(Frame& frame);

  const std::uint8_t* p_;
  std::size_t size_;
  std::size_t pos_ = 0;
  const ParseOptions& opt_;
  GifFile& gif_;
  std::size_t budget_used_ = 0;
  int picture_w_ = 0, picture_h_ = 0;  // screen enlarged to cover the frames kept so far
  std::vector<std::uint8_t> codes_;    // the sub-blocks of one frame, joined
  std::vector<std::uint8_t> scratch_;  // interlaced rows in decoding order
  LzwDecoder lzw_;
};

bool Parser::skip_sub_blocks() {
  for (;;) {
    if (!have(1)) return false;
    std::size_t n = u8();
    if (n == 0) return true;
    if (!have(n)) {
      pos_ = size_;
      return false;
    }
    pos_ += n;
  }
}

ParseStatus Parser::run() {
  gif_ = GifFile{};
  if (size_ == 0) return ParseStatus::empty;
  if (!have(6) || p_[0] != 'G' || p_[1] != 'I' || p_[2] != 'F') return ParseStatus::not_gif;
  gif_.version = p_[4] == '9' ? Version::gif89a : Version::gif87a;
  pos_ = 6;
  if (!have(7)) return ParseStatus::not_gif;
  gif_.screen_width = u16();
  gif_.screen_height = u16();
  const std::uint8_t packed = u8();
  pos_ += 2;  // background index and aspect ratio are not used
  if (packed & 0x80) {
    gif_.has_global_palette = true;
    gif_.global_depth = (packed & 7) + 1;
    gif_.color_depth = gif_.global_depth;
    const std::size_t entries = std::size_t{1} << gif_.global_depth;
    if (!have(3 * entries)) return ParseStatus::not_gif;
    for (std::size_t i = 0; i < entries; ++i) {
      gif_.global_palette[i] = Rgb{p_[pos_], p_[pos_ + 1], p_[pos_ + 2]};
      pos_ += 3;
    }
  }

  // The canvas is at least the logical screen: refused before any frame is
  // decoded when that alone is over the budget.
  picture_w_ = gif_.screen_width;
  picture_h_ = gif_.screen_height;
  if (canvas_bytes(static_cast<std::uint64_t>(picture_w_), static_cast<std::uint64_t>(picture_h_), false) >
      opt_.limits.max_total_bytes)
    return ParseStatus::canvas_too_large;

  ControlBlock control;
  std::string comment;
  bool stop = false;
  gif_.end = ParseEnd::end_of_data;
  while (!stop && pos_ < size_) {
    if (!progress(pos_)) return ParseStatus::aborted;
    if (p_[pos_] == 0x3B) {  // trailer
      pos_ += 1;
      gif_.end = ParseEnd::trailer;
      break;
    }
    if (!have(2)) {
      gif_.end = ParseEnd::truncated;
      break;
    }
    const std::uint8_t introducer = p_[pos_];
    const std::uint8_t label = p_[pos_ + 1];
    if (introducer == 0x21) {
      pos_ += 2;
      if (label == 0x01) {  // plain text: skipped, never drawn
        if (!have(1)) {
          gif_.end = ParseEnd::truncated;
          break;
        }
        std::size_t n = u8();
        if (!have(n)) {
          pos_ = size_;
          gif_.end = ParseEnd::truncated;
          break;
        }
        pos_ += n;
        if (!skip_sub_blocks()) {
          gif_.end = ParseEnd::truncated;
          break;
        }
      } else if (label == 0xF9) {  // graphic control: 6 bytes as they come
        if (!have(6)) {
          pos_ = size_;
          gif_.end = ParseEnd::truncated;
          break;
        }
        pos_ += 1;  // block size
        control.present = true;
        control.packed = u8();
        control.delay = u16();
        control.transparent_index = u8();
        pos_ += 1;                 // terminator
      } else if (label == 0xFE) {  // comment: sub-blocks appended; a cut ends it quietly
        for (;;) {
          if (!have(1)) {
            pos_ = size_;
            break;
          }
          std::size_t n = u8();
          if (n == 0) break;
          std::size_t take = std::min(n, size_ - pos_);
          comment.append(reinterpret_cast<const char*>(p_ + pos_), take);
          pos_ += take;
          if (take < n) break;
        }
      } else if (label == 0xFF) {  // application
        if (!have(1)) {
          gif_.end = ParseEnd::truncated;
          break;
        }
        std::size_t n = u8();
        if (!have(n)) {
          pos_ = size_;
          gif_.end = ParseEnd::truncated;
          break;
        }
        const bool netscape = n >= 11 && std::memcmp(p_ + pos_, "NETSCAPE2.0", 11) == 0;
        pos_ += n;
        if (netscape && have(1)) {
          std::size_t m = p_[pos_];
          if (m >= 3 && have(1 + m)) {
            gif_.loop_count = p_[pos_ + 2] | (p_[pos_ + 3] << 8);
            gif_.has_loop_block = true;
          }
        }
        if (!skip_sub_blocks()) {
          gif_.end = ParseEnd::truncated;
          break;
        }
      } else {
        // An unknown extension label: its sub-blocks are skipped as the
        // format describes them (decision: a plain pairwise scan could
        // take a ',' inside the data for an image).
        if (!skip_sub_blocks()) {
          gif_.end = ParseEnd::truncated;
          break;
        }
      }
    } else if (introducer == 0x2C) {
      if (static_cast<int>(gif_.frames.size()) >= opt_.limits.max_frames) {
        gif_.end = ParseEnd::frame_limit;
        break;
      }
      Frame frame;
      FrameResult r = read_frame(control, frame);
      if (r == FrameResult::bad) return ParseStatus::bad_frame;
      if (r == FrameResult::aborted) return ParseStatus::aborted;
      if (r == FrameResult::too_large) {
        gif_.end = ParseEnd::frame_too_large;
        break;
      }
      if (r == FrameResult::truncated) {
        gif_.end = ParseEnd::truncated;
        break;
      }
      gif_.color_depth = std::max(gif_.color_depth, frame.depth);
      gif_.any_transparent = gif_.any_transparent || frame.transparent;
      gif_.any_interlaced = gif_.any_interlaced || frame.interlaced;
      frame.comment = std::move(comment);
      comment.clear();
      control = ControlBlock{};
      picture_w_ = std::max(picture_w_, frame.left + frame.width);
      picture_h_ = std::max(picture_h_, frame.top + frame.height);
      gif_.frames.push_back(std::move(frame));
      if (opt_.first_image_only) {
        gif_.end = ParseEnd::first_image_only;
        stop = true;
      }
    } else {
      pos_ += 2;  // any other pair: scanning goes on with the next two bytes
    }
  }
  if (!progress(pos_)) return ParseStatus::aborted;
  if (gif_.frames.empty()) return ParseStatus::no_frames;

  int w = gif_.screen_width, h = gif_.screen_height;
  for (const Frame& f : gif_.frames) {
    w = std::max(w, f.left + f.width);
    h = std::max(h, f.top + f.height);
  }
  gif_.picture_width = w;
  gif_.picture_height = h;
  if (w > opt_.limits.max_canvas_dimension || h > opt_.limits.max_canvas_dimension ||
      static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > opt_.limits.max_canvas_pixels) {
    return ParseStatus::canvas_too_large;
  }
  return ParseStatus::ok;
}

FrameResult Parser::read_frame(const ControlBlock& control, Frame& f) {
  if (!have(10)) {
    pos_ = size_;
    return FrameResult::truncated;
  }
  pos_ += 1;  // ','
  f.left = u16();
  f.top = u16();
  f.width = u16();
  f.height = u16();
  const std::uint8_t packed = u8();
  if (f.width == 0 || f.height == 0) return FrameResult::bad;
  const int max_dim = opt_.limits.max_frame_dimension;
  if (f.width > max_dim || f.height > max_dim) return FrameResult::too_large;

  if (packed & 0x80) {
    f.has_local_palette = true;
    f.depth = (packed & 7) + 1;
    const std::size_t entries = std::size_t{1} << f.depth;
    if (!have(3 * entries)) {
      pos_ = size_;
      return FrameResult::truncated;
    }
    for (std::size_t i = 0; i < entries; ++i) {
      f.palette[i] = Rgb{p_[pos_], p_[pos_ + 1], p_[pos_ + 2]};
      pos_ += 3;
    }
    f.palette_depth = f.depth;
  } else {
    f.depth = 0;
    f.palette = gif_.global_palette;
    f.palette_depth = gif_.color_depth;
  }
  f.interlaced = (packed & 0x40) != 0;

  f.has_control_block = control.present;
  f.disposal_raw = static_cast<std::uint8_t>((control.packed >> 2) & 7);
  f.disposal = map_disposal(f.disposal_raw);
  f.delay_ms = static_cast<std::uint32_t>(control.delay) * 10;
  f.transparent = (control.packed & 1) != 0;
  f.transparent_index = control.transparent_index;
  f.transparent_color = f.palette[f.transparent_index];

  // Memory budget: pixels, mask, and for disposal 3 the saved area (canvas
  // pixels of 4 bytes and a mask byte).
  const std::size_t area = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
  std::size_t cost = area * (f.transparent ? 2 : 1);
  if (f.disposal == Disposal::previous) cost += area * 5;
  if (cost > opt_.limits.max_frame_bytes || budget_used_ + cost > opt_.limits.max_frame_bytes) {
    return FrameResult::too_large;
  }
  // The whole budget: the canvas as this frame would leave it (its offset
  // may enlarge it, its transparency adds the mask), every frame so far and
  // this one.
  const auto pw = static_cast<std::uint64_t>(std::max(picture_w_, f.left + f.width));
  const auto ph = static_cast<std::uint64_t>(std::max(picture_h_, f.top + f.height));
  const std::uint64_t total = canvas_bytes(pw, ph, gif_.any_transparent || f.transparent) + budget_used_ + cost +
                              kColorTableBytes * (gif_.frames.size() + 1);
  if (total > opt_.limits.max_total_bytes) return FrameResult::too_large;
  budget_used_ += cost;
  return decode_pixels(f);
}

FrameResult Parser::decode_pixels(Frame& f) {
  // Minimum code size, then the sub-blocks joined into one buffer.
  if (!have(1)) {
    pos_ = size_;
    return FrameResult::truncated;
  }
  f.min_code_size = u8();
  const std::size_t data_start = pos_;
  codes_.clear();
  for (;;) {
    if (!have(1)) {
      pos_ = size_;
      return FrameResult::truncated;
    }
    std::size_t n = u8();
    if (n == 0) break;
    if (!have(n)) {
      pos_ = size_;
      return FrameResult::truncated;
    }
    codes_.insert(codes_.end(), p_ + pos_, p_ + pos_ + n);
    pos_ += n;
  }
  const std::size_t data_end = pos_;

  const std::size_t w = static_cast<std::size_t>(f.width);
  const std::size_t area = w * static_cast<std::size_t>(f.height);
  // Decoded in place behind the decoder's literal area: into the frame's own
  // pixels (moved to the front afterwards), or for interlaced frames into a
  // scratch buffer in decoding order.
  constexpr std::size_t room = LzwDecoder::kLiteralRoom;
  std::vector<std::uint8_t>& target = f.interlaced ? scratch_ : f.pixels;
  target.assign(room + area, 0);
  std::uint8_t* const buffer = target.data();
  const std::uint8_t* const out = buffer + room;

  std::size_t decoded = 0;
  if (lzw_.start(f.min_code_size, codes_.data(), codes_.size())) {
    // Progress every 64th row (frames up to 320 wide) or every 32nd row.
    std::size_t step = area;
    if (opt_.progress && area > 100000) step = w * (f.width <= 320 ? 64 : 32);
    for (;;) {
      std::size_t limit = std::min(area, decoded + step);
      LzwDecoder::Result r = lzw_.decode(buffer, area, limit, decoded);
      if (r != LzwDecoder::Result::limit) {
        f.data_complete = r == LzwDecoder::Result::end_code || r == LzwDecoder::Result::full;
        break;
      }
      const std::size_t consumed = lzw_.consumed();
      const std::size_t position =
          data_start + (codes_.empty() ? 0 : (data_end - data_start) * consumed / codes_.size());
      if (!progress(position)) return FrameResult::aborted;
    }
  }
  f.pixels_decoded = decoded;

  if (f.transparent) {
    f.mask.assign(area, 1);
    const std::uint8_t ti = f.transparent_index;
    std::uint8_t* m = f.mask.data();
    for (std::size_t i = 0; i < decoded; ++i) m[i] = out[i] == ti;
    if (f.interlaced) {
      std::vector<std::uint8_t> linear(std::move(f.mask));
      f.mask.assign(area, 1);
      deinterlace(linear.data(), f.mask.data(), f.width, f.height);
    }
  }
  if (f.interlaced) {
    f.pixels.assign(area, 0);
    deinterlace(out, f.pixels.data(), f.width, f.height);
  } else {
    f.pixels.erase(f.pixels.begin(), f.pixels.begin() + static_cast<std::ptrdiff_t>(room));
  }
  return FrameResult::ok;
}

}  // namespace

ParseStatus parse_gif(std::span<const std::uint8_t> data, const ParseOptions& options, GifFile& out) {
  Parser parser(data, options, out);
  return parser.run();
}

}  // namespace brevaro::gif
