#include "install/close_request.h"

namespace brevaro::install {

namespace {

// Nobody reads the answer; the exit is what counts, so a failed write is
// no error.
void write_answer(platform::FileSystem& fs, std::string_view folder, const CloseMarkers& markers) noexcept {
  platform::try_write_file(fs, std::string(folder) + std::string(markers.answer),
                           marker_file_text(markers.answer_text));
}

}  // namespace

std::string marker_file_text(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  return text;
}

bool answer_close_request(platform::FileSystem& fs, std::string_view folder, const CloseMarkers& markers) noexcept {
  try {
    const std::string request = std::string(folder) + std::string(markers.request);
    if (!fs.file_exists(request)) return false;
    // Deleting the request before answering makes the request act once, even
    // when a second one follows at once. A request that cannot be deleted is
    // still a request.
    platform::try_delete_file(fs, request);
    write_answer(fs, folder, markers);
    return true;
  } catch (...) {
    return false;
  }
}

CloseRequestWatch::CloseRequestWatch(platform::FileSystem& fs, std::string folder, const CloseMarkers& markers)
    : fs_(fs), folder_(std::move(folder)), markers_(markers) {
  try {
    const std::string request = folder_ + std::string(markers_.request);
    if (fs_.file_exists(request)) {
      if (platform::try_delete_file(fs_, request)) asked_at_start_ = true;
      else stale_ = true;
    }
  } catch (const platform::FileError&) {
    // Nothing known about the request: the first poll looks again.
  }
}

bool CloseRequestWatch::poll() noexcept {
  if (asked_at_start_) {
    asked_at_start_ = false;
    write_answer(fs_, folder_, markers_);
    return true;
  }
  if (stale_) {
    try {
      if (fs_.file_exists(folder_ + std::string(markers_.request))) return false;
    } catch (const platform::FileError&) {
      return false;
    }
    stale_ = false;
  }
  return answer_close_request(fs_, folder_, markers_);
}

CloseOutcome ask_to_close(platform::FileSystem& fs, std::string_view folder, const CloseMarkers& markers,
                          const CloseWait& wait) {
  const std::string dir(folder);
  const std::string answer = dir + std::string(markers.answer);
  platform::try_delete_file(fs, answer);  // a stale answer that stays does no harm: nobody reads it
  const std::string request = dir + std::string(markers.request);
  // Without a request a running program would never close, and the wait
  // below would end only in the question: a request that cannot be written
  // stops here, with the system's reason.
  fs.write_file(request, marker_file_text(kCloseRequestText));

  const std::string exe = dir + std::string(markers.executable);
  std::uint64_t period_start = wait.now_ms();
  while (fs.file_exists(exe)) {
    if (platform::try_delete_file(fs, exe)) continue;  // gone: the loop's test ends it
    // Still running (or otherwise locked): try again in a moment.
    if (wait.now_ms() - period_start >= wait.ask_after_ms) {
      if (!wait.keep_waiting || !wait.keep_waiting()) {
        platform::try_delete_file(fs, request);
        return CloseOutcome::gave_up;
      }
      period_start = wait.now_ms();
    }
    wait.pause();
  }
  return CloseOutcome::closed;
}

CloseResult close_programs(platform::FileSystem& fs, std::string_view folder, const CloseWait& tray_wait,
                           const CloseWait& client_wait, ClosePrograms which) {
  if (which.tray && ask_to_close(fs, folder, kTrayMarkers, tray_wait) == CloseOutcome::gave_up)
    return CloseResult::tray_running;
  // The client's request follows; a stale answer of an earlier request goes
  // first, inside ask_to_close.
  if (which.client && ask_to_close(fs, folder, kClientMarkers, client_wait) == CloseOutcome::gave_up)
    return CloseResult::client_running;
  return CloseResult::closed;
}

}  // namespace brevaro::install
