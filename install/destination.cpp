#include "install/destination.h"

#include "base/winpath.h"
#include "install/layout.h"

namespace brevaro::install {

namespace wp = base::winpath;

namespace {

// The probe file's name: nothing an installation or a user would hold.
constexpr std::string_view kProbeName = "~brevaro-setup-probe.tmp";

// The longest path an installation makes below its folder: a banner being
// downloaded.
std::size_t longest_below() noexcept { return 1 + kDownloadFolder.size() + 1 + kMaxBannerName; }

bool is_drive_letter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string trimmed(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// The nearest folder that exists, walking up from `path` (itself included);
// sets `file` when a file stands where a folder should be.
std::optional<std::string> nearest_existing(const platform::FileSystem& fs, std::string path, bool& file) {
  file = false;
  for (;;) {
    if (fs.directory_exists(path)) return path;
    if (fs.file_exists(path)) {
      file = true;
      return path;
    }
    const std::string_view up = wp::parent(path);
    if (up.empty() || up.size() >= path.size()) return std::nullopt;
    path = std::string(up);
    if (path.size() == 2 && path[1] == ':') path += '\\';
  }
}

bool can_write_in(platform::FileSystem& fs, const std::string& folder) {
  const std::string probe = path_in(folder, kProbeName);
  if (!platform::try_write_file(fs, probe, {})) return false;
  // Created but not deletable: writing works, and a leftover empty probe
  // file is harmless.
  platform::try_delete_file(fs, probe);
  return true;
}

}  // namespace

std::optional<std::string> default_destination(const platform::ShellLinks& shell) {
  auto programs = shell.special_folder(platform::SpecialFolder::user_program_files);
  if (!programs || programs->empty()) {
    const auto local = shell.special_folder(platform::SpecialFolder::local_app_data);
    if (!local || local->empty()) return std::nullopt;
    programs = path_in(*local, "Programs");
  }
  return destination_in(*programs);
}

std::string destination_in(std::string_view chosen) {
  if (chosen.size() <= 3) return std::string(chosen) + std::string(kProductFolder);
  while (chosen.size() > 3 && wp::is_separator(chosen.back())) chosen.remove_suffix(1);
  return path_in(chosen, kProductFolder);
}

std::optional<std::string> absolute_folder(std::string_view typed) {
  std::string p = wp::to_backslashes(typed);
  while (!p.empty() && p.front() == ' ') p.erase(0, 1);
  while (!p.empty() && p.back() == ' ') p.pop_back();
  if (p.size() >= 2 && is_drive_letter(p[0]) && p[1] == ':') {
    if (p.size() == 2 || p[2] != '\\') p.insert(2, "\\");
    return trimmed(std::move(p));
  }
  // A server share: \\server\share at least.
  if (p.size() > 2 && p[0] == '\\' && p[1] == '\\' && p.find('\\', 2) != std::string::npos)
    return trimmed(std::move(p));
  return std::nullopt;
}

std::size_t system_length(std::string_view utf8) noexcept {
  std::size_t n = 0;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) != 0x80) ++n;  // every sequence's first byte
    if ((c & 0xF8) == 0xF0) ++n;  // four bytes: a surrogate pair
  }
  return n;
}

DestinationCheck check_destination(platform::FileSystem& fs, std::string_view destination,
                                   std::string_view installer_folder) {
  const auto absolute = absolute_folder(destination);
  if (!absolute) return {DestinationProblem::not_absolute, std::string(destination)};
  const std::string& d = *absolute;
  std::string own(installer_folder);
  while (own.size() > 3 && wp::is_separator(own.back())) own.pop_back();
  if (!own.empty() && wp::equals(d, own)) return {DestinationProblem::installer_folder, d};
  if (system_length(d) + longest_below() > kMaxPath) return {DestinationProblem::too_long, d};

  bool file = false;
  const auto existing = nearest_existing(fs, d, file);
  if (!existing) return {DestinationProblem::not_writable, d};
  if (file) return {DestinationProblem::file_in_the_way, *existing};
  if (!can_write_in(fs, *existing)) return {DestinationProblem::not_writable, *existing};
  return {};
}

std::string destination_message(const DestinationCheck& check) {
  const std::string& f = check.folder;
  switch (check.problem) {
    case DestinationProblem::none: return {};
    case DestinationProblem::not_absolute:
      return "The folder " + f + " is not a full path.\rChoose a folder with its drive, such as C:\\.";
    case DestinationProblem::installer_folder:
      return "brevaro cannot be installed into " + f + ", the folder this installer runs from.\rChoose another folder.";
    case DestinationProblem::too_long:
      return "The folder " + f + " is too deep: the files of brevaro would not fit below it.\rChoose a shorter path.";
    case DestinationProblem::file_in_the_way:
      return "There is a file named " + f + " where a folder is needed.\rChoose another folder.";
    case DestinationProblem::not_writable:
      return "You cannot write to the folder " + f +
             ".\rChoose a folder you can write to, such as your own programs folder.";
  }
  return {};
}

}  // namespace brevaro::install
