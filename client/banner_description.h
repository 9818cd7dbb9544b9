// The banner description file beside each banner in the banner folder: five
// lines, each ended by CR LF — expiry year, month and day, banner id and
// click-through link. Reading and writing it, and the expiry rule, without
// any I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "client/advert_list.h"

namespace brevaro::client {

struct BannerDescription {
  std::string year, month, day, id, link;
};

// The file's bytes for a banner line of the advert list.
std::string format_description(const AdvertLine& line);
// Reads the lines the same way the advert list is read; missing lines are empty.
BannerDescription parse_description(std::string_view bytes);

// The expiry date when its three lines are integers that form a valid date.
std::optional<base::Date> expiry_date(const BannerDescription& d);
// Expired once the local time is later than 00:00 of the expiry date (so a
// banner shows for the last time on the day before); a description without a
// valid date is expired.
bool is_expired(const BannerDescription& d, base::Date today, base::TimeOfDay now);

}  // namespace brevaro::client
