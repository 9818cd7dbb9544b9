#include "client/program.h"

#include "base/winpath.h"
#include "client/main_form.h"
#include "setup/install_form.h"
#include "setup/uninstall_form.h"

namespace brevaro::client {

RunMode run_program(ui::Application& app, ProcessState& state, net::SocketApi& sockets,
                    const setup::SetupPorts& setup) {
  app.set_title("brevaro");
  RunDecision decision = decide_run_mode(app.ports());
  switch (decision.mode) {
    case RunMode::uninstaller: app.create_form<setup::Tfrm_uninstall>(setup); break;
    case RunMode::installer: app.create_form<setup::Tfrm_install>(setup); break;
    case RunMode::client: app.create_form<TForm1>(state, sockets); break;
    case RunMode::second_client: break;  // no form: the loop returns at once
  }
  app.run();
  state = ProcessState{};
  return decision.mode;
}

}  // namespace brevaro::client
