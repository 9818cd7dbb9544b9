// Shell links through the system's ShellLink COM class, and the shell's
// special folders. COM must be initialised on the calling thread.
#pragma once

#include "platform/shell_links.h"

namespace brevaro::platform::win32 {

class Win32ShellLinks final : public ShellLinks {
 public:
  bool save_link(std::string_view target, std::string_view link_path) override;
  std::optional<std::string> special_folder(SpecialFolder folder) const override;
};

}  // namespace brevaro::platform::win32
