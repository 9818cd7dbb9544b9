#include "client/advert_list.h"

#include <algorithm>

#include "base/ascii.h"
#include "install/layout.h"

namespace brevaro::client {

std::vector<std::string> split_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return lines;
}

std::string AdvertLine::file_name() const {
  const std::string& url = file_url();
  const auto slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::string AdvertLine::base() const {
  std::string name = file_name();
  name.resize(name.size() >= 4 ? name.size() - 4 : 0);
  return name;
}

AdvertLine split_advert_line(std::string_view line) {
  AdvertLine out;
  std::size_t eq = std::string_view::npos;
  for (std::size_t k = 0; k < out.values.size(); ++k) {
    eq = line.find('=', eq == std::string_view::npos ? 0 : eq + 1);
    if (eq == std::string_view::npos) break;
    const std::string_view rest = line.substr(eq + 1);
    out.values[k] = k + 1 == out.values.size() ? rest : rest.substr(0, rest.find('&'));
  }
  return out;
}

bool is_error_page_line(std::string_view first_line) {
  const std::string low = base::lower(first_line);
  return low.find("<font face=\"") != std::string::npos || low.find("error") != std::string::npos;
}

AdvertList parse_advert_list(std::span<const std::string> lines) {
  AdvertList list;
  if (lines.empty()) return list;
  if (lines.size() > kAdvertListMaxLines) {
    list.status = AdvertListStatus::too_large;
    return list;
  }
  if (is_error_page_line(lines[0])) {
    list.status = AdvertListStatus::error_page;
    return list;
  }
  list.status = AdvertListStatus::ok;
  const auto eq = lines[0].find('=');
  list.version_text = eq == std::string::npos ? lines[0] : lines[0].substr(eq + 1);
  bool in_banners = true;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    AdvertLine line = split_advert_line(lines[i]);
    list.named_bases.push_back(line.base());
    in_banners = in_banners && !lines[i].empty();
    if (in_banners) list.banners.push_back(std::move(line));
  }
  return list;
}

AdvertList read_advert_list(std::string_view bytes) {
  if (bytes.size() > kAdvertListMaxBytes) return AdvertList{AdvertListStatus::too_large, {}, {}, {}};
  const auto lines = split_lines(bytes);
  return parse_advert_list(lines);
}

namespace {

bool is_device_name(std::string_view stem) {
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (auto d : kDevices)
    if (base::iequals(stem, d)) return true;
  if (stem.size() == 4 && (base::istarts_with(stem, "COM") || base::istarts_with(stem, "LPT")) && stem[3] >= '0' &&
      stem[3] <= '9')
    return true;
  return false;
}

}  // namespace

bool is_plain_banner_name(std::string_view name) {
  // Short enough that the longest path below an installation stays within
  // the system's limit (the installer checks its destination for it).
  if (name.size() <= 4 || name.size() > install::kMaxBannerName) return false;
  if (!base::iends_with(name, ".gif") && !base::iends_with(name, ".swf")) return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    // Printable ASCII only: a name the service sends means the same file on
    // every system, whatever its code page.
    if (u < 0x20 || u >= 0x7F) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  if (name.find("..") != std::string_view::npos) return false;
  if (name.front() == ' ' || name.front() == '.') return false;
  // A device name keeps its meaning whatever follows its first dot, and
  // trailing spaces before that dot are dropped by the file system.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  return !is_device_name(stem);
}

bool is_web_link(std::string_view link) {
  std::size_t rest = 0;
  if (base::istarts_with(link, "http://")) rest = 7;
  else if (base::istarts_with(link, "https://")) rest = 8;
  else return false;
  if (rest >= link.size() || link[rest] == '/') return false;
  return std::none_of(link.begin(), link.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || c == '"';
  });
}

std::optional<double> parse_version_number(std::string_view text) {
  text = base::trim(text);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const bool negative = i > 0 && text[0] == '-';
  double value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) value = value * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits, scale /= 10)
      value += (text[i] - '0') * scale;
  }
  if (digits == 0 || i != text.size()) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace brevaro::client
