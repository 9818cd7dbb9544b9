#include "media/gif/lzw.h"

#include <bit>
#include <cstring>

namespace brevaro::gif {

namespace {

inline std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    v = __builtin_bswap64(v);
  }
  return v;
}

inline void copy8(std::uint8_t* d, const std::uint8_t* s) {
  std::uint64_t v;
  std::memcpy(&v, s, 8);
  std::memcpy(d, &v, 8);
}

}  // namespace

bool LzwDecoder::start(int min_code_size, const std::uint8_t* data, std::size_t size) {
  begin_ = in_ = data;
  end_ = data + size;
  bits_ = 0;
  nbits_ = 0;
  literals_written_ = false;
  if (min_code_size < 0 || min_code_size > kMaxMinCodeSize) {
    return false;
  }
  min_code_size_ = static_cast<unsigned>(min_code_size);
  clear_ = 1u << min_code_size_;
  code_size_ = min_code_size_ + 1;
  next_ = clear_ + 2;
  prev_offset_ = 0;
  prev_length_ = 0;
  // Root code c is the one byte at kLiteralRoom - clear + c (values above
  // 255, from minimum code sizes 9..11, are stored modulo 256).
  for (unsigned c = 0; c < clear_; ++c) {
    table_[c] = Entry{static_cast<std::uint32_t>(kLiteralRoom - clear_ + c), 1};
  }
  return true;
}

LzwDecoder::Result LzwDecoder::decode(std::uint8_t* buffer, std::size_t out_size, std::size_t soft_limit,
                                      std::size_t& pos_io) {
  if (!literals_written_) {
    for (unsigned c = 0; c < clear_; ++c) buffer[kLiteralRoom - clear_ + c] = static_cast<std::uint8_t>(c);
    literals_written_ = true;
  }
  // Work on locals and on positions in `buffer`; write back at the end.
  const std::uint8_t* in = in_;
  const std::uint8_t* const end = end_;
  std::uint64_t bits = bits_;
  unsigned nbits = nbits_;
  unsigned code_size = code_size_;
  std::uint32_t mask = (1u << code_size) - 1;
  unsigned next = next_;
  const unsigned clear = clear_;
  std::uint32_t prev_offset = prev_offset_;
  std::uint32_t prev_length = prev_length_;
  Entry* const table = table_;
  if (soft_limit > out_size) soft_limit = out_size;
  const std::size_t out_end = kLiteralRoom + out_size;
  const std::size_t limit = kLiteralRoom + soft_limit;
  std::size_t pos = kLiteralRoom + pos_io;
  Result result;

  for (;;) {
    if (pos >= limit) {
      result = pos >= out_end ? Result::full : Result::limit;
      break;
    }
    if (nbits < code_size) {
      if (end - in >= 8) {
        bits |= load_le64(in) << nbits;
        in += (63 - nbits) >> 3;
        nbits |= 56;
      } else {
        while (nbits <= 56 && in < end) {
          bits |= static_cast<std::uint64_t>(*in++) << nbits;
          nbits += 8;
        }
        if (nbits < code_size) {
          result = Result::data_end;
          break;
        }
      }
    }
    const unsigned code = static_cast<unsigned>(bits) & mask;
    bits >>= code_size;
    nbits -= code_size;

    if (code - clear <= 1u) {  // the clear or the end code (unsigned: one test for both)
      if (code != clear) {
        result = Result::end_code;
        break;
      }
      code_size = min_code_size_ + 1;
      mask = (1u << code_size) - 1;
      next = clear + 2;
      prev_length = 0;
      continue;
    }
    std::uint32_t src;
    std::uint32_t len;
    if (code < next) {
      // A root code or a table string alike.
      src = table[code].offset;
      len = table[code].length;
      if (prev_length != 0 && next < 4096) {
        table[next++] = Entry{prev_offset, prev_length + 1};
      }
    } else if (code == next && prev_length != 0) {
      // The string being defined: previous string + its own first byte.
      src = prev_offset;
      len = prev_length + 1;
      table[next++] = Entry{prev_offset, len};
    } else {
      result = Result::broken;
      break;
    }
    // Forward copy of len bytes from buffer[src] to buffer[pos]; the source
    // ends at most one byte into the destination (distance >= len - 1).
    std::uint8_t* d = buffer + pos;
    const std::uint8_t* s = buffer + src;
    const std::size_t distance = pos - src;
    if (distance >= 8 && pos + len + 8 <= out_end) {
      copy8(d, s);
      for (std::uint32_t i = 8; i < len; i += 8) {
        copy8(d + i, s + i);
      }
    } else {
      std::size_t n = len;
      if (n > out_end - pos) n = out_end - pos;
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
    }
    prev_offset = static_cast<std::uint32_t>(pos);
    prev_length = len;
    pos += len;
    if (pos > out_end) pos = out_end;
    // Early change: widen codes once the next free code needs another bit.
    if (next > mask && code_size < 12) {
      ++code_size;
      mask = (mask << 1) | 1;
    }
  }

  if (result != Result::limit && pos < out_end) {
    // Wide copies may have written up to 7 bytes past the last string.
    std::size_t n = out_end - pos;
    std::memset(buffer + pos, 0, n < 8 ? n : 8);
  }
  in_ = in;
  bits_ = bits;
  nbits_ = nbits;
  code_size_ = code_size;
  next_ = next;
  prev_offset_ = prev_offset;
  prev_length_ = prev_length;
  pos_io = pos - kLiteralRoom;
  return result;
}

}  // namespace brevaro::gif
