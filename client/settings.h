// The client's settings file, Data\Brevaro.ini in the program folder: read
// whole, changed key by key, and written back so that an interrupted write
// never leaves a damaged file.
#pragma once

#include <string>
#include <string_view>

#include "base/ini.h"
#include "platform/filesystem.h"

namespace brevaro::client {

inline constexpr std::string_view kDefaultSection = "Default";

// A missing or unreadable file reads as an empty one: every key has its default.
base::IniDocument load_settings(const platform::FileSystem& fs, std::string_view path);
// Writes the document through a temporary file beside it.
void save_settings(platform::FileSystem& fs, std::string_view path, const base::IniDocument& doc);

}  // namespace brevaro::client
