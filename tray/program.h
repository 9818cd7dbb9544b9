// The tray program's start.
#pragma once

#include "ui/application.h"

namespace brevaro::tray {

void run_program(ui::Application& app);

}  // namespace brevaro::tray
