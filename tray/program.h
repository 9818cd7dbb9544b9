// The tray program's start: one copy per log-on (the named mutex), then the
// hidden main form with the tray icon and the contact window, and the
// message loop until the program ends.
#pragma once

#include "menu/popup_menu.h"
#include "tray/tray_platform.h"
#include "ui/application.h"

namespace brevaro::tray {

// False when another copy runs already (this one then shows nothing).
bool run_program(ui::Application& app, TrayPlatform& platform, menu::MenuView& menu_view);

}  // namespace brevaro::tray
