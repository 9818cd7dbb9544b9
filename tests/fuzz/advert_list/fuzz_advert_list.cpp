// Feeds random documents through the advert-list reader and checks what the
// client relies on: lines never hold a line end and join back to the same
// lines, a name that passes the check is one plain file name, a link that
// passes is an http(s) URL without spaces or quotes, and a description file
// written from a banner line reads back as the same five values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/advert_list.h"
#include "client/banner_description.h"

using namespace brevaro::client;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool has_any(std::string_view s, std::string_view chars) { return s.find_first_of(chars) != std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const auto lines = split_lines(bytes);
  check(lines.size() <= size);
  std::string joined;
  for (const auto& l : lines) {
    check(!has_any(l, "\r\n"));
    joined += l;
    joined += "\r\n";
  }
  check(split_lines(joined) == lines);

  const AdvertList list = read_advert_list(bytes);
  if (size > kAdvertListMaxBytes || lines.size() > kAdvertListMaxLines) {
    check(list.status == AdvertListStatus::too_large);
  } else if (lines.empty()) {
    check(list.status == AdvertListStatus::empty);
  } else if (list.status == AdvertListStatus::ok) {
    check(!is_error_page_line(lines[0]));
    check(list.named_bases.size() == lines.size() - 1);
    check(list.banners.size() <= list.named_bases.size());
  }

  for (const AdvertLine& line : list.banners) {
    for (std::size_t k = 0; k + 1 < line.values.size(); ++k) check(!has_any(line.values[k], "&"));
    const std::string name = line.file_name();
    if (is_plain_banner_name(name)) {
      check(!has_any(name, "\\/:*?\"<>|"));
      check(name.find("..") == std::string::npos);
      check(name.back() != '.' && name.back() != ' ');
      check(line.base().size() + 4 == name.size());
    }
    if (is_web_link(line.link())) check(!has_any(line.link(), " \t\"\r\n"));

    const BannerDescription d = parse_description(format_description(line));
    check(d.year == line.year() && d.month == line.month() && d.day == line.day() && d.id == line.id() &&
          d.link == line.link());
    if (const auto date = expiry_date(d))
      check(date->month >= 1 && date->month <= 12 && date->day >= 1 && date->day <= 31);
  }
  (void)parse_version_number(list.version_text);
  return 0;
}
