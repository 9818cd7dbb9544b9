// What the installer and the uninstaller need beyond the program's ports:
// shell links with the special folders, and the folder dialog.
#pragma once

#include "platform/shell_links.h"
#include "ui/folder_dialog.h"

namespace brevaro::setup {

struct SetupPorts {
  platform::ShellLinks& links;
  ui::FolderDialog& folders;
};

}  // namespace brevaro::setup
