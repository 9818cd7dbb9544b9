// The client executable's start: title, run mode, the one form, the loop.
#pragma once

#include "client/process_state.h"
#include "client/run_mode.h"
#include "net/socket_api.h"
#include "ui/application.h"

namespace brevaro::client {

// Decides the run mode, creates the form for it and runs the message loop
// until the program ends. Returns the mode that ran.
RunMode run_program(ui::Application& app, ProcessState& state, net::SocketApi& sockets);

}  // namespace brevaro::client
