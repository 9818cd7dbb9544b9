// The advert list the service's advert script sends, read without any I/O:
// bytes to lines, lines to the version value and the banner lines. Also the
// checks that everything taken from the list must pass before it names a
// file on disk or a link the shell opens.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brevaro::client {

// Limits of the advert list: a document larger than either is not read at
// all (a cut list would purge banners that its lost part still names).
inline constexpr std::size_t kAdvertListMaxBytes = 1024 * 1024;
inline constexpr std::size_t kAdvertListMaxLines = 10000;

// Splits received bytes into lines: a line ends at CR LF, at a lone CR or at a
// lone LF; a last line without an end counts whole; no bytes, no lines.
std::vector<std::string> split_lines(std::string_view bytes);

// One banner line: six values taken by position. Value k is the text after
// the k-th "=" of the line up to the next "&"; the sixth runs to the end of
// the line. Values whose "=" is missing are empty.
struct AdvertLine {
  std::array<std::string, 6> values;
  const std::string& id() const { return values[0]; }
  const std::string& file_url() const { return values[1]; }
  const std::string& link() const { return values[2]; }
  const std::string& day() const { return values[3]; }
  const std::string& month() const { return values[4]; }
  const std::string& year() const { return values[5]; }
  // The file URL's last path segment (all of it without a "/"), and that
  // less its last four characters.
  std::string file_name() const;
  std::string base() const;
};

AdvertLine split_advert_line(std::string_view line);

enum class AdvertListStatus {
  ok,          // a version line and zero or more banner lines
  empty,       // no lines: nothing to do
  error_page,  // the server's error page: ignored whole
  too_large,   // over kAdvertListMaxBytes or kAdvertListMaxLines: ignored whole
};

struct AdvertList {
  AdvertListStatus status = AdvertListStatus::empty;
  std::string version_text;         // line 1 after its first "=" (all of it without one)
  std::vector<AdvertLine> banners;  // line 2 up to the first empty line
  // The base of value 2 of every line from the second to the last (also
  // past an empty line): the banners the list still names.
  std::vector<std::string> named_bases;
};

// True when a first line, in lower case, holds `<font face="` or `error`.
bool is_error_page_line(std::string_view first_line);

// Reads the lines of a received document.
AdvertList parse_advert_list(std::span<const std::string> lines);
// Bytes to lines to list, with the size limits.
AdvertList read_advert_list(std::string_view bytes);

// A file name from the list may become a file in the banner folder only when
// it is one plain name there: no folder parts, drive letters, device names or
// characters the file system would read otherwise, ending in .gif or .swf.
bool is_plain_banner_name(std::string_view name);

// A link from remote data (the list or a description file) is opened only
// when it is an http:// or https:// URL with a host and nothing the shell
// could read as a separate argument (no spaces, quotes or control characters).
bool is_web_link(std::string_view link);

// A decimal number as the version line carries it ("1.1"); nullopt when the
// text is not one.
std::optional<double> parse_version_number(std::string_view text);

}  // namespace brevaro::client
