#include "base/ini.h"

#include <charconv>

#include "base/ascii.h"

namespace brevaro::base {

namespace {

// "[name]" -> name, for a line that is a section header.
std::optional<std::string_view> header_name(std::string_view line) {
  line = trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return trim(line.substr(1));
  return trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> key_line(std::string_view line) {
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  KeyLine k{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
  if (k.value.size() >= 2 && k.value.front() == '"' && k.value.back() == '"')
    k.value = k.value.substr(1, k.value.size() - 2);
  return k;
}

}  // namespace

std::optional<std::int32_t> parse_integer(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t v = 0;
  const auto* first = text.data();
  const auto* last = text.data() + text.size();
  if (text.size() > 20) return std::nullopt;
  const auto [ptr, ec] = std::from_chars(first, last, v, base);
  if (ec != std::errc{} || ptr != last) return std::nullopt;
  if (base == 16) {
    // Hexadecimal literals cover the whole 32-bit pattern, as the platform's
    // conversion does ($FFFFFFFF is -1).
    if (v > 0xFFFFFFFFull) return std::nullopt;
    auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(r)) : r;
  }
  if (negative) {
    if (v > 2147483648ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(v));
  }
  if (v > 2147483647ull) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

IniDocument IniDocument::parse(std::string_view text) {
  IniDocument doc;
  // Every leading UTF-8 byte-order mark goes, not just the first: the text
  // written back must read as the same document, and a mark left at the
  // start of the first line would be taken off by the next read.
  while (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    doc.lines_.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return doc;
}

std::optional<IniDocument::Span> IniDocument::find_section(std::string_view section) const {
  const std::string_view wanted = trim(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = header_name(lines_[i]);
    if (!name || !iequals(*name, wanted)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && !header_name(lines_[end])) ++end;
    return Span{i, end};
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::find(std::string_view section, std::string_view key) const {
  const auto span = find_section(section);
  if (!span) return std::nullopt;
  const std::string_view wanted = trim(key);
  for (std::size_t i = span->header + 1; i < span->end; ++i) {
    const auto k = key_line(lines_[i]);
    if (k && iequals(k->key, wanted)) return std::string(k->value);
  }
  return std::nullopt;
}

std::string IniDocument::read_string(std::string_view section, std::string_view key, std::string_view def) const {
  auto v = find(section, key);
  return v ? std::move(*v) : std::string(def);
}

std::int32_t IniDocument::read_integer(std::string_view section, std::string_view key, std::int32_t def) const {
  const auto v = find(section, key);
  if (!v) return def;
  return parse_integer(*v).value_or(def);
}

void IniDocument::write_string(std::string_view section, std::string_view key, std::string_view value) {
  std::string line(trim(key));
  line += '=';
  for (char c : value) line += (c == '\r' || c == '\n') ? ' ' : c;

  const auto span = find_section(section);
  if (!span) {
    if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
    std::string header(1, '[');
    header.append(trim(section));
    header.push_back(']');
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
    return;
  }
  std::size_t last_content = span->header;
  for (std::size_t i = span->header + 1; i < span->end; ++i) {
    const auto k = key_line(lines_[i]);
    if (k && iequals(k->key, trim(key))) {
      lines_[i] = std::move(line);
      return;
    }
    if (!trim(lines_[i]).empty()) last_content = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last_content + 1), std::move(line));
}

void IniDocument::write_integer(std::string_view section, std::string_view key, std::int32_t value) {
  write_string(section, key, std::to_string(value));
}

void IniDocument::erase_section(std::string_view section) {
  while (const auto span = find_section(section)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(span->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(span->end));
  }
}

std::string IniDocument::text() const {
  std::string out;
  for (const auto& l : lines_) {
    out += l;
    out += "\r\n";
  }
  return out;
}

}  // namespace brevaro::base
