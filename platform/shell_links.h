// Shell links (".lnk" files) and the shell's special folders: what the
// installer and the uninstaller need of the shell beyond starting programs.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brevaro::platform {

// The shell-link object itself could not be made.
class ShellLinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The shell's known folders, read through the known-folder API.
// `start_menu` holds `programs`; `user_program_files` is the user's own
// programs folder (LocalAppData + "\\Programs" where the system does not name it).
enum class SpecialFolder { desktop_directory, programs, start_menu, local_app_data, user_program_files };

class ShellLinks {
 public:
  virtual ~ShellLinks() = default;
  // Makes a shell link whose only setting is its target path and saves it as
  // `link_path`, replacing an existing file. Throws ShellLinkError when the
  // link object cannot be created; false when the file could not be saved.
  virtual bool save_link(std::string_view target, std::string_view link_path) = 0;
  // The path the shell gives for the folder, without a trailing backslash;
  // none when it has none.
  virtual std::optional<std::string> special_folder(SpecialFolder folder) const = 0;
};

}  // namespace brevaro::platform
