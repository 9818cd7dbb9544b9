// The Win32 platform ports and UI backend on real Windows API calls (run
// under Wine): file semantics, registry, mutexes, timers in the message loop
// and inside message boxes, and the application hook seeing those messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/win32_system.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/timer.h"
#include "ui/win32/win32_backend.h"

namespace brevaro {
namespace {

std::string temp_folder() {
  char buf[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, buf);
  std::string dir = std::string(buf) + "brevaro-wine-test-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\";
}

TEST(Win32Files, AtomicWriteInUseAndRunningExecutable) {
  platform::win32::Win32FileSystem fs;
  const std::string dir = temp_folder();
  const std::string ini = dir + "Brevaro.ini";
  platform::write_file_atomically(fs, ini, "[Default]\r\nTop=1\r\n");
  EXPECT_EQ(fs.read_file(ini), "[Default]\r\nTop=1\r\n");
  EXPECT_TRUE(fs.file_exists(dir + "BREVARO.INI"));  // names ignore case
  EXPECT_FALSE(fs.file_exists(ini + ".tmp"));

  {
    // Another program holds the file open without sharing: the write fails
    // and the old contents stay.
    HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_THROW(platform::write_file_atomically(fs, ini, "new"), platform::FileError);
    CloseHandle(held);
  }
  EXPECT_EQ(fs.read_file(ini), "[Default]\r\nTop=1\r\n");

  // The running test program itself cannot be deleted.
  platform::win32::Win32Process process;
  try {
    fs.delete_file(process.executable_path());
    ADD_FAILURE() << "a running executable was deleted";
  } catch (const platform::FileError& e) {
    EXPECT_EQ(e.kind(), platform::FileErrorKind::access_denied);
  }
  platform::create_directories(fs, dir + "a\\b\\c");
  EXPECT_TRUE(fs.directory_exists(dir + "a\\b\\c"));
}

TEST(Win32Registry, TypedReads) {
  platform::win32::Win32Registry reg;
  const std::string key = "\\Software\\brevaro-wine-test";
  ASSERT_TRUE(reg.open_key(key, true));
  reg.write(key, "Dword", platform::RegValue{platform::RegType::dword, std::string("\x05\0\0\0", 4)});
  reg.write(key, "Text", platform::RegValue{platform::RegType::sz, "proxy:8080"});
  reg.write(key, "Binary", platform::RegValue{platform::RegType::binary, std::string("\1\0\0\0", 4)});
  EXPECT_EQ(platform::read_reg_integer(reg, key, "Dword"), 5);
  EXPECT_EQ(platform::read_reg_string(reg, key, "Text"), "proxy:8080");
  EXPECT_EQ(platform::read_reg_integer(reg, key, "Binary"), std::nullopt);
  EXPECT_EQ(platform::read_reg_string(reg, key, "Missing"), std::nullopt);
  EXPECT_TRUE(reg.delete_value(key, "Text"));
  EXPECT_EQ(platform::read_reg_string(reg, key, "Text"), std::nullopt);
}

TEST(Win32Mutex, SecondCreateSeesTheFirst) {
  platform::win32::Win32Mutexes mutexes;
  const std::string name = "brevaroWineTest" + std::to_string(GetCurrentProcessId());
  auto first = mutexes.create(name, true);
  ASSERT_TRUE(first.handle);
  EXPECT_NE(first.last_error, platform::kErrorAlreadyExists);
  auto second = mutexes.create(name, true);
  EXPECT_EQ(second.last_error, platform::kErrorAlreadyExists);
  second.handle.reset();
  first.handle.reset();
  EXPECT_NE(mutexes.create(name, true).last_error, platform::kErrorAlreadyExists);
}

TEST(Win32Loop, TimersTickInTheLoopAndInsideMessageBoxesWhereTheHookSeesThem) {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  app.set_title("brevaro test");
  int hooked_timers = 0;
  app.set_on_message([&](ui::Message& m, bool&) {
    if (m.message == ui::msg::timer) ++hooked_timers;
  });

  int ticks = 0;
  int ticks_in_box = 0;
  bool in_box = false;
  auto& t = app.make<ui::Timer>("t", 30);
  t.set_on_timer([&](ui::Timer& self) {
    self.set_enabled(false);
    ++ticks;
    if (in_box && ++ticks_in_box == 3) {
      // Answer the box the way a user would.
      if (HWND box = FindWindowA("#32770", "brevaro test box")) PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    self.set_enabled(true);
  });
  auto& opener = app.make<ui::Timer>("opener", 200);
  opener.set_on_timer([&](ui::Timer& self) {
    self.set_enabled(false);
    in_box = true;
    app.message_box("Waiting", "brevaro test box", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
    in_box = false;
    app.terminate();
  });
  auto& guard = app.make<ui::Timer>("guard", 20000);
  guard.set_on_timer([&](ui::Timer&) { app.terminate(); });
  backend.run(app);
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(ticks_in_box, 3);
  EXPECT_GE(hooked_timers, ticks);
}

TEST(Win32Form, WindowHooksSeeSentMessagesAndRegionsApply) {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  auto& form = app.create_form<ui::Form>("f", "hook test", ui::Size{200, 100}, ui::BorderStyle::none);
  int seen = 0;
  const int id = form.add_window_hook([&](std::uint32_t m, std::uintptr_t, std::intptr_t lp, const std::function<std::intptr_t()>& pass_on) {
    if (m == 2240) {
      ++seen;
      return static_cast<std::intptr_t>(lp * 2);
    }
    return pass_on();
  });
  EXPECT_EQ(form.send_message(2240, 0, 21), 42);
  EXPECT_EQ(seen, 1);
  form.remove_window_hook(id);
  EXPECT_EQ(form.send_message(2240, 0, 21), 0);

  const std::vector<ui::Rect> rects{{0, 0, 10, 10}, {20, 0, 5, 10}};
  form.set_window_region(&rects, false);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_EQ(GetWindowRgn(reinterpret_cast<HWND>(form.handle()), got), COMPLEXREGION);
  HRGN want = CreateRectRgn(0, 0, 10, 10);
  HRGN second = CreateRectRgn(20, 0, 25, 10);
  CombineRgn(want, want, second, RGN_OR);
  EXPECT_TRUE(EqualRgn(got, want));
  DeleteObject(got);
  DeleteObject(want);
  DeleteObject(second);
}

}  // namespace
}  // namespace brevaro
