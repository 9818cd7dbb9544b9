#include "base/ascii.h"

namespace brevaro::base {

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = to_upper(c);
  return r;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = to_lower(c);
  return r;
}

int icompare(std::string_view a, std::string_view b) noexcept {
  const auto n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(to_upper(a[i]));
    const auto y = static_cast<unsigned char>(to_upper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool istarts_with(std::string_view s, std::string_view prefix) noexcept {
  return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

bool iends_with(std::string_view s, std::string_view suffix) noexcept {
  return s.size() >= suffix.size() && iequals(s.substr(s.size() - suffix.size()), suffix);
}

std::string_view trim(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace brevaro::base
