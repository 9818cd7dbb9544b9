#include "tray/program.h"

namespace brevaro::tray {

void run_program(ui::Application& app) {
  app.set_title("brevaro Tray");
  // The tray's hidden main form and its single-instance mutex come with the
  // tray icon; without a form the program ends at once.
  app.run();
}

}  // namespace brevaro::tray
