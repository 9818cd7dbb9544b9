// The installation contract that the client, the installer, the uninstaller
// and the tray program share: where an installation lives, what it holds,
// which names the shell and the registry know it by, and the mutexes by
// which the programs find each other. Every name of a file, folder, link,
// registry value or mutex that more than one program relies on is here and
// nowhere else.
#pragma once

#include <string>
#include <string_view>

#include "platform/filesystem.h"

namespace brevaro::install {

// ---- the program folder --------------------------------------------------
inline constexpr std::string_view kProductFolder = "brevaro";  // below the chosen parent folder

inline constexpr std::string_view kClientExe = "brevaro.exe";
inline constexpr std::string_view kUninstallerExe = "Uninstall.exe";
inline constexpr std::string_view kTrayExe = "Tray.exe";

// Relative to the program folder.
inline constexpr std::string_view kDataFolder = "Data";
inline constexpr std::string_view kDownloadFolder = "Data\\Download";
inline constexpr std::string_view kBannersFolder = "Data\\Banners";
inline constexpr std::string_view kSettingsFile = "Data\\Brevaro.ini";
inline constexpr std::string_view kErrorPage = "Data\\error.htm";
inline constexpr std::string_view kDefaultMovie = "Data\\bv.swf";
// The default movie's name beside the installer.
inline constexpr std::string_view kDefaultMovieName = "bv.swf";

// The raw-data resources of the client that hold the tray program and the
// default movie banner.
inline constexpr std::string_view kTrayResource = "tasktray";
inline constexpr std::string_view kDefaultMovieResource = "defaultmovie";

// The alternate data stream in which a browser marks a downloaded file as
// coming from the Internet (the "Mark of the Web").
inline constexpr std::string_view kZoneStream = ":Zone.Identifier";

// The longest name a banner file may have (banner names from the advert list
// are plain ASCII names). It bounds the longest path below an installation.
inline constexpr std::size_t kMaxBannerName = 64;

// The longest path the system handles without long-path support: 260
// characters including the terminating null.
inline constexpr std::size_t kMaxPath = 259;

// The program folder with its trailing backslash, from the path of one of
// its executables.
std::string program_folder_of(std::string_view executable_path);

// `folder` (with or without its trailing backslash) and a relative path.
std::string path_in(std::string_view folder, std::string_view relative);

// Whether the folder (with its trailing backslash) holds an installation:
// the installer's own files, the client and its settings file. A tray
// program alone, or a copy of the uninstaller, is no installation.
bool is_installation(const platform::FileSystem& fs, std::string_view program_folder);

// ---- shortcuts -----------------------------------------------------------
// The desktop link and the start-menu folder below the shell's Programs
// folder that holds the two links.
inline constexpr std::string_view kStartMenuFolder = "brevaro";
// A link's file name: the target's file name with ".lnk" for its extension.
std::string link_name(std::string_view target);

// ---- registry (current user) ---------------------------------------------
inline constexpr std::string_view kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValue = "brevaroTray";
// The entry of Settings -> Apps.
inline constexpr std::string_view kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\brevaro";

// The command line that starts an installed program: quoted, so that a path
// with blanks names only that program.
std::string program_command(std::string_view program_folder, std::string_view file_name);

// ---- mutexes -------------------------------------------------------------
inline constexpr std::string_view kClientMutex = "brevaroMutex";
inline constexpr std::string_view kTrayMutex = "brevaroTrayMutex";

}  // namespace brevaro::install
