#include "client/main_form.h"

namespace brevaro::client {

TForm1::TForm1(ui::Component* owner, ProcessState& state)
    : ui::Form(owner, "Form1", "brevaro", ui::Size{871, 488}, ui::BorderStyle::none), state_(state) {
  finish_create();
}

}  // namespace brevaro::client
