// The close-request handshake between the uninstaller and the two programs it
// removes. The asking side (the uninstaller) writes a request file into the
// program folder and waits until the other program's executable can be
// deleted; the answering side (the client, the tray program) polls for its
// request file, deletes it, writes its answer file and closes. The programs
// meet only through the presence of these files: no program reads their text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"

namespace brevaro::platform {

// The names one answering program uses.
struct CloseMarkers {
  std::string_view request;      // written by the asking side, e.g. "Close.dat"
  std::string_view answer;       // written by the answering side, e.g. "BVClosed.dat"
  std::string_view answer_text;  // the one line of the answer file, without its CR LF
};

inline constexpr CloseMarkers kClientMarkers{"Close.dat", "BVClosed.dat", "BVClosed."};
inline constexpr CloseMarkers kTrayMarkers{"TClose.dat", "TClosed.dat", "TrayClosed."};
// The one line of every request file.
inline constexpr std::string_view kCloseRequestText = "Close Now.";

// The bytes of a marker file: its line and CR LF.
std::string marker_file_text(std::string_view line);

// How often the answering side looks for its request (the polling timer's interval).
inline constexpr std::uint32_t kClosePollMs = 100;

// One poll of the answering side, run from its polling timer. `folder` is the
// folder of the answering program's executable with its trailing backslash.
// When the request file is there it is deleted and the answer file written,
// and the result is true: the caller closes its main window. A request that
// cannot be deleted (a locked file, a folder of that name) or an answer that
// cannot be written does not keep the program from closing: the asking side
// relies only on the program's exit.
bool answer_close_request(FileSystem& fs, std::string_view folder, const CloseMarkers& markers) noexcept;

// The asking side's waits.
struct CloseWait {
  // Lets 500 ms pass while the caller's pending messages are processed.
  std::function<void()> pause;
  // Milliseconds on a monotonic clock, for the bound below.
  std::function<std::uint64_t()> now_ms;
  // Asked each time `ask_after_ms` have passed without success: true to keep
  // waiting for another such period, false to give up.
  std::function<bool()> keep_waiting;
  std::uint64_t ask_after_ms = 30000;
};

inline constexpr std::uint32_t kCloseRetryMs = 500;

enum class CloseOutcome { closed, gave_up };

// Asks the program whose executable is folder + `executable` to close and
// waits until that executable is deleted: a stale answer file is removed
// first, then the request file is written, then deleting the executable is
// tried every 500 ms. A program that is not running loses its executable at
// the first try. `closed` means the executable is gone. A request file that
// cannot be written is not fatal: the executable may still go (the program
// may not be running at all).
CloseOutcome ask_to_close(FileSystem& fs, std::string_view folder, const CloseMarkers& markers,
                          std::string_view executable, const CloseWait& wait);

}  // namespace brevaro::platform
