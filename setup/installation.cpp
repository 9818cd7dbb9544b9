#include "setup/installation.h"

#include "base/identifier.h"
#include "base/ini.h"
#include "base/winpath.h"
#include "config/product_config.h"
#include "install/apps_entry.h"
#include "install/layout.h"

namespace brevaro::setup {

namespace wp = base::winpath;
using install::path_in;

namespace {

constexpr std::string_view kDefaultSection = "Default";

// A copy made from a downloaded file keeps the zone mark the browser gave
// it; the installed programs must not carry it (the system would warn at
// every start). A file without the mark is no error.
void remove_zone_mark(platform::FileSystem& fs, const std::string& path) {
  platform::try_delete_file(fs, path + std::string(install::kZoneStream));
}

// Whether an existing file at `to` refused to be replaced: a running
// program's executable is denied or in use.
bool busy(const platform::FileSystem& fs, const platform::FileError& e, const std::string& to) {
  return (e.kind() == platform::FileErrorKind::access_denied || e.kind() == platform::FileErrorKind::in_use) &&
         fs.file_exists(to);
}

struct Copied {
  bool ok = false;
  bool busy = false;
};

Copied try_copy(platform::FileSystem& fs, std::string_view from, const std::string& to) {
  try {
    fs.copy_file(from, to);
    remove_zone_mark(fs, to);
    return {true, false};
  } catch (const platform::FileError& e) {
    return {false, busy(fs, e, to)};
  }
}

Copied try_write_resource(const platform::Ports& ports, std::string_view resource, const std::string& to) {
  try {
    if (const auto bytes = ports.process.raw_resource(resource)) {
      ports.fs.write_file(to, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
      return {true, false};
    }
  } catch (const platform::FileError& e) {
    return {false, busy(ports.fs, e, to)};
  }
  return {};
}

}  // namespace

bool prepare_destination(platform::FileSystem& fs, std::string_view destination) {
  const std::string data = path_in(destination, install::kDataFolder);
  if (!fs.directory_exists(destination)) {
    const std::string folders[] = {std::string(destination), data, path_in(destination, install::kDownloadFolder),
                                   path_in(destination, install::kBannersFolder)};
    for (const auto& f : folders) platform::try_create_directories(fs, f);
    for (const auto& f : folders)
      if (!fs.directory_exists(f)) return false;
  }
  if (!fs.directory_exists(data)) platform::try_create_directories(fs, data);
  return fs.directory_exists(data);
}

CopyResult copy_program_files(const platform::Ports& ports, std::string_view source_folder,
                              std::string_view destination) {
  platform::FileSystem& fs = ports.fs;
  const std::string exe = ports.process.executable_path();
  CopyResult r;
  const std::string client = path_in(destination, install::kClientExe);
  const std::string uninstaller = path_in(destination, install::kUninstallerExe);
  const std::string tray = path_in(destination, install::kTrayExe);
  const std::string movie = path_in(destination, install::kDefaultMovie);

  const Copied c = try_copy(fs, exe, client);
  r.client = c.ok;
  r.client_busy = c.busy;
  r.uninstaller = try_copy(fs, exe, uninstaller).ok;
  const std::string source_movie = std::string(source_folder) + std::string(install::kDefaultMovieName);
  r.banner = fs.file_exists(source_movie) ? try_copy(fs, source_movie, movie).ok
                                          : try_write_resource(ports, install::kDefaultMovieResource, movie).ok;
  const Copied t = try_write_resource(ports, install::kTrayResource, tray);
  r.tray = t.ok;
  r.tray_busy = t.busy;
  r.tray_present = fs.file_exists(tray);

  if (!r.client) r.failed_file = client;
  else if (!r.uninstaller) r.failed_file = uninstaller;
  else if (!r.tray) r.failed_file = tray;
  return r;
}

std::string write_settings(const platform::Ports& ports, std::string_view destination) {
  const std::string path = path_in(destination, install::kSettingsFile);
  base::IniDocument doc;
  if (const auto text = ports.fs.read_file(path)) doc = base::IniDocument::parse(*text);
  try {
    doc.erase_section(kDefaultSection);
  } catch (const std::exception&) {
  }
  const platform::Clock& clock = ports.clock;
  const auto id = base::generate_installation_id([&] { return clock.date(); }, [&] { return clock.time(); });
  if (!id) throw std::runtime_error("The installation identifier could not be made from the clock");
  doc.write_string(kDefaultSection, "UN", *id);
  platform::write_file_atomically(ports.fs, path, doc.text());
  return *id;
}

bool create_shortcut(platform::FileSystem& fs, platform::ShellLinks& links, std::string_view target, LinkBase base,
                     std::string_view sub_folder) {
  const auto folder = links.special_folder(base == LinkBase::desktop ? platform::SpecialFolder::desktop_directory
                                                                     : platform::SpecialFolder::programs);
  if (!folder || folder->empty()) return false;
  std::string place = *folder;
  if (!sub_folder.empty()) {
    place = path_in(place, sub_folder);
    platform::try_create_directories(fs, place);
  }
  return links.save_link(target, path_in(place, install::link_name(target)));
}

void create_shortcuts(platform::FileSystem& fs, platform::ShellLinks& links, std::string_view destination) {
  const std::string client = path_in(destination, install::kClientExe);
  create_shortcut(fs, links, client, LinkBase::desktop, {});
  create_shortcut(fs, links, client, LinkBase::programs, install::kStartMenuFolder);
  create_shortcut(fs, links, path_in(destination, install::kUninstallerExe), LinkBase::programs,
                  install::kStartMenuFolder);
}

void register_tray_at_logon(platform::Registry& registry, std::string_view destination) {
  if (!registry.open_key(install::kRunKey, true)) return;
  registry.write(install::kRunKey, install::kRunValue,
                 platform::RegValue{platform::RegType::sz, install::program_command(destination, install::kTrayExe)});
}

void register_apps_entry(const platform::Ports& ports, std::string_view destination) {
  install::write_apps_entry(ports.registry, destination, config::version,
                            install::installed_size_kib(ports.fs, path_in(destination, "")));
}

}  // namespace brevaro::setup
