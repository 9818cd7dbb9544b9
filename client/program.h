// The client executable's start: title, run mode, the one form, the loop.
#pragma once

#include "client/process_state.h"
#include "client/run_mode.h"
#include "net/socket_api.h"
#include "setup/setup_ports.h"
#include "ui/application.h"

namespace brevaro::client {

// Decides the run mode, creates the form for it and runs the message loop
// until the program ends. Returns the mode that ran. The installer and the
// uninstaller use `setup` besides the application's ports.
RunMode run_program(ui::Application& app, ProcessState& state, net::SocketApi& sockets, const setup::SetupPorts& setup);

}  // namespace brevaro::client
