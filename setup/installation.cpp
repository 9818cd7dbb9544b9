#include "setup/installation.h"

#include "base/identifier.h"
#include "base/ini.h"
#include "base/winpath.h"

namespace brevaro::setup {

namespace wp = base::winpath;

namespace {

constexpr std::string_view kSettingsRelative = "\\Data\\Brevaro.ini";
constexpr std::string_view kDefaultSection = "Default";

std::string join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  out += '\\';
  out += name;
  return out;
}

// Creates the folder with its parents; whether it is there afterwards is
// what counts, so a failure is not an error here.
void try_create_directories(platform::FileSystem& fs, std::string_view path) {
  try {
    platform::create_directories(fs, path);
  } catch (const platform::FileError&) {
  }
}

bool try_copy(platform::FileSystem& fs, std::string_view from, std::string_view to) {
  try {
    fs.copy_file(from, to);
    return true;
  } catch (const platform::FileError&) {
    // Installing over the folder the installer runs from: the file is its own copy.
    return wp::equals(from, to) && fs.file_exists(to);
  }
}

}  // namespace

std::string destination_in(std::string_view chosen) {
  if (chosen.size() <= 3) return std::string(chosen) + std::string(kProductFolder);
  while (chosen.size() > 3 && wp::is_separator(chosen.back())) chosen.remove_suffix(1);
  return join(chosen, kProductFolder);
}

bool prepare_destination(platform::FileSystem& fs, std::string_view destination) {
  const std::string data = join(destination, "Data");
  if (!fs.directory_exists(destination)) {
    const std::string folders[] = {std::string(destination), data, join(data, "Download"), join(data, "Banners")};
    for (const auto& f : folders) try_create_directories(fs, f);
    for (const auto& f : folders)
      if (!fs.directory_exists(f)) return false;
  }
  if (!fs.directory_exists(data)) try_create_directories(fs, data);
  return fs.directory_exists(data);
}

CopyResult copy_program_files(const platform::Ports& ports, std::string_view source_folder,
                              std::string_view destination) {
  platform::FileSystem& fs = ports.fs;
  const std::string exe = ports.process.executable_path();
  CopyResult r;
  r.client = try_copy(fs, exe, join(destination, "brevaro.exe"));
  r.uninstaller = try_copy(fs, exe, join(destination, "Uninstall.exe"));
  r.banner = try_copy(fs, std::string(source_folder) + "bv.swf", join(destination, "Data\\bv.swf"));

  const std::string tray = join(destination, "Tray.exe");
  try {
    if (const auto bytes = ports.process.raw_resource(kTrayResource)) {
      fs.write_file(tray, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
      r.tray = true;
    }
  } catch (const platform::FileError&) {
  }
  r.tray_present = fs.file_exists(tray);
  return r;
}

std::string write_settings(const platform::Ports& ports, std::string_view destination) {
  const std::string path = std::string(destination) + std::string(kSettingsRelative);
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

bool create_shortcut(const platform::Ports& ports, platform::ShellLinks& links, std::string_view target, LinkBase base,
                     std::string_view sub_folder) {
  const auto folder =
      platform::read_reg_string(ports.registry, kShellFoldersKey, base == LinkBase::desktop ? "Desktop" : "Start Menu");
  if (!folder || folder->empty()) return false;

  std::string name(wp::file_name(target));
  if (const auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  name += ".lnk";

  std::string place = *folder;
  if (!sub_folder.empty()) {
    place = join(place, sub_folder);
    try_create_directories(ports.fs, place);
  }
  return links.save_link(target, join(place, name));
}

void create_shortcuts(const platform::Ports& ports, platform::ShellLinks& links, std::string_view destination) {
  const std::string client = join(destination, "brevaro.exe");
  create_shortcut(ports, links, client, LinkBase::desktop, {});
  create_shortcut(ports, links, client, LinkBase::start_menu, "Programs\\brevaro");
  create_shortcut(ports, links, join(destination, "Uninstall.exe"), LinkBase::start_menu, "Programs\\brevaro");
}

void register_tray_at_logon(platform::Registry& registry, std::string_view destination) {
  if (!registry.open_key(kRunKey, true)) return;
  registry.write(kRunKey, kRunValue,
                 platform::RegValue{platform::RegType::sz, "\"" + join(destination, "Tray.exe") + "\""});
}

std::string program_command(std::string_view destination, std::string_view file_name) {
  return "\"" + join(destination, file_name) + "\"";
}

}  // namespace brevaro::setup
