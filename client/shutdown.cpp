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
  if (!close_request_) {
    ui::Application& app = form_.application();
    close_request_.emplace(app.ports().fs, form_.program_folder(), install::kClientMarkers);
    // Watched before the first look, so that a request written between the
    // two is not missed.
    folder_watch_ = std::make_unique<ui::FolderWatch>(app.backend(), app.ports().fs, form_.program_folder(),
                                                      [this] { (void)look_for_close_request(); });
  }
  if (look_for_close_request()) return;
  if (!folder_watch_->watching()) timer.set_enabled(true);
}

bool Shutdown::look_for_close_request() {
  if (!close_request_ || !close_request_->poll()) return false;
  // Answered once: a later request is left for whoever comes next.
  folder_watch_.reset();
  form_.close();
  return true;
}

bool Shutdown::watching_for_close_request() const {
  return form_.CloseTimer->enabled() || (folder_watch_ && folder_watch_->watching());
}

}  // namespace brevaro::client
