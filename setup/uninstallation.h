// The uninstallation steps, as plain code over the platform ports. The
// uninstaller form runs them from its Next handler: first the running
// programs are asked to close, then the installation is removed.
#pragma once

#include <string_view>

#include "platform/close_request.h"
#include "platform/shell_links.h"
#include "platform/system.h"

namespace brevaro::setup {

// Whether the folder (with its trailing backslash) holds an installation:
// its settings file, its tray program, or the client beside a data folder.
// The removal empties the folder of its plain files, so it must never run
// over a folder that merely holds a copy of Uninstall.exe.
bool holds_installation(const platform::FileSystem& fs, std::string_view program_folder);

enum class CloseResult { closed, tray_running, client_running };

// Asks the tray program and then the client to close and waits until each
// executable has been deleted, each wait bounded by its own CloseWait; when
// the user stops waiting nothing further is touched.
CloseResult close_programs(platform::FileSystem& fs, std::string_view program_folder,
                           const platform::CloseWait& tray_wait, const platform::CloseWait& client_wait);

// The rest, once both programs are gone: the plain files of the three data
// folders and of the program folder (last listed first; hidden and system
// files stay), the three data folders when empty, the shortcuts in the
// shell's desktop and Programs folders, the Run value. Every failure is
// skipped; nothing outside the program folder is touched apart from the
// shortcuts and the Run value.
void remove_installation(const platform::Ports& ports, const platform::ShellLinks& links,
                         std::string_view program_folder);

}  // namespace brevaro::setup
