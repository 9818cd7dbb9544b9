// The Win32 platform ports and UI backend on real Windows API calls (run
// under Wine): file semantics, registry, mutexes, timers in the message loop
// and inside message boxes, and the application hook seeing those messages;
// region data, control teardown and painting that fails.
#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/region_data.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_system.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/timer.h"
#include "ui/web_browser.h"
#include "ui/win32/win32_backend.h"

namespace brevaro {
namespace {

// %TEMP%\brevaro-wine-test-<pid>\ in UTF-8; the buffer grows until the folder fits.
std::string temp_folder() {
  std::wstring buf(64, L'\0');
  for (DWORD n; (n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data())) >= buf.size();) buf.resize(n + 1);
  buf.resize(buf.find(L'\0'));
  const std::wstring dir = buf + L"brevaro-wine-test-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  return platform::win32::narrow(dir) + "\\";
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

// String values read back as their text alone (as on the headless backend),
// also when another program stored them without a terminator.
TEST(Win32Registry, StringsReadWithoutTheirTerminator) {
  platform::win32::Win32Registry reg;
  const std::string key = "\\Software\\brevaro-wine-test";
  ASSERT_TRUE(reg.open_key(key, true));
  const struct {
    const char* name;
    platform::RegType type;
    std::string text;
  } written[] = {
      {"Sz", platform::RegType::sz, "proxy:8080"},
      {"Expand", platform::RegType::expand_sz, "%TEMP%\\x"},
      {"Empty", platform::RegType::sz, ""},
  };
  for (const auto& w : written) {
    SCOPED_TRACE(w.name);
    reg.write(key, w.name, platform::RegValue{w.type, w.text});
    const auto got = reg.read(key, w.name);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->type, w.type);
    EXPECT_EQ(got->data, w.text);
  }
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\brevaro-wine-test", 0, KEY_WRITE, &k), ERROR_SUCCESS);
  const platform::win32::UniqueKey owned{k};
  ASSERT_EQ(RegSetValueExA(k, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
  EXPECT_EQ(reg.read(key, "Bare")->data, "abc");
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
  const int id = form.add_window_hook(
      [&](std::uint32_t m, std::uintptr_t, std::intptr_t lp, const std::function<std::intptr_t()>& pass_on) {
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
  const platform::win32::UniqueRegion got{CreateRectRgn(0, 0, 0, 0)};
  ASSERT_EQ(GetWindowRgn(reinterpret_cast<HWND>(form.handle()), got.get()), COMPLEXREGION);
  const platform::win32::UniqueRegion want{CreateRectRgn(0, 0, 10, 10)};
  const platform::win32::UniqueRegion second{CreateRectRgn(20, 0, 25, 10)};
  CombineRgn(want.get(), want.get(), second.get(), RGN_OR);
  EXPECT_TRUE(EqualRgn(got.get(), want.get()));
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

// The one RGNDATA builder: the header counts the rectangles that are not
// empty, gives their size and their bounding box, and the region is their union.
TEST(Win32RegionData, HeaderCountsSizesAndBoundsTheRectangles) {
  const struct {
    const char* name;
    std::vector<RECT> rects;
    RECT bound;
    DWORD count;
  } cases[] = {
      {"none", {}, {0, 0, 0, 0}, 0},
      {"one", {{1, 2, 3, 4}}, {1, 2, 3, 4}, 1},
      {"left of and above the origin", {{-30, -20, -10, -5}, {-8, -4, -2, -1}}, {-30, -20, -2, -1}, 2},
      {"empty ones left out", {{5, 5, 5, 9}, {0, 0, 4, 4}, {7, 7, 9, 7}}, {0, 0, 4, 4}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::byte> block = platform::win32::region_data(c.rects);
    ASSERT_EQ(block.size(), sizeof(RGNDATAHEADER) + c.count * sizeof(RECT));
    RGNDATAHEADER head{};
    std::memcpy(&head, block.data(), sizeof head);
    EXPECT_EQ(head.dwSize, sizeof(RGNDATAHEADER));
    EXPECT_EQ(head.iType, static_cast<DWORD>(RDH_RECTANGLES));
    EXPECT_EQ(head.nCount, c.count);
    EXPECT_EQ(head.nRgnSize, c.count * sizeof(RECT));
    const auto edges = [](const RECT& r) { return std::tuple(r.left, r.top, r.right, r.bottom); };
    EXPECT_EQ(edges(head.rcBound), edges(c.bound));

    const platform::win32::UniqueRegion got = platform::win32::region_from_rects(c.rects);
    ASSERT_TRUE(got);
    const platform::win32::UniqueRegion want{CreateRectRgn(0, 0, 0, 0)};
    for (const RECT& r : c.rects) {
      const platform::win32::UniqueRegion one{CreateRectRgn(r.left, r.top, r.right, r.bottom)};
      CombineRgn(want.get(), want.get(), one.get(), RGN_OR);
    }
    EXPECT_TRUE(EqualRgn(got.get(), want.get()));
  }
}

// Stands in for the EDIT class's own procedure: records the destroy messages
// that reach it.
WNDPROC g_edit_proc = nullptr;
std::vector<UINT>* g_edit_seen = nullptr;

LRESULT CALLBACK recording_edit_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  if (g_edit_seen && (message == WM_DESTROY || message == WM_NCDESTROY)) g_edit_seen->push_back(message);
  return CallWindowProcA(g_edit_proc, hwnd, message, wp, lp);
}

WNDPROC set_edit_class_proc(HWND parent, WNDPROC proc) {
  const platform::win32::UniqueWindow probe{
      CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, parent, nullptr, GetModuleHandleA(nullptr), nullptr)};
  if (!probe) return nullptr;
  return reinterpret_cast<WNDPROC>(SetClassLongPtrA(probe.get(), GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

// A subclassed standard control is destroyed through its own procedure, which
// frees what the control keeps on WM_DESTROY and WM_NCDESTROY.
TEST(Win32Controls, SubclassedControlsGetTheirOwnDestroyMessages) {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  auto& form = app.create_form<ui::Form>("f", "teardown test", ui::Size{200, 100}, ui::BorderStyle::none);
  const HWND parent = reinterpret_cast<HWND>(form.handle());
  g_edit_proc = set_edit_class_proc(parent, &recording_edit_proc);
  ASSERT_TRUE(g_edit_proc);
  std::vector<UINT> seen;
  g_edit_seen = &seen;
  auto& memo = form.make<ui::Memo>("mem", &form, ui::Rect{0, 0, 100, 50});
  EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(memo.handle())));
  form.free_component(memo);
  g_edit_seen = nullptr;
  set_edit_class_proc(parent, g_edit_proc);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
}

// A windowless control whose first painting fails.
class FailingPaint final : public ui::Control {
 public:
  using ui::Control::Control;
  void paint(ui::Canvas&) override {
    if (++paints == 1) throw std::runtime_error("Painting failed");
  }
  int paints = 0;
};

// The exception reaches the application's standard error box, as one from
// any other event does, and the painting still ends.
TEST(Win32Paint, AnExceptionFromPaintingReachesTheApplication) {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  app.set_title("paint test");
  auto& form = app.create_form<ui::Form>("f", "painted", ui::Size{200, 100}, ui::BorderStyle::none);
  auto& failing = form.make<FailingPaint>("failing", &form, ui::Rect{10, 10, 50, 50});
  // Answers the error box the way a user would.
  auto& answer = app.make<ui::Timer>("answer", 50);
  answer.set_on_timer([&](ui::Timer&) {
    if (HWND box = FindWindowA("#32770", "paint test")) PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  form.show();
  const HWND window = reinterpret_cast<HWND>(form.handle());
  InvalidateRect(window, nullptr, FALSE);
  try {
    UpdateWindow(window);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the exception left the window procedure: " << e.what();
  }
  EXPECT_EQ(app.errors_shown(), std::vector<std::string>{"Painting failed."});
  EXPECT_GE(failing.paints, 1);
  app.process_messages();
  RECT pending{};
  EXPECT_FALSE(GetUpdateRect(window, &pending, FALSE));
}

// Refuses to create the window that hosts the browser control.
LRESULT CALLBACK refuse_browser_host(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    char cls[32] = {};
    GetClassNameA(reinterpret_cast<HWND>(wp), cls, sizeof cls);
    if (std::string_view(cls) == "AtlAxWin") return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// A browser control whose creation fails after atl.dll was loaded gives the
// library back.
TEST(Win32Browser, AFailedCreationGivesAtlDllBack) {
  if (GetModuleHandleA("atl.dll")) GTEST_SKIP() << "atl.dll is loaded in this process already";
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  auto& form = app.create_form<ui::Form>("f", "browser test", ui::Size{200, 100}, ui::BorderStyle::none);
  {
    const platform::win32::UniqueHook refuse{
        SetWindowsHookExA(WH_CBT, &refuse_browser_host, nullptr, GetCurrentThreadId())};
    ASSERT_TRUE(refuse);
    EXPECT_THROW(form.make<ui::WebBrowser>("HTML1", &form, ui::Rect{0, 0, 100, 100}), std::runtime_error);
  }
  EXPECT_EQ(GetModuleHandleA("atl.dll"), nullptr);
}

}  // namespace
}  // namespace brevaro
