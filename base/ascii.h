// ASCII-only case helpers. The platform compares file names, INI sections and
// keys without regard to case; these helpers do the same for the ASCII range
// and leave every other byte as it is (no locale is consulted).
#pragma once

#include <string>
#include <string_view>

namespace brevaro::base {

constexpr char to_upper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char to_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string upper(std::string_view s);
std::string lower(std::string_view s);

// Three-way comparison ignoring ASCII case: <0, 0 or >0.
int icompare(std::string_view a, std::string_view b) noexcept;
inline bool iequals(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && icompare(a, b) == 0;
}
bool istarts_with(std::string_view s, std::string_view prefix) noexcept;
bool iends_with(std::string_view s, std::string_view suffix) noexcept;

// Removes spaces and tabs at both ends.
std::string_view trim(std::string_view s) noexcept;

}  // namespace brevaro::base
