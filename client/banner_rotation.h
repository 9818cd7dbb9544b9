// The banner rotation: each step shows the next banner of the banner folder
// (timBannerChange), deleting expired and incomplete banners on the way and
// falling back to the default movie when nothing can be shown.
#pragma once

#include <string>

#include "client/banner_area.h"
#include "client/banner_links.h"
#include "client/file_list.h"
#include "client/process_state.h"
#include "platform/system.h"
#include "ui/timer.h"

namespace brevaro::client {

class BannerRotation {
 public:
  // `list` is the rotation list (FileListBox1, "*.gif;*.swf" of the banner
  // folder, its tag the index of the next banner); `timer` is timBannerChange.
  // `links` gives the default banner's link and must outlive the rotation.
  BannerRotation(BannerArea area, TFileListBox& list, ui::Timer& timer, const platform::Ports& ports,
                 ProcessState& state, const BannerLinks& links);

  // One rotation step (timBannerChangeTimer). A description or banner file
  // that exists but cannot be read raises a FileError (or the GIF control's
  // error) and leaves the timer disabled.
  void step();
  // The default banner: Data\bv.swf with id "0" and the default banner link,
  // or an empty banner area when the movie is missing.
  void show_default();

 private:
  std::string banners_folder() const { return state_.program_folder + "Data\\Banners\\"; }
  // Shows the banner `base` if it is current; false when it is expired or
  // incomplete (then its files are deleted).
  bool show_if_current(const std::string& base);
  void delete_banner(const std::string& base);

  BannerArea area_;
  TFileListBox& list_;
  ui::Timer& timer_;
  platform::FileSystem& fs_;
  platform::Clock& clock_;
  ProcessState& state_;
  const BannerLinks& links_;
};

}  // namespace brevaro::client
