// One installation's life through the installation contract: installed by
// the wizard into the user's own folder, started there as the client, asked
// to close by the uninstaller, removed with its entries.
#include "client/run_mode.h"
#include "install/apps_entry.h"
#include "install/close_request.h"
#include "install/layout.h"
#include "setup/install_form.h"
#include "setup/uninstall_form.h"
#include "setup_fixture.h"
#include "ui/timer.h"

namespace brevaro::setup::testing {
namespace {

TEST(InstallationLifecycle, InstallStartCloseAndUninstall) {
  Machine m;
  const std::string dest = std::string(kUserPrograms) + "\\brevaro\\";
  m.sys.process.exe_path = "C:\\Users\\user\\Downloads\\brevaro.exe";
  m.sys.fs.put(m.sys.process.exe_path, kExeBytes);

  // Installed with the wizard's defaults.
  auto& wizard = m.open<Tfrm_install>();
  m.press(*wizard.btn_next);
  m.press(*wizard.btn_next);
  ASSERT_EQ(wizard.btn_next->caption(), "&Finish");
  ASSERT_TRUE(install::is_installation(m.sys.fs, dest));
  EXPECT_TRUE(m.sys.registry.has_key(install::kUninstallKey));

  // Started from there it is the client, which holds its mutex...
  m.sys.process.exe_path = dest + std::string(install::kClientExe);
  const client::RunDecision started = client::decide_run_mode(m.sys.ports());
  EXPECT_EQ(started.mode, client::RunMode::client);
  EXPECT_EQ(client::decide_run_mode(m.sys.ports()).mode, client::RunMode::second_client);
  // ...and runs, with the tray program, watching for their close requests.
  for (const auto* markers : {&install::kClientMarkers, &install::kTrayMarkers})
    m.sys.fs.set_running(dest + std::string(markers->executable), true);
  install::CloseRequestWatch client_watch(m.sys.fs, dest, install::kClientMarkers);
  install::CloseRequestWatch tray_watch(m.sys.fs, dest, install::kTrayMarkers);

  // The uninstaller asks both to close; each answers at its next look and ends.
  m.sys.process.exe_path = dest + std::string(install::kUninstallerExe);
  m.sys.fs.set_running(m.sys.process.exe_path, true);
  auto& uninstaller = m.open<Tfrm_uninstall>();
  auto& running = m.app->make<ui::Timer>("", install::kClosePollMs);
  running.set_on_timer([&](ui::Timer&) {
    if (tray_watch.poll()) m.sys.fs.set_running(dest + "Tray.exe", false);
    if (client_watch.poll()) m.sys.fs.set_running(dest + "brevaro.exe", false);
  });
  m.press(*uninstaller.btn_next);
  EXPECT_TRUE(m.backend.boxes().empty());
  EXPECT_EQ(uninstaller.btn_next->caption(), "&Finish");
  EXPECT_EQ(m.file(dest + "BVClosed.dat"), "<missing>");  // answered, then removed with the plain files
  EXPECT_FALSE(install::is_installation(m.sys.fs, dest));
  for (const char* gone : {"brevaro.exe", "Tray.exe", "Data\\Brevaro.ini", "Close.dat", "TClose.dat"})
    EXPECT_FALSE(m.sys.fs.file_exists(dest + gone)) << gone;
  EXPECT_TRUE(m.sys.fs.file_exists(dest + "Uninstall.exe"));  // the running uninstaller stays
  EXPECT_FALSE(m.sys.registry.has_key(install::kUninstallKey));
  EXPECT_FALSE(m.run_value());
  EXPECT_FALSE(m.sys.fs.file_exists(std::string(kDesktop) + "\\brevaro.lnk"));
  EXPECT_FALSE(m.sys.fs.directory_exists(std::string(kPrograms) + "\\brevaro"));
}

}  // namespace
}  // namespace brevaro::setup::testing
