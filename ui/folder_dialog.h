// The framework's folder-selection dialog as a port: the win32 backend shows
// the shell's folder browser, host tests answer from a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brevaro::ui {

class FolderDialog {
 public:
  virtual ~FolderDialog() = default;
  // Lets the user choose a folder, starting at `start`. The answer may name a
  // folder that does not exist yet (typed by the user); none when the user
  // cancelled.
  virtual std::optional<std::string> select_directory(std::string_view start) = 0;
};

}  // namespace brevaro::ui
