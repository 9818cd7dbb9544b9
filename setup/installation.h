// The installation steps, as plain code over the platform ports. The
// installer form runs them in this order from its Next handler and shows
// pages and messages between them. The names and places they use are the
// installation contract's (install/layout.h).
#pragma once

#include <string>
#include <string_view>

#include "install/close_request.h"
#include "platform/shell_links.h"
#include "platform/system.h"

namespace brevaro::setup {

inline constexpr std::string_view kCannotCreateDestination =
    "Installation aborted, destination directory unable to be created.";
inline constexpr std::string_view kFilesNotInstalled =
    "Installation aborted!\rFiles will not have been installed properly.";

// Steps 1 and 2: the destination D with Data, Data\Download and Data\Banners
// when D is new; only Data when D exists already. False when a folder that
// should be there is not: the installation must stop before anything is
// copied.
bool prepare_destination(platform::FileSystem& fs, std::string_view destination);

// What the copy steps achieved.
struct CopyResult {
  bool client = false;        // D\brevaro.exe
  bool uninstaller = false;   // D\Uninstall.exe
  bool banner = false;        // D\Data\bv.swf
  bool tray = false;          // D\Tray.exe written from the resource
  bool tray_present = false;  // some D\Tray.exe is there afterwards
  // The client or the tray program of an installation already in D could
  // not be replaced: it is probably running.
  bool client_busy = false;
  bool tray_busy = false;
  // The first file that did not arrive, for the message.
  std::string failed_file;
  // The installation can go on: both copies of the executable arrived and a
  // tray program is in place. The default banner is optional: the client
  // shows its other banners without it.
  bool files_installed() const noexcept { return client && uninstaller && tray_present; }
};

// Steps 4 and 5: the running executable twice, the default banner from the
// source folder (with its trailing backslash) or, when none lies there, out
// of the executable's own resource, the tray program out of its resource.
// Each copy loses the zone mark that a download gave its source. Failures
// are recorded, never thrown.
CopyResult copy_program_files(const platform::Ports& ports, std::string_view source_folder,
                              std::string_view destination);

// Step 6: D\Data\Brevaro.ini loses its Default section and gets a new
// installation identifier as UN there; other sections stay. The file is
// replaced in one step. Returns the identifier; throws when the file cannot
// be written or no identifier can be made.
std::string write_settings(const platform::Ports& ports, std::string_view destination);

enum class LinkBase { desktop, programs };

// One shortcut: `target`'s name with ".lnk" in the shell's known folder,
// inside `sub_folder` when one is given. A missing base folder skips it
// silently and so does a link that cannot be saved; a link object that
// cannot be made throws. True when the link was saved.
bool create_shortcut(platform::FileSystem& fs, platform::ShellLinks& links, std::string_view target, LinkBase base,
                     std::string_view sub_folder);

// Step 7: the desktop link to the client and the two start-menu links.
void create_shortcuts(platform::FileSystem& fs, platform::ShellLinks& links, std::string_view destination);

// Step 8: the log-on start of the tray program. A Run key that cannot be
// opened is skipped; a value that cannot be written throws.
void register_tray_at_logon(platform::Registry& registry, std::string_view destination);

// Step 9: the entry in the system's list of installed programs, with the
// build's version and the size of what was installed.
void register_apps_entry(const platform::Ports& ports, std::string_view destination);

}  // namespace brevaro::setup
