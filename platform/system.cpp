#include "platform/system.h"

#include <cstring>

namespace brevaro::platform {

std::optional<std::int32_t> read_reg_integer(const Registry& reg, std::string_view key, std::string_view name) {
  const auto v = reg.read(key, name);
  if (!v || v->type != RegType::dword || v->data.size() != 4) return std::nullopt;
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(v->data[static_cast<std::size_t>(i)]);
  return static_cast<std::int32_t>(u);
}

std::optional<std::string> read_reg_string(const Registry& reg, std::string_view key, std::string_view name) {
  const auto v = reg.read(key, name);
  if (!v || (v->type != RegType::sz && v->type != RegType::expand_sz)) return std::nullopt;
  std::string s = v->data;
  // Stored strings may carry their terminator; the text ends at the first NUL.
  if (const auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  return s;
}

}  // namespace brevaro::platform
