// An INI settings document with the lookup rules of the platform's
// private-profile files: section and key names compared without regard to
// case, blanks around names and values ignored, the first matching section
// and key win. Writing a key or erasing a section changes only those lines;
// every other line of the file is kept byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevaro::base {

class IniDocument {
 public:
  IniDocument() = default;
  // Any bytes are accepted; what is not INI text is simply not found.
  static IniDocument parse(std::string_view text);

  std::optional<std::string> find(std::string_view section, std::string_view key) const;
  std::string read_string(std::string_view section, std::string_view key, std::string_view def) const;
  // An integer value (decimal, or hexadecimal with "$" or "0x"), or def when
  // the key is missing or its value is not a 32-bit integer.
  std::int32_t read_integer(std::string_view section, std::string_view key, std::int32_t def) const;

  // Sets key=value in section, creating the section at the end when missing.
  // Line breaks in the value are replaced by blanks so that one write can
  // never add lines to the file.
  void write_string(std::string_view section, std::string_view key, std::string_view value);
  void write_integer(std::string_view section, std::string_view key, std::int32_t value);
  void erase_section(std::string_view section);

  // The document as file text, every line followed by CR LF.
  std::string text() const;

 private:
  struct Span {
    std::size_t header;  // line index of "[name]"
    std::size_t end;     // one past the section's last line
  };
  std::optional<Span> find_section(std::string_view section) const;
  std::vector<std::string> lines_;
};

// Parses a whole text as a decimal or hexadecimal 32-bit integer.
std::optional<std::int32_t> parse_integer(std::string_view text);

}  // namespace brevaro::base
