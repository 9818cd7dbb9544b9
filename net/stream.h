// Minimal byte streams for the HTTP client: the caller's receive stream and
// post-data stream.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace brevaro::net {

class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::size_t Write(const void* data, std::size_t count) = 0;
  virtual std::size_t Read(void* data, std::size_t count) = 0;
  virtual std::uint64_t Size() const = 0;
  virtual std::uint64_t Position() const = 0;
  virtual void Seek(std::uint64_t pos) = 0;
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view initial) : data_(initial.begin(), initial.end()) {}

  std::size_t Write(const void* data, std::size_t count) override {
    const char* p = static_cast<const char*>(data);
    if (pos_ == data_.size()) {
      data_.insert(data_.end(), p, p + count);  // appending: no zero-filling first
    } else {
      std::size_t overlap = std::min(count, data_.size() - pos_);
      if (overlap) std::memcpy(data_.data() + pos_, p, overlap);
      data_.insert(data_.end(), p + overlap, p + count);
    }
    pos_ += count;
    return count;
  }
  std::size_t Read(void* data, std::size_t count) override {
    std::size_t n = std::min(count, data_.size() - std::min(pos_, data_.size()));
    if (n) std::memcpy(data, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  std::uint64_t Size() const override { return data_.size(); }
  std::uint64_t Position() const override { return pos_; }
  void Seek(std::uint64_t pos) override { pos_ = static_cast<std::size_t>(std::min<std::uint64_t>(pos, data_.size())); }

  void Clear() {
    data_.clear();
    pos_ = 0;
  }
  void Reserve(std::size_t n) { data_.reserve(n); }
  std::string_view View() const { return {data_.data(), data_.size()}; }
  std::string Text() const { return {data_.data(), data_.size()}; }

 private:
  std::vector<char> data_;
  std::size_t pos_ = 0;
};

}  // namespace brevaro::net
