// The installation's entry in the system's list of installed programs
// (Settings -> Apps, and Programs and Features): a per-user key under the
// Uninstall key, written by the installer and deleted by the uninstaller.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/filesystem.h"
#include "platform/system.h"

namespace brevaro::install {

inline constexpr std::string_view kDisplayName = "brevaro";
inline constexpr std::string_view kPublisher = "brevaro";

// The sizes of the plain files of the installation's folders, in KiB
// rounded up (the entry's EstimatedSize).
std::uint32_t installed_size_kib(const platform::FileSystem& fs, std::string_view program_folder);

// Writes the entry: DisplayName, DisplayVersion, Publisher, InstallLocation,
// DisplayIcon (the client), UninstallString (the uninstaller, quoted),
// NoModify = NoRepair = 1 and EstimatedSize. A value that cannot be written
// throws platform::RegistryError.
void write_apps_entry(platform::Registry& registry, std::string_view program_folder, std::string_view version,
                      std::uint32_t size_kib);

// Deletes the entry; true when it was there and is gone.
bool remove_apps_entry(platform::Registry& registry);

}  // namespace brevaro::install
