#include "base/winpath.h"

#include "base/ascii.h"

namespace brevaro::base::winpath {

namespace {
std::size_t last_separator(std::string_view path) noexcept {
  for (std::size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (is_separator(c) || c == ':') return i - 1;
  }
  return std::string_view::npos;
}
}  // namespace

std::string_view file_name(std::string_view path) noexcept {
  const auto p = last_separator(path);
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

std::string_view folder(std::string_view path) noexcept {
  const auto p = last_separator(path);
  return p == std::string_view::npos ? std::string_view{} : path.substr(0, p + 1);
}

std::string to_backslashes(std::string_view path) {
  std::string r(path);
  for (char& c : r)
    if (c == '/') c = '\\';
  return r;
}

bool equals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = is_separator(a[i]) ? '\\' : to_upper(a[i]);
    const char y = is_separator(b[i]) ? '\\' : to_upper(b[i]);
    if (x != y) return false;
  }
  return true;
}

std::string_view parent(std::string_view path) noexcept {
  while (!path.empty() && is_separator(path.back())) path.remove_suffix(1);
  const auto p = last_separator(path);
  if (p == std::string_view::npos) return {};
  return path.substr(0, p);
}

}  // namespace brevaro::base::winpath
