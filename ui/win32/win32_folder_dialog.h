// The folder dialog on the shell's folder browser.
#pragma once

#include "ui/folder_dialog.h"

namespace brevaro::ui::win32 {

class Win32FolderDialog final : public FolderDialog {
 public:
  std::optional<std::string> select_directory(std::string_view start) override;
};

}  // namespace brevaro::ui::win32
