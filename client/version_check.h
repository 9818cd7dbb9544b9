// The version check: the advert list's first line carries the latest client
// version; once per activation of the main window a newer one is offered.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "client/process_state.h"
#include "platform/system.h"
#include "ui/backend.h"

namespace brevaro::client {

inline constexpr std::string_view kNewVersionQuestion =
    "Your are not using the latest version of brevaro.\rWould you like to get the latest version now?";

// Asks the user a Yes/No question in the client's information box.
using AskUser = std::function<ui::MsgBoxResult(std::string_view text)>;

// CheckLatestVersion: compares the version on line 1 of the advert list
// (after its first "=") with the client's own (`own_version`, the caption of
// lblVerNo); when the list's is greater, asks, and on "Yes" opens
// `new_version_link`. Marks the check as done whatever the outcome.
void CheckLatestVersion(std::span<const std::string> advert_lines, std::string_view own_version, ProcessState& state,
                        const AskUser& ask, platform::Shell& shell, const std::string& new_version_link);

}  // namespace brevaro::client
