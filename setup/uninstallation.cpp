#include "setup/uninstallation.h"

#include <string>
#include <vector>

#include "base/winpath.h"
#include "install/apps_entry.h"
#include "install/layout.h"

namespace brevaro::setup {

namespace {

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
    if (it->is_directory || it->hidden || it->system || it->link) continue;
    platform::try_delete_file(fs, folder + it->name);
  }
}

// Whether `name` in `folder` (with its trailing backslash) is a link to
// somewhere else: such a folder's contents are not the installation's.
bool is_link(const platform::FileSystem& fs, const std::string& folder, std::string_view name) {
  try {
    for (const auto& e : fs.list_directory(folder))
      if (e.link && base::winpath::equals(e.name, name)) return true;
  } catch (const platform::FileError&) {
    return true;  // unknown: better left alone
  }
  return false;
}

}  // namespace

void remove_installation(const platform::Ports& ports, const platform::ShellLinks& links,
                         std::string_view program_folder) {
  platform::FileSystem& fs = ports.fs;
  const std::string p(program_folder);
  const std::string data = install::path_in(p, install::kDataFolder) + "\\";
  const bool data_is_link = is_link(fs, p, install::kDataFolder);
  const bool download_is_link = data_is_link || is_link(fs, data, "Download");
  const bool banners_is_link = data_is_link || is_link(fs, data, "Banners");

  if (!download_is_link) delete_plain_files(fs, install::path_in(p, install::kDownloadFolder) + "\\");
  if (!banners_is_link) delete_plain_files(fs, install::path_in(p, install::kBannersFolder) + "\\");
  if (!data_is_link) delete_plain_files(fs, data);
  delete_plain_files(fs, p);
  if (!banners_is_link) platform::try_remove_directory(fs, install::path_in(p, install::kBannersFolder));
  if (!download_is_link) platform::try_remove_directory(fs, install::path_in(p, install::kDownloadFolder));
  if (!data_is_link) platform::try_remove_directory(fs, install::path_in(p, install::kDataFolder));

  const std::string client_link = install::link_name(install::kClientExe);
  if (const auto desktop = links.special_folder(platform::SpecialFolder::desktop_directory))
    platform::try_delete_file(fs, install::path_in(*desktop, client_link));
  if (const auto programs = links.special_folder(platform::SpecialFolder::programs)) {
    const std::string menu = install::path_in(*programs, install::kStartMenuFolder);
    platform::try_delete_file(fs, install::path_in(menu, client_link));
    platform::try_delete_file(fs, install::path_in(menu, install::link_name(install::kUninstallerExe)));
    platform::try_remove_directory(fs, menu);
  }

  try {
    if (ports.registry.open_key(install::kRunKey, true))
      ports.registry.delete_value(install::kRunKey, install::kRunValue);
  } catch (const platform::RegistryError&) {
  }
  install::remove_apps_entry(ports.registry);
}

}  // namespace brevaro::setup
