#include "tray/program.h"

#include "install/layout.h"
#include "tray/contacts_form.h"
#include "tray/main_form.h"

namespace brevaro::tray {

bool run_program(ui::Application& app, TrayPlatform& platform, menu::MenuView& menu_view) {
  // The mutex stays ours until the forms are gone (and the icon with them).
  const platform::MutexResult mutex = app.ports().mutexes.create(install::kTrayMutex, true);
  if (mutex.last_error == platform::kErrorAlreadyExists) return false;
  app.set_title("brevaro menu");
  platform.set_application_title(app.title());
  auto& main = app.create_form<TfrmMain>(platform, menu_view);
  auto& contacts = app.create_form<TfrmContacts>(platform);
  main.frmContacts = &contacts;
  app.run();
  main.frmContacts = nullptr;
  app.free_component(contacts);
  app.free_component(main);
  return true;
}

}  // namespace brevaro::tray
