// Where an installation may go: the default destination in the user's own
// programs folder, the folder the user chose made absolute, and the checks
// that refuse a destination before anything is created in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"
#include "platform/shell_links.h"

namespace brevaro::install {

// The default destination: the user's own programs folder (the known folder
// UserProgramFiles, LocalAppData + "\Programs") + "\brevaro". None when the
// shell names neither folder.
std::optional<std::string> default_destination(const platform::ShellLinks& shell);

// The destination for a folder chosen in the folder dialog: the product's
// sub-folder inside it; a drive root ("D:\") takes the name without another
// backslash.
std::string destination_in(std::string_view chosen);

// A folder as the user gave it, made absolute: forward slashes become
// backslashes, a bare drive ("C:") is its root ("C:\"), a drive-relative
// path ("C:data") is taken from the root ("C:\data"), and trailing
// separators go (except a root's). None for a path with no drive and no
// server ("\\server\share"): relative to nothing the user can see.
std::optional<std::string> absolute_folder(std::string_view typed);

// The length of a UTF-8 path in the system's (UTF-16) characters, the unit
// of its path limit.
std::size_t system_length(std::string_view utf8) noexcept;

enum class DestinationProblem {
  none,
  not_absolute,      // see absolute_folder
  installer_folder,  // the folder the installer runs from: it would copy over itself
  too_long,          // the longest path below it passes the system's limit
  file_in_the_way,   // a file where the folder or one of its parents should be
  not_writable,      // the user cannot create files there
};

struct DestinationCheck {
  DestinationProblem problem = DestinationProblem::none;
  std::string folder;  // the folder the problem is about
  bool ok() const noexcept { return problem == DestinationProblem::none; }
};

// Checks a destination before anything is created: it must be absolute, not
// the installer's own folder (given with or without its trailing
// backslash), short enough for the longest path an installation makes below
// it (the banner downloads), and writable: a probe file is created in the
// destination, or in its nearest existing parent, and deleted again.
DestinationCheck check_destination(platform::FileSystem& fs, std::string_view destination,
                                   std::string_view installer_folder);

// What the installer tells the user about a refused destination.
std::string destination_message(const DestinationCheck& check);

}  // namespace brevaro::install
