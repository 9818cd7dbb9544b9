#include "install/layout.h"

#include "base/winpath.h"

namespace brevaro::install {

std::string program_folder_of(std::string_view executable_path) {
  return std::string(base::winpath::folder(executable_path));
}

std::string path_in(std::string_view folder, std::string_view relative) {
  std::string out(folder);
  if (!out.empty() && !base::winpath::is_separator(out.back())) out += '\\';
  out += relative;
  return out;
}

bool is_installation(const platform::FileSystem& fs, std::string_view program_folder) {
  return fs.file_exists(path_in(program_folder, kClientExe)) && fs.file_exists(path_in(program_folder, kSettingsFile));
}

std::string link_name(std::string_view target) {
  std::string name(base::winpath::file_name(target));
  if (const auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  return name + ".lnk";
}

std::string program_command(std::string_view program_folder, std::string_view file_name) {
  return "\"" + path_in(program_folder, file_name) + "\"";
}

}  // namespace brevaro::install
