#include "setup/uninstallation.h"

#include <string>
#include <vector>

#include "setup/installation.h"

namespace brevaro::setup {

namespace {

void try_delete(platform::FileSystem& fs, const std::string& path) {
  try {
    if (fs.file_exists(path)) fs.delete_file(path);
  } catch (const platform::FileError&) {
  }
}

void try_remove_directory(platform::FileSystem& fs, const std::string& path) {
  try {
    if (fs.directory_exists(path)) fs.remove_directory(path);
  } catch (const platform::FileError&) {
  }
}

// The plain files of one folder (given with its trailing backslash), the
// last listed first.
void delete_plain_files(platform::FileSystem& fs, const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  try {
    entries = fs.list_directory(folder);
  } catch (const platform::FileError&) {
    return;
  }
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (it->is_directory || it->hidden || it->system) continue;
    try_delete(fs, folder + it->name);
  }
}

}  // namespace

bool holds_installation(const platform::FileSystem& fs, std::string_view program_folder) {
  const std::string p(program_folder);
  return fs.file_exists(p + "Data\\Brevaro.ini") || fs.file_exists(p + "Tray.exe") ||
         (fs.file_exists(p + "brevaro.exe") && fs.directory_exists(p + "Data"));
}

CloseResult close_programs(platform::FileSystem& fs, std::string_view program_folder,
                           const platform::CloseWait& tray_wait, const platform::CloseWait& client_wait) {
  using platform::CloseOutcome;
  if (platform::ask_to_close(fs, program_folder, platform::kTrayMarkers, "Tray.exe", tray_wait) ==
      CloseOutcome::gave_up)
    return CloseResult::tray_running;
  // The client's request follows; a stale answer of an earlier request goes
  // first, inside ask_to_close.
  if (platform::ask_to_close(fs, program_folder, platform::kClientMarkers, "brevaro.exe", client_wait) ==
      CloseOutcome::gave_up)
    return CloseResult::client_running;
  return CloseResult::closed;
}

void remove_installation(const platform::Ports& ports, const platform::ShellLinks& links,
                         std::string_view program_folder) {
  platform::FileSystem& fs = ports.fs;
  const std::string p(program_folder);
  for (const char* sub : {"Data\\Download\\", "Data\\Banners\\", "Data\\", ""}) delete_plain_files(fs, p + sub);
  for (const char* sub : {"Data\\Banners", "Data\\Download", "Data"}) try_remove_directory(fs, p + sub);

  if (const auto desktop = links.special_folder(platform::SpecialFolder::desktop_directory))
    try_delete(fs, *desktop + "\\brevaro.lnk");
  if (const auto programs = links.special_folder(platform::SpecialFolder::programs)) {
    try_delete(fs, *programs + "\\brevaro\\brevaro.lnk");
    try_delete(fs, *programs + "\\brevaro\\Uninstall.lnk");
    try_remove_directory(fs, *programs + "\\brevaro");
  }

  try {
    if (ports.registry.open_key(kRunKey, true)) ports.registry.delete_value(kRunKey, kRunValue);
  } catch (const std::exception&) {
  }
}

}  // namespace brevaro::setup
