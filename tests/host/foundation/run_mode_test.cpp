#include <gtest/gtest.h>

#include <memory>

#include "base/winpath.h"
#include "client/program.h"
#include "client/run_mode.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "platform/headless/headless.h"
#include "platform/headless/headless_shell_links.h"
#include "ui/form.h"
#include "ui/headless/headless_backend.h"
#include "ui/headless/headless_folder_dialog.h"

namespace brevaro {
namespace {

using client::RunMode;

TEST(RunMode, FileNameAndSettingsFileDecide) {
  struct Case {
    const char* exe;
    bool settings;
    RunMode expected;
  } cases[] = {
      {"C:\\p\\brevaro.exe", false, RunMode::installer},
      {"C:\\p\\brevaro.exe", true, RunMode::client},
      {"C:\\p\\Uninstall.exe", false, RunMode::uninstaller},
      {"C:\\p\\UNINSTALL.EXE", true, RunMode::uninstaller},
      {"C:\\p\\uninstall.exe", true, RunMode::uninstaller},
      {"C:\\p\\Uninstall1.exe", false, RunMode::installer},
      {"C:\\p\\xUninstall.exe", true, RunMode::client},
      {"C:\\Uninstall.exe\\brevaro.exe", false, RunMode::installer},
  };
  for (const auto& c : cases) {
    platform::headless::HeadlessSystem sys;
    sys.process.exe_path = c.exe;
    if (c.settings) sys.fs.put(std::string(base::winpath::folder(c.exe)) + "Data\\Brevaro.ini", "[Default]\r\n");
    const auto d = client::decide_run_mode(sys.ports());
    EXPECT_EQ(d.mode, c.expected) << c.exe << " settings=" << c.settings;
    // Only the client takes the mutex.
    EXPECT_EQ(d.mutex != nullptr, c.expected == RunMode::client) << c.exe;
  }
}

TEST(RunMode, OneClientAtATime) {
  auto table = std::make_shared<platform::headless::MutexTable>();
  auto make = [&] {
    auto sys = std::make_unique<platform::headless::HeadlessSystem>(table);
    sys->fs.put("C:\\Program Files\\brevaro\\data\\BREVARO.INI", "");
    return sys;
  };
  auto first_sys = make();
  auto first = client::decide_run_mode(first_sys->ports());
  ASSERT_EQ(first.mode, RunMode::client);

  auto second_sys = make();
  EXPECT_EQ(client::decide_run_mode(second_sys->ports()).mode, RunMode::second_client);

  // The installer of another copy does not care.
  auto installer_sys = std::make_unique<platform::headless::HeadlessSystem>(table);
  EXPECT_EQ(client::decide_run_mode(installer_sys->ports()).mode, RunMode::installer);

  first.mutex.reset();  // the first process ends
  EXPECT_EQ(client::decide_run_mode(second_sys->ports()).mode, RunMode::client);
}

struct Program {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  client::ProcessState state;
  net::posix::EventLoop loop;
  net::posix::PosixSocketApi sockets{loop};
  platform::headless::RecordingShellLinks links{sys.fs};
  ui::headless::ScriptedFolderDialog folders;
  setup::SetupPorts setup_ports() { return setup::SetupPorts{links, folders}; }
};

TEST(RunProgram, CreatesExactlyOneFormWithItsCaption) {
  struct Case {
    const char* exe;
    bool settings;
    const char* caption;
  } cases[] = {{"C:\\p\\brevaro.exe", false, "brevaro program installation"},
               {"C:\\p\\Uninstall.exe", true, "brevaro program un-installer"},
               {"C:\\p\\brevaro.exe", true, "brevaro"}};
  for (const auto& c : cases) {
    Program p;
    p.sys.process.exe_path = c.exe;
    if (c.settings) p.sys.fs.put("C:\\p\\Data\\Brevaro.ini", "");
    ui::Application app(p.backend, p.sys.ports());
    p.backend.run_limit_ms = 1000;  // the loop would run for ever: look at it after a second
    client::run_program(app, p.state, p.sockets, p.setup_ports());
    EXPECT_EQ(app.title(), "brevaro");
    ASSERT_NE(app.main_form(), nullptr);
    EXPECT_EQ(app.main_form()->caption(), c.caption);
    const auto forms = p.backend.visible_forms();
    ASSERT_EQ(forms.size(), 1u) << c.exe;
    EXPECT_EQ(forms[0]->caption(), c.caption);
  }
}

TEST(RunProgram, SecondClientEndsAtOnceWithoutAForm) {
  Program p;
  p.sys.fs.put("C:\\Program Files\\brevaro\\Data\\Brevaro.ini", "");
  auto held = p.sys.mutexes.create("brevaroMutex", true);  // the first client
  ui::Application app(p.backend, p.sys.ports());
  EXPECT_EQ(client::run_program(app, p.state, p.sockets, p.setup_ports()), RunMode::second_client);
  EXPECT_EQ(app.main_form(), nullptr);
  EXPECT_TRUE(p.backend.visible_forms().empty());
  EXPECT_EQ(p.backend.now(), 0u);  // returned without waiting for anything
}

}  // namespace
}  // namespace brevaro
