#include "setup/close_wait.h"

namespace brevaro::setup {

namespace {

bool ask_keep_waiting(ui::Application& app, std::string_view program) {
  return app.message_box("The " + std::string(program) +
                             " has not closed yet, so it cannot be removed.\rKeep waiting for it to close?",
                         "Information", ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::question) == ui::MsgBoxResult::yes;
}

install::CloseWait make_wait(ui::Application& app, std::function<bool()> keep_waiting) {
  const platform::Ports& ports = app.ports();
  install::CloseWait w;
  w.pause = [&app, &ports] {
    ports.clock.sleep_ms(install::kCloseRetryMs);
    app.process_messages();
  };
  w.now_ms = [&ports] { return ports.clock.ticks_ms(); };
  w.keep_waiting = std::move(keep_waiting);
  return w;
}

}  // namespace

install::CloseWait wizard_close_wait(ui::Application& app, std::string_view program) {
  return make_wait(app, [&app, program] { return ask_keep_waiting(app, program); });
}

install::CloseResult close_programs(ui::Application& app, std::string_view folder, install::ClosePrograms which) {
  return install::close_programs(app.ports().fs, folder, wizard_close_wait(app, kTrayName),
                                 wizard_close_wait(app, kClientName), which);
}

}  // namespace brevaro::setup
