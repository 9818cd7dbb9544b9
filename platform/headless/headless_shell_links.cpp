#include "platform/headless/headless_shell_links.h"

namespace brevaro::platform::headless {

namespace {
constexpr std::string_view kLinkMagic = "LNK ";
}

bool RecordingShellLinks::save_link(std::string_view target, std::string_view link_path) {
  if (fail_create) throw ShellLinkError("Class not registered");
  try {
    fs_.write_file(link_path, std::string(kLinkMagic) + std::string(target));
  } catch (const FileError&) {
    return false;
  }
  saved.push_back(Saved{std::string(target), std::string(link_path)});
  return true;
}

std::optional<std::string> RecordingShellLinks::special_folder(SpecialFolder folder) const {
  const auto it = folders.find(folder);
  if (it == folders.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> RecordingShellLinks::target_of(std::string_view path) const {
  const auto data = fs_.read_file(path);
  if (!data || data->compare(0, kLinkMagic.size(), kLinkMagic) != 0) return std::nullopt;
  return data->substr(kLinkMagic.size());
}

}  // namespace brevaro::platform::headless
