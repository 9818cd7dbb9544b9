// The close-request handshake between the programs of an installation. The
// asking side (the installer over a running installation, the uninstaller)
// writes a request file into the program folder and waits until the other
// program's executable can be deleted; the answering side (the client, the
// tray program) looks for its request file, deletes it, writes its answer
// file and closes. The programs meet only through the presence of these
// files: no program reads their text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"

namespace brevaro::install {

// The names one answering program uses.
struct CloseMarkers {
  std::string_view request;      // written by the asking side, e.g. "Close.dat"
  std::string_view answer;       // written by the answering side, e.g. "BVClosed.dat"
  std::string_view answer_text;  // the one line of the answer file, without its CR LF
  std::string_view executable;   // the answering program's file in the program folder
};

inline constexpr CloseMarkers kClientMarkers{"Close.dat", "BVClosed.dat", "BVClosed.", "brevaro.exe"};
inline constexpr CloseMarkers kTrayMarkers{"TClose.dat", "TClosed.dat", "TrayClosed.", "Tray.exe"};
// The one line of every request file.
inline constexpr std::string_view kCloseRequestText = "Close Now.";

// The bytes of a marker file: its line and CR LF.
std::string marker_file_text(std::string_view line);

// How often the answering side looks for its request (the polling timer's interval).
inline constexpr std::uint32_t kClosePollMs = 100;

// One look of the answering side. `folder` is the folder of the answering
// program's executable with its trailing backslash. When the request file is
// there it is deleted and the answer file written, and the result is true:
// the caller closes its main window. A request that cannot be deleted (a
// locked file) or an answer that cannot be written does not keep the program
// from closing: the asking side relies only on the program's exit.
bool answer_close_request(platform::FileSystem& fs, std::string_view folder, const CloseMarkers& markers) noexcept;

// The answering side over the life of a program. A request file that is
// already there when the program starts and cannot be deleted is left over
// from an earlier run (the asking side could not have written it either):
// it is ignored until it has gone, so that it cannot close every later start
// of the program at once. Any other request is answered as above.
class CloseRequestWatch {
 public:
  CloseRequestWatch(platform::FileSystem& fs, std::string folder, const CloseMarkers& markers);
  // One look: true when the program is asked to close.
  bool poll() noexcept;

 private:
  platform::FileSystem& fs_;
  std::string folder_;
  CloseMarkers markers_;
  bool asked_at_start_ = false;  // a request that was there at the start and could be deleted
  bool stale_ = false;           // a request that was there at the start and could not be deleted
};

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

// Asks the program of `markers` in `folder` to close and waits until its
// executable is deleted: a stale answer file is removed first, then the
// request file is written, then deleting the executable is tried every
// 500 ms. A program that is not running loses its executable at the first
// try. `closed` means the executable is gone. A request file that cannot be
// written ends the step at once with its FileError (nothing has been deleted
// then). When the user gives up waiting the request file is removed again,
// so that it does not close the program's next start.
CloseOutcome ask_to_close(platform::FileSystem& fs, std::string_view folder, const CloseMarkers& markers,
                          const CloseWait& wait);

enum class CloseResult { closed, tray_running, client_running };

// Which programs of an installation to ask.
struct ClosePrograms {
  bool tray = true;
  bool client = true;
};

// Asks the tray program and then the client in `folder` (with its trailing
// backslash) to close, each wait bounded by its own CloseWait; when the
// user stops waiting for one, nothing further is asked or touched.
CloseResult close_programs(platform::FileSystem& fs, std::string_view folder, const CloseWait& tray_wait,
                           const CloseWait& client_wait, ClosePrograms which = {});

}  // namespace brevaro::install
