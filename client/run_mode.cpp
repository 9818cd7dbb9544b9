#include "client/run_mode.h"

#include "base/ascii.h"
#include "base/winpath.h"
#include "install/layout.h"

namespace brevaro::client {

bool is_uninstaller_name(std::string_view executable_path) {
  return base::upper(base::winpath::file_name(executable_path)) == "UNINSTALL.EXE";
}

RunDecision decide_run_mode(const platform::Ports& ports) {
  const std::string exe = ports.process.executable_path();
  RunDecision d;
  if (is_uninstaller_name(exe)) {
    d.mode = RunMode::uninstaller;
    return d;
  }
  const std::string settings = install::path_in(install::program_folder_of(exe), install::kSettingsFile);
  if (!ports.fs.file_exists(settings)) {
    d.mode = RunMode::installer;  // the installer takes no mutex
    return d;
  }
  platform::MutexResult m = ports.mutexes.create(install::kClientMutex, true);
  d.mutex = std::move(m.handle);
  d.mode = m.last_error == platform::kErrorAlreadyExists ? RunMode::second_client : RunMode::client;
  return d;
}

}  // namespace brevaro::client
