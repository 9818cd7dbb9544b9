// Shell links for host tests: a saved link is a small text file in the
// in-memory file system (so the uninstaller finds and deletes it like a real
// one) and an entry in the record of saves.
#pragma once

#include <map>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/shell_links.h"

namespace brevaro::platform::headless {

class RecordingShellLinks final : public ShellLinks {
 public:
  explicit RecordingShellLinks(MemoryFileSystem& fs) : fs_(fs) {}

  bool save_link(std::string_view target, std::string_view link_path) override;
  std::optional<std::string> special_folder(SpecialFolder folder) const override;

  struct Saved {
    std::string target;
    std::string path;
  };
  std::vector<Saved> saved;
  std::map<SpecialFolder, std::string> folders{
      {SpecialFolder::desktop_directory, "C:\\Users\\user\\Desktop"},
      {SpecialFolder::programs, "C:\\Users\\user\\Start Menu\\Programs"},
      {SpecialFolder::start_menu, "C:\\Users\\user\\Start Menu"},
      {SpecialFolder::local_app_data, "C:\\Users\\user\\AppData\\Local"},
      {SpecialFolder::user_program_files, "C:\\Users\\user\\AppData\\Local\\Programs"}};
  bool fail_create = false;  // the link object cannot be made

  // The target of the link file at `path`, as save_link wrote it.
  std::optional<std::string> target_of(std::string_view path) const;

 private:
  MemoryFileSystem& fs_;
};

}  // namespace brevaro::platform::headless
