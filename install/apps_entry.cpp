#include "install/apps_entry.h"

#include <string>

#include "install/layout.h"

namespace brevaro::install {

namespace {

platform::RegValue text(std::string_view s) { return {platform::RegType::sz, std::string(s)}; }

platform::RegValue dword(std::uint32_t v) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return {platform::RegType::dword, data};
}

std::uint64_t folder_bytes(const platform::FileSystem& fs, const std::string& folder) {
  std::uint64_t total = 0;
  std::vector<platform::DirEntry> entries;
  try {
    entries = fs.list_directory(folder);
  } catch (const platform::FileError&) {
    return 0;
  }
  for (const auto& e : entries) {
    if (e.is_directory) continue;
    if (const auto bytes = fs.read_file(folder + e.name)) total += bytes->size();
  }
  return total;
}

}  // namespace

std::uint32_t installed_size_kib(const platform::FileSystem& fs, std::string_view program_folder) {
  const std::string p = path_in(program_folder, "");
  std::uint64_t total = folder_bytes(fs, p);
  for (const std::string_view sub : {kDataFolder, kDownloadFolder, kBannersFolder})
    total += folder_bytes(fs, path_in(p, sub) + "\\");
  return static_cast<std::uint32_t>((total + 1023) / 1024);
}

void write_apps_entry(platform::Registry& registry, std::string_view program_folder, std::string_view version,
                      std::uint32_t size_kib) {
  std::string folder(program_folder);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  registry.open_key(kUninstallKey, true);
  registry.write(kUninstallKey, "DisplayName", text(kDisplayName));
  registry.write(kUninstallKey, "DisplayVersion", text(version));
  registry.write(kUninstallKey, "Publisher", text(kPublisher));
  registry.write(kUninstallKey, "InstallLocation", text(folder));
  registry.write(kUninstallKey, "DisplayIcon", text(path_in(folder, kClientExe)));
  registry.write(kUninstallKey, "UninstallString", text(program_command(folder, kUninstallerExe)));
  registry.write(kUninstallKey, "NoModify", dword(1));
  registry.write(kUninstallKey, "NoRepair", dword(1));
  registry.write(kUninstallKey, "EstimatedSize", dword(size_kib));
}

bool remove_apps_entry(platform::Registry& registry) { return registry.delete_key(kUninstallKey); }

}  // namespace brevaro::install
