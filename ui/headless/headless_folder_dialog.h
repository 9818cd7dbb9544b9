// The folder dialog for host tests: answers from a script, records where
// each dialog started.
#pragma once

#include <deque>
#include <vector>

#include "ui/folder_dialog.h"

namespace brevaro::ui::headless {

class ScriptedFolderDialog final : public FolderDialog {
 public:
  std::optional<std::string> select_directory(std::string_view start) override {
    starts.emplace_back(start);
    if (answers.empty()) return std::nullopt;
    auto a = std::move(answers.front());
    answers.pop_front();
    return a;
  }
  std::deque<std::optional<std::string>> answers;  // none: the user cancels
  std::vector<std::string> starts;
};

}  // namespace brevaro::ui::headless
