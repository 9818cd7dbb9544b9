// Fuzzes the settings file document: any bytes parse, every lookup answers,
// the text it writes reads back the same, and a value written is the value
// read (line breaks turned to blanks).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/ini.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// A name the writer can store and the reader find again: trimmed, not
// empty, on one line, and for keys no "=" and no header shape.
bool usable_name(std::string_view s, bool key) {
  if (s.empty() || brevaro::base::trim(s) != s) return false;
  if (s.find_first_of("\r\n") != std::string_view::npos) return false;
  if (key) return s.find('=') == std::string_view::npos && s.front() != '[';
  return s.find(']') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using brevaro::base::IniDocument;
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(40);
  const std::string key = in.ConsumeRandomLengthString(40);
  const std::string value = in.ConsumeRandomLengthString(200);
  const std::string text = in.ConsumeRemainingBytesAsString();

  IniDocument doc = IniDocument::parse(text);
  const auto before = doc.find(section, key);
  check(doc.read_string(section, key, "\x01") == (before ? *before : std::string("\x01")));
  (void)doc.read_integer(section, key, -7);
  (void)brevaro::base::parse_integer(value);

  // What the document writes reads back as the same document.
  const std::string written = doc.text();
  check(IniDocument::parse(written).text() == written);

  if (usable_name(section, false) && usable_name(key, true)) {
    IniDocument changed = IniDocument::parse(written);
    changed.write_string(section, key, value);
    std::string expected;
    for (char c : value) expected += (c == '\r' || c == '\n') ? ' ' : c;
    expected = std::string(brevaro::base::trim(expected));
    const bool quoted = expected.size() >= 2 && expected.front() == '"' && expected.back() == '"';
    if (quoted) expected = expected.substr(1, expected.size() - 2);
    check(changed.find(section, key) == expected);
    // The same holds after a trip through the file text.
    check(IniDocument::parse(changed.text()).find(section, key) == expected);

    changed.write_integer(section, key, static_cast<std::int32_t>(size) - 1000);
    check(changed.read_integer(section, key, 0) == static_cast<std::int32_t>(size) - 1000);

    changed.erase_section(section);
    check(!changed.find(section, key) && !IniDocument::parse(changed.text()).find(section, key));
  }
  return 0;
}
