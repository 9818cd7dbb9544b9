#include "client/version_check.h"

#include "client/advert_list.h"

namespace brevaro::client {

void CheckLatestVersion(std::span<const std::string> advert_lines, std::string_view own_version, ProcessState& state,
                        const AskUser& ask, platform::Shell& shell, const std::string& new_version_link) {
  // Marked first: the question's box lets timers run, and nothing they start
  // may ask again.
  state.version_checked = true;
  if (advert_lines.empty()) return;
  const std::string& line = advert_lines.front();
  const auto eq = line.find('=');
  const auto latest =
      parse_version_number(eq == std::string::npos ? std::string_view(line) : std::string_view(line).substr(eq + 1));
  const auto own = parse_version_number(own_version);
  if (!latest || !own || !(*latest > *own)) return;
  if (ask(kNewVersionQuestion) != ui::MsgBoxResult::yes) return;
  try {
    shell.open(new_version_link, platform::ShowState::maximized);
  } catch (const std::exception&) {
    // The shell's failure is an optional step's: nothing more to do.
  }
}

}  // namespace brevaro::client
