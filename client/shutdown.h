// Every way the main window ends other than the user closing it: sign-out
// (the service's sign-out page, then close when it has loaded or after five
// seconds; at once when the service cannot be reached), the delayed exit, and
// the close request another program leaves in the program folder.
#pragma once

#include <optional>

#include "install/close_request.h"

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
  // CloseTimer, every 100 ms: closes when the close request is there.
  void poll_close_request();

 private:
  TForm1& form_;
  Connectivity& connectivity_;
  // Made at the first look, once the program folder is known.
  std::optional<install::CloseRequestWatch> close_request_;
};

}  // namespace brevaro::client
