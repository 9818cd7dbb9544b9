// The uninstallation steps, as plain code over the platform ports. The
// uninstaller form runs them from its Next handler: first the running
// programs are asked to close (install/close_request.h), then the
// installation is removed.
#pragma once

#include <string_view>

#include "platform/shell_links.h"
#include "platform/system.h"

namespace brevaro::setup {

// The rest, once both programs are gone: the plain files of the three data
// folders and of the program folder (last listed first; hidden and system
// files stay), the three data folders when empty, the shortcuts in the
// shell's desktop and Programs folders, the Run value and the entry in the
// list of installed programs. Every failure is skipped; nothing outside the
// program folder is touched apart from the shortcuts and those two registry
// entries. A data folder that is a link (a junction or symbolic link) is
// neither followed nor emptied.
void remove_installation(const platform::Ports& ports, const platform::ShellLinks& links,
                         std::string_view program_folder);

}  // namespace brevaro::setup
