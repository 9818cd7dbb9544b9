#include "platform/close_request.h"

namespace brevaro::platform {

std::string marker_file_text(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  return text;
}

bool answer_close_request(FileSystem& fs, std::string_view folder, const CloseMarkers& markers) noexcept {
  try {
    const std::string request = std::string(folder) + std::string(markers.request);
    if (!fs.file_exists(request)) return false;
    // Deleting the request before answering makes the request act once, even
    // when a second one follows at once.
    try {
      fs.delete_file(request);
    } catch (const FileError&) {
      // A request that cannot be deleted is still a request.
    }
    try {
      fs.write_file(std::string(folder) + std::string(markers.answer), marker_file_text(markers.answer_text));
    } catch (const FileError&) {
      // Nobody reads the answer; the exit is what counts.
    }
    return true;
  } catch (...) {
    return false;
  }
}

CloseOutcome ask_to_close(FileSystem& fs, std::string_view folder, const CloseMarkers& markers,
                          std::string_view executable, const CloseWait& wait) {
  const std::string dir(folder);
  try {
    const std::string answer = dir + std::string(markers.answer);
    if (fs.file_exists(answer)) fs.delete_file(answer);
  } catch (const FileError&) {
    // A stale answer that stays does no harm: nobody reads it.
  }
  try {
    fs.write_file(dir + std::string(markers.request), marker_file_text(kCloseRequestText));
  } catch (const FileError&) {
    // Without a request a running program will not close, and the wait
    // below ends in the question; a program that is not running loses its
    // executable at the first try.
  }

  const std::string exe = dir + std::string(executable);
  std::uint64_t period_start = wait.now_ms();
  while (fs.file_exists(exe)) {
    try {
      fs.delete_file(exe);
      continue;  // gone: the loop's test ends it
    } catch (const FileError&) {
      // Still running (or otherwise locked): try again in a moment.
    }
    if (wait.now_ms() - period_start >= wait.ask_after_ms) {
      if (!wait.keep_waiting || !wait.keep_waiting()) return CloseOutcome::gave_up;
      period_start = wait.now_ms();
    }
    wait.pause();
  }
  return CloseOutcome::closed;
}

}  // namespace brevaro::platform
