#include "platform/win32/wide.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace brevaro::platform::win32 {

namespace {

int checked_length(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4))
    throw std::length_error("text too long for the system");
  return static_cast<int>(n);
}

}  // namespace

// Without MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS the system replaces
// what it cannot convert with U+FFFD (Windows Vista and later).
std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int in = checked_length(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  const int done = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, out.data(), n);
  out.resize(static_cast<std::size_t>(done > 0 ? done : 0));
  return out;
}

std::string narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int in = checked_length(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), in, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  const int done = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), in, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(done > 0 ? done : 0));
  return out;
}

}  // namespace brevaro::platform::win32
