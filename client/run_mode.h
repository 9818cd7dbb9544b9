// Which of its three roles the client's executable plays: the uninstaller
// when its file is named Uninstall.exe (any case), otherwise the client when
// the settings file exists beside it and no other client runs, otherwise the
// installer. There are no command-line arguments.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace brevaro::client {

enum class RunMode { client, installer, uninstaller, second_client };


struct RunDecision {
  RunMode mode = RunMode::installer;
  // The client's single-instance mutex, held for the life of the process.
  std::unique_ptr<platform::MutexHandle> mutex;
};

bool is_uninstaller_name(std::string_view executable_path);
RunDecision decide_run_mode(const platform::Ports& ports);

}  // namespace brevaro::client
