// A headless machine for the installer and the uninstaller: the in-memory
// file system with the installer's files in a download folder, the shell's
// known folders, recorded shell links and a scripted folder dialog.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/ini.h"
#include "install/layout.h"
#include "platform/headless/headless.h"
#include "platform/headless/headless_shell_links.h"
#include "setup/installation.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/headless/headless_backend.h"
#include "ui/headless/headless_folder_dialog.h"

namespace brevaro::setup::testing {

inline constexpr const char* kExeBytes = "MZ the brevaro executable";
inline constexpr const char* kTrayBytes = "MZ the tray program";
inline constexpr const char* kDesktop = "C:\\Users\\user\\Desktop";
inline constexpr const char* kStartMenu = "C:\\Users\\user\\Start Menu";
inline constexpr const char* kPrograms = "C:\\Users\\user\\Start Menu\\Programs";
inline constexpr const char* kUserPrograms = "C:\\Users\\user\\AppData\\Local\\Programs";

struct Machine {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  platform::headless::RecordingShellLinks links{sys.fs};
  ui::headless::ScriptedFolderDialog folders;
  std::unique_ptr<ui::Application> app;

  Machine() {
    platform::create_directories(sys.fs, kDesktop);
    platform::create_directories(sys.fs, kPrograms);
    links.folders[platform::SpecialFolder::desktop_directory] = kDesktop;
    links.folders[platform::SpecialFolder::programs] = kPrograms;
    links.folders[platform::SpecialFolder::start_menu] = kStartMenu;
    links.folders[platform::SpecialFolder::user_program_files] = kUserPrograms;
    const std::string tray = kTrayBytes;
    auto& res = sys.process.resources["TASKTRAY"];
    res.resize(tray.size());
    std::memcpy(res.data(), tray.data(), tray.size());
  }
  virtual ~Machine() { app.reset(); }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  template <class F>
  F& open() {
    app = std::make_unique<ui::Application>(backend, sys.ports());
    app->set_title("brevaro");
    F& form = app->create_form<F>(SetupPorts{links, folders});
    form.show();
    backend.advance(*app, 0);
    return form;
  }

  // A click as a user can make it: only on an enabled, visible button.
  void press(ui::Button& b) {
    ASSERT_TRUE(b.enabled()) << b.name() << " is disabled";
    backend.click(b);
    backend.advance(*app, 0);
  }

  std::string file(const std::string& path) const { return sys.fs.read_file(path).value_or("<missing>"); }
  std::optional<std::string> run_value() const {
    return platform::read_reg_string(sys.registry, install::kRunKey, install::kRunValue);
  }
  std::vector<std::string> box_texts() const {
    std::vector<std::string> out;
    for (const auto& b : backend.boxes()) out.push_back(b.text);
    return out;
  }
};

}  // namespace brevaro::setup::testing
