// Windows-style paths as the programs use them: backslash separators, names
// compared without regard to case, the program folder kept with its trailing
// backslash so that relative parts are appended without a separator.
#pragma once

#include <string>
#include <string_view>

namespace brevaro::base::winpath {

constexpr bool is_separator(char c) noexcept { return c == '\\' || c == '/'; }

// The file-name part: everything after the last separator (or a drive colon).
std::string_view file_name(std::string_view path) noexcept;

// The folder part including its trailing separator ("C:\a\b.exe" -> "C:\a\").
std::string_view folder(std::string_view path) noexcept;

// Turns forward slashes into backslashes.
std::string to_backslashes(std::string_view path);

// Compares two paths ignoring case and treating / and \ alike.
bool equals(std::string_view a, std::string_view b) noexcept;

// The parent folder without a trailing separator ("C:\a\b" -> "C:\a"),
// empty when there is none.
std::string_view parent(std::string_view path) noexcept;

}  // namespace brevaro::base::winpath
