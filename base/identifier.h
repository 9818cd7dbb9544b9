// The installation identifier: 18 decimal digits made from the local date and
// time (year, month, day, hour, minute, second, four-digit milliseconds). The
// client and the installer both make it with these functions.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/datetime.h"

namespace brevaro::base {

inline constexpr const char* kNoIdentifier = "NONE";

// Joins the parts, each left-padded with '0' to its width, then pads the
// whole to 18 characters and keeps the first 18.
std::string format_installation_id(const Date& date, const TimeOfDay& time);

// One attempt: the date and the time are read in two separate calls; any
// failure (an exception from either, a negative part) gives "NONE".
std::string make_installation_id(const std::function<Date()>& read_date, const std::function<TimeOfDay()>& read_time);

// Attempts until an identifier other than "NONE" comes out. A clock that keeps
// failing would otherwise hang the program, so the attempts are bounded; no
// identifier is returned when all of them failed.
std::optional<std::string> generate_installation_id(const std::function<Date()>& read_date,
                                                    const std::function<TimeOfDay()>& read_time,
                                                    int max_attempts = 1000);

}  // namespace brevaro::base
