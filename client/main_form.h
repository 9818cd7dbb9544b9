// The client's main window.
#pragma once

#include "client/process_state.h"
#include "ui/form.h"

namespace brevaro::client {

class TForm1 final : public ui::Form {
 public:
  TForm1(ui::Component* owner, ProcessState& state);

 private:
  ProcessState& state_;
};

}  // namespace brevaro::client
