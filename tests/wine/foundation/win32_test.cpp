// The Win32 platform ports and UI backend on real Windows API calls (run
// under Wine): file semantics, registry, mutexes, timers in the message loop
// and inside message boxes, and the application hook seeing those messages.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/win32/win32_system.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/timer.h"
#include "ui/web_browser.h"
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

// The system's WebBrowser control hosted in a form: it is created, its
// navigation reaches the HTTP server (this Wine has no HTML engine, so no
// page ever completes), and the form with the control goes away cleanly.
TEST(Win32Browser, NavigationReachesTheServerAndTeardownIsClean) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  WSADATA wsa{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(listener, INVALID_SOCKET);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  int len = sizeof addr;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/brevaro/url.asp?url=accounts";

  std::string request;
  {
    platform::win32::Win32System sys;
    ui::win32::Win32Backend backend;
    auto app = std::make_unique<ui::Application>(backend, sys.ports());
    auto& form = app->create_form<ui::Form>("f", "browser test", ui::Size{400, 300}, ui::BorderStyle::none);
    auto& browser = form.make<ui::WebBrowser>("HTML1", &form, ui::Rect{10, 10, 380, 280});
    form.show();
    browser.Navigate(url);

    // The control fetches on its own threads; the GUI thread keeps pumping.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    SOCKET peer = INVALID_SOCKET;
    while (std::chrono::steady_clock::now() < deadline && request.find("\r\n") == std::string::npos) {
      app->process_messages();
      fd_set fds;
      FD_ZERO(&fds);
      FD_SET(peer == INVALID_SOCKET ? listener : peer, &fds);
      timeval tv{0, 20000};
      if (select(0, &fds, nullptr, nullptr, &tv) != 1) continue;
      if (peer == INVALID_SOCKET) {
        peer = accept(listener, nullptr, nullptr);
        continue;
      }
      char buf[1024];
      const int n = recv(peer, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    if (peer != INVALID_SOCKET) closesocket(peer);

    const auto start = std::chrono::steady_clock::now();
    form.close();
    app->process_messages();
    app.reset();  // the form and its control go with the application
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  }
  closesocket(listener);
  WSACleanup();
  OleUninitialize();
  EXPECT_EQ(request.rfind("GET /brevaro/url.asp?url=accounts HTTP/1.", 0), 0u) << request;
}

}  // namespace
}  // namespace brevaro
