#include "client/shutdown.h"

#include "client/connectivity.h"
#include "client/main_form.h"
#include "client/service_links.h"
#include "ui/application.h"

namespace brevaro::client {

void Shutdown::sign_out() {
  ui::Application& app = form_.application();
  form_.panSignOut->set_visible(true);
  app.process_messages();  // the notice is painted before the check blocks
  if (app.terminated()) return;
  if (!connectivity_.check()) {
    // Without the service there is no session to end there: close now; the
    // notice stays until the window goes.
    if (!app.terminated()) form_.close();
    return;
  }
  form_.Timer1->set_enabled(false);
  form_.HTML1->set_tag(1);
  form_.HTML1->Navigate(links::redirect(links::signout));
  form_.set_dragging(false);
  form_.ExitTimer->set_enabled(true);
}

void Shutdown::navigation_completed() {
  if (form_.HTML1->tag() == 1) form_.close();
}

void Shutdown::exit_timer() {
  form_.panSignOut->set_visible(false);
  form_.close();
}

void Shutdown::poll_close_request() {
  ui::Timer& timer = *form_.CloseTimer;
  timer.set_enabled(false);
  ui::Application& app = form_.application();
  if (!close_request_) close_request_.emplace(app.ports().fs, form_.program_folder(), install::kClientMarkers);
  if (close_request_->poll()) {
    form_.close();
    return;
  }
  timer.set_enabled(true);
}

}  // namespace brevaro::client
