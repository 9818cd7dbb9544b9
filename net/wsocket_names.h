// Text helpers shared by the socket's resolvers and its lookups (private to net/).
#pragma once

#include <string>
#include <string_view>

namespace brevaro::net::detail {

// Fills "...%s...%d..." style messages: `before` + text + `after` + number.
std::string quoteFmt(std::string_view before, std::string_view text, std::string_view after, int err);
// Digits and dots only: the caller treats it as a dotted address.
bool isDottedShape(std::string_view s);

}  // namespace brevaro::net::detail
