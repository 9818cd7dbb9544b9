#include "client/banner_description.h"

#include <tuple>

namespace brevaro::client {

namespace {

// A decimal integer, perhaps signed, perhaps after leading blanks.
std::optional<int> parse_int(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 9) return std::nullopt;
  int v = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

}  // namespace

std::string format_description(const AdvertLine& line) {
  std::string out;
  for (const std::string* v : {&line.year(), &line.month(), &line.day(), &line.id(), &line.link()}) {
    out += *v;
    out += "\r\n";
  }
  return out;
}

BannerDescription parse_description(std::string_view bytes) {
  const auto lines = split_lines(bytes);
  BannerDescription d;
  std::string* fields[] = {&d.year, &d.month, &d.day, &d.id, &d.link};
  for (std::size_t i = 0; i < 5 && i < lines.size(); ++i) *fields[i] = lines[i];
  return d;
}

std::optional<base::Date> expiry_date(const BannerDescription& d) {
  const auto y = parse_int(d.year), m = parse_int(d.month), day = parse_int(d.day);
  if (!y || !m || !day) return std::nullopt;
  if (*y < 1 || *y > 9999 || *m < 1 || *m > 12 || *day < 1 || *day > days_in_month(*y, *m)) return std::nullopt;
  return base::Date{*y, *m, *day};
}

bool is_expired(const BannerDescription& d, base::Date today, base::TimeOfDay now) {
  const auto e = expiry_date(d);
  if (!e) return true;
  const auto t = std::tie(today.year, today.month, today.day);
  const auto x = std::tie(e->year, e->month, e->day);
  if (t != x) return t > x;
  return now.hour != 0 || now.minute != 0 || now.second != 0 || now.millisecond != 0;
}

}  // namespace brevaro::client
