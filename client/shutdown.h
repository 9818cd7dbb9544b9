// Every way the main window ends other than the user closing it: sign-out
// (the service's sign-out page, then close when it has loaded or after five
// seconds; at once when the service cannot be reached), the delayed exit, and
// the close request another program leaves in the program folder.
#pragma once

#include <memory>
#include <optional>

#include "install/close_request.h"
#include "ui/folder_watch.h"

namespace brevaro::client {

class TForm1;
class Connectivity;

class Shutdown {
 public:
  Shutdown(TForm1& form, Connectivity& connectivity) : form_(form), connectivity_(connectivity) {}

  // The sign-out label was pressed.
  void sign_out();
  // A navigation of HTML1 has completed: closes once sign-out has asked for
  // its page.
  void navigation_completed();
  // ExitTimer: hides the sign-out notice and closes.
  void exit_timer();
  // CloseTimer: the first look for the close request, 100 ms after the
  // start. From then on the program folder is watched and each change of
  // its file names brings the next look; where the folder cannot be
  // watched, CloseTimer goes on looking every 100 ms.
  void poll_close_request();
  // True while close requests are still looked for.
  bool watching_for_close_request() const;

 private:
  // True when the request was there and the window is closing.
  bool look_for_close_request();

  TForm1& form_;
  Connectivity& connectivity_;
  // Made at the first look, once the program folder is known.
  std::optional<install::CloseRequestWatch> close_request_;
  std::unique_ptr<ui::FolderWatch> folder_watch_;
};

}  // namespace brevaro::client
