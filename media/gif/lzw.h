// GIF LZW decoder, built for speed.
//
// Every string of the code table is a run of bytes that has already been
// written to the output, so a table entry is just (offset, length) into the
// output buffer: decoding a code is one forward copy of known length, done
// eight bytes at a time when source and destination are far enough apart.
// No per-pixel stack, no reversal. The root codes point into a small area in
// front of the output that holds every literal value once, so a literal is
// decoded like any other code: no unpredictable branch between the two on
// noisy pictures. The code stream is read from a contiguous
// buffer (the sub-blocks joined) through a 64-bit bit buffer refilled a word
// at a time.
//
// The decoder is resumable: decode() may stop at a soft output limit (used
// for progress reports) and be called again with the same output buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevaro::gif {

class LzwDecoder {
 public:
  enum class Result {
    limit,     // the soft output limit was reached; call decode() again
    full,      // the output buffer is full (extra data is ignored)
    end_code,  // the end-of-information code
    data_end,  // the code stream ran out without an end code
    broken,    // a code that refers forward (or to itself right after a clear)
  };

  // Minimum code sizes 0..11 are decoded (2..8 are the ones the format
  // allows; 0, 1 and 9..11 follow the same rules). Anything above 11 leaves
  // no room in the 4096-entry table for the root codes: start() returns
  // false and the frame gets no pixel data.
  static constexpr int kMaxMinCodeSize = 11;

  // Bytes the decoder keeps in front of the output for the literal values.
  static constexpr std::size_t kLiteralRoom = std::size_t{1} << kMaxMinCodeSize;

  // `data` must stay valid while decoding.
  bool start(int min_code_size, const std::uint8_t* data, std::size_t size);

  // `buffer` holds kLiteralRoom bytes for the decoder followed by the
  // out_size bytes of output; the same buffer for every call after start().
  // Decodes output bytes [pos, out_size), advancing pos. Stops once pos
  // reaches soft_limit (finishing the current string, clamped to out_size).
  Result decode(std::uint8_t* buffer, std::size_t out_size, std::size_t soft_limit, std::size_t& pos);

  // Bytes of the code stream consumed so far.
  std::size_t consumed() const { return static_cast<std::size_t>(in_ - begin_); }

 private:
  struct Entry {
    std::uint32_t offset;
    std::uint32_t length;
  };
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* in_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint64_t bits_ = 0;
  unsigned nbits_ = 0;
  unsigned min_code_size_ = 0;
  unsigned clear_ = 0;
  unsigned code_size_ = 0;
  unsigned next_ = 0;
  std::uint32_t prev_offset_ = 0;
  std::uint32_t prev_length_ = 0;  // 0: no previous code (start or after a clear)
  bool literals_written_ = false;
  Entry table_[4096];
};

}  // namespace brevaro::gif
