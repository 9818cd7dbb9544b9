// Looks for changes of the file names in one folder, cheaply: the program's
// message loop waits for the system's change signal with its messages, so
// nothing runs while nothing changes. The handler runs on the GUI thread
// from the message loop, also while a message box is open.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "ui/backend.h"

namespace brevaro::ui {

class FolderWatch {
 public:
  // Starts watching `folder` of `fs`: `on_change` runs after a file in it is
  // created, deleted or renamed (a change or two may come as one call).
  FolderWatch(Backend& backend, const platform::FileSystem& fs, std::string_view folder,
              std::function<void()> on_change);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // False when the folder cannot be watched (it is missing, or the system
  // cannot signal its changes): the owner then has to look by itself.
  bool watching() const noexcept { return static_cast<bool>(peer_); }

 private:
  std::unique_ptr<FolderWatchPeer> peer_;
};

}  // namespace brevaro::ui
