#include "client/file_list.h"

#include <algorithm>

#include "base/ascii.h"

namespace brevaro::client {

namespace {
// Wildcards '*' (any run) and '?' (one character), without regard to case.
bool wildcard(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || base::to_upper(pattern[p]) == base::to_upper(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
}  // namespace

bool matches_mask(std::string_view name, std::string_view mask) {
  while (!mask.empty()) {
    const auto semi = mask.find(';');
    const auto part = base::trim(mask.substr(0, semi));
    if (!part.empty() && wildcard(name, part)) return true;
    if (semi == std::string_view::npos) break;
    mask.remove_prefix(semi + 1);
  }
  return false;
}

TFileListBox::TFileListBox(ui::Component* owner, std::string_view name, platform::FileSystem& fs, std::string_view mask)
    : ui::Component(owner, name), fs_(fs), mask_(mask) {}

void TFileListBox::SetDirectory(std::string_view dir) { directory_ = dir; }

void TFileListBox::Update() {
  items_.clear();
  if (directory_.empty()) return;
  for (const auto& e : fs_.list_directory(directory_))
    if (!e.is_directory && matches_mask(e.name, mask_)) items_.push_back(e.name);
  std::sort(items_.begin(), items_.end(),
            [](const std::string& a, const std::string& b) { return base::icompare(a, b) < 0; });
}

}  // namespace brevaro::client
