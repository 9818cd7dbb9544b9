// A (hidden) file list: the names in one folder that match a mask such as
// "*.gif;*.swf", sorted without regard to case, refreshed on request. Its
// tag carries a position in the list for whoever uses it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"
#include "ui/component.h"

namespace brevaro::client {

bool matches_mask(std::string_view name, std::string_view mask);

class TFileListBox final : public ui::Component {
 public:
  TFileListBox(ui::Component* owner, std::string_view name, platform::FileSystem& fs, std::string_view mask);

  const std::string& Directory() const noexcept { return directory_; }
  void SetDirectory(std::string_view dir);
  const std::string& Mask() const noexcept { return mask_; }
  void Update();
  const std::vector<std::string>& Items() const noexcept { return items_; }

 private:
  platform::FileSystem& fs_;
  std::string directory_;
  std::string mask_;
  std::vector<std::string> items_;
};

}  // namespace brevaro::client
