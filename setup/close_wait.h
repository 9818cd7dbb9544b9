// The installer's and the uninstaller's side of waiting for a running
// program to close: 500 ms pauses that keep the wizard responsive, and the
// question the user is asked every 30 seconds.
#pragma once

#include <string>
#include <string_view>

#include "install/close_request.h"
#include "ui/application.h"

namespace brevaro::setup {

inline constexpr std::string_view kClientName = "brevaro program";
inline constexpr std::string_view kTrayName = "brevaro tray program";

// The wait for `program` (kClientName or kTrayName): pauses that process the
// application's messages, the clock of its ports, and the question "keep
// waiting?" asked in a message box.
install::CloseWait wizard_close_wait(ui::Application& app, std::string_view program);

// Asks the programs in `folder` to close with these waits (see
// install::close_programs).
install::CloseResult close_programs(ui::Application& app, std::string_view folder, install::ClosePrograms which = {});

}  // namespace brevaro::setup
