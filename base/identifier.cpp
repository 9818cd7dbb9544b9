#include "base/identifier.h"

#include <stdexcept>

namespace brevaro::base {

namespace {
void append_padded(std::string& out, int value, std::size_t width) {
  if (value < 0) throw std::invalid_argument("negative date or time part");
  std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}
}  // namespace

std::string format_installation_id(const Date& date, const TimeOfDay& time) {
  std::string id;
  append_padded(id, date.year, 4);
  append_padded(id, date.month, 2);
  append_padded(id, date.day, 2);
  append_padded(id, time.hour, 2);
  append_padded(id, time.minute, 2);
  append_padded(id, time.second, 2);
  append_padded(id, time.millisecond, 4);
  if (id.size() < 18) id.insert(0, 18 - id.size(), '0');
  id.resize(18);
  return id;
}

std::string make_installation_id(const std::function<Date()>& read_date, const std::function<TimeOfDay()>& read_time) {
  try {
    const Date d = read_date();
    const TimeOfDay t = read_time();
    return format_installation_id(d, t);
  } catch (...) {
    return kNoIdentifier;
  }
}

std::optional<std::string> generate_installation_id(const std::function<Date()>& read_date,
                                                    const std::function<TimeOfDay()>& read_time, int max_attempts) {
  for (int i = 0; i < max_attempts; ++i) {
    std::string id = make_installation_id(read_date, read_time);
    if (id != kNoIdentifier) return id;
  }
  return std::nullopt;
}

}  // namespace brevaro::base
