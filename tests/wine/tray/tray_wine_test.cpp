// The tray icon on the real shell (run under Wine with a display): the
// icon's window hears the taskbar's re-creation broadcast and adds the icon
// again, the shell takes the record, and the application window's filter
// sees a minimise.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/win32/win32_system.h"
#include "tray/cool_tray_icon.h"
#include "tray/win32/win32_tray_platform.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/win32/win32_backend.h"

namespace brevaro::tray {
namespace {

// The real platform, with every shell call and its answer noted.
class NotingPlatform final : public TrayPlatform {
 public:
  struct Call {
    NotifyAction action;
    bool accepted;
  };
  std::vector<Call> calls;
  win32::Win32TrayPlatform real;

  NotingPlatform() { icon_hide_ = real.icon_hide_state(); }
  bool notify_icon(NotifyAction a, const NotifyIconRecord& r) override {
    const bool ok = real.notify_icon(a, r);
    calls.push_back(Call{a, ok});
    return ok;
  }
  std::uint32_t taskbar_created_message() override { return real.taskbar_created_message(); }
  std::unique_ptr<MessageWindow> create_message_window(WindowFilter p) override {
    return real.create_message_window(std::move(p));
  }
  std::shared_ptr<const IconImage> load_icon(std::string_view n, int s) override { return real.load_icon(n, s); }
  std::uintptr_t application_window() override { return real.application_window(); }
  void set_application_title(std::string_view t) override { real.set_application_title(t); }
  std::unique_ptr<WindowSubclass> subclass_application_window(WindowFilter f) override {
    return real.subclass_application_window(std::move(f));
  }
  void place_form(ui::Form& f, const FormPlacement& p) override { real.place_form(f, p); }
  void show_window(std::uintptr_t w, ShowCommand c) override { real.show_window(w, c); }
  std::uint32_t ex_style(std::uintptr_t w) override { return real.ex_style(w); }
  void set_ex_style(std::uintptr_t w, std::uint32_t s) override { real.set_ex_style(w, s); }
  void set_foreground(std::uintptr_t w) override { real.set_foreground(w); }
  void post_message(std::uintptr_t w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override {
    real.post_message(w, m, wp, lp);
  }
  std::optional<ui::Point> cursor_pos() override { return real.cursor_pos(); }
  ShiftState key_state() override { return real.key_state(); }
  void set_current_directory(std::string_view p) override { real.set_current_directory(p); }
};

struct RealTray : ::testing::Test {
  platform::win32::Win32System system;
  ui::win32::Win32Backend backend;
  NotingPlatform platform;
  std::unique_ptr<ui::Application> app;
  ui::Form* form = nullptr;
  TCoolTrayIcon* icon = nullptr;

  void SetUp() override {
    if (!GetSystemMetrics(SM_CXSCREEN)) GTEST_SKIP() << "needs a display";
    app = std::make_unique<ui::Application>(backend, system.ports());
    form = &app->create_form<ui::Form>("Form1", "Form1", ui::Size{100, 50});
    icon = &form->make<TCoolTrayIcon>("tray", platform);
    icon->set_hint("brevaro wine test");
    icon->set_show_hint(true);
    form->notify_loaded();
  }
  void TearDown() override { app.reset(); }
  void pump(int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (GetTickCount() < end) {
      app->process_messages();
      Sleep(10);
    }
  }
  std::size_t adds() const {
    std::size_t n = 0;
    for (const auto& c : platform.calls) n += c.action == NotifyAction::add;
    return n;
  }
};

TEST_F(RealTray, TheShellTakesTheIconAndANewTaskbarGetsItBack) {
  ASSERT_FALSE(platform.calls.empty());
  EXPECT_EQ(platform.calls.front().action, NotifyAction::add);
  EXPECT_TRUE(platform.calls.front().accepted);
  ASSERT_EQ(adds(), 1u);
  // What the shell sends to every top-level window once it has re-created
  // the taskbar.
  const UINT created = RegisterWindowMessageA("TaskbarCreated");
  ASSERT_NE(created, 0u);
  PostMessageA(HWND_BROADCAST, created, 0, 0);
  pump(500);
  EXPECT_EQ(adds(), 2u);  // (this taskbar was not really re-created: it refuses the second add of the same icon)

  // A hidden icon stays hidden.
  icon->set_icon_visible(false);
  PostMessageA(HWND_BROADCAST, created, 0, 0);
  pump(500);
  EXPECT_EQ(adds(), 2u);
}

TEST_F(RealTray, EndOfSessionIsAllowedAndOtherMessagesGetDefaultHandling) {
  HWND w = reinterpret_cast<HWND>(icon->message_window());
  ASSERT_TRUE(IsWindow(w));
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_EQ(GetParent(w), nullptr);  // top-level: it hears broadcasts
  EXPECT_EQ(SendMessageA(w, WM_QUERYENDSESSION, 0, 0), 1);
  char text[8] = "x";
  EXPECT_EQ(SendMessageA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 0);
}

TEST_F(RealTray, MinimisingTheApplicationWindowHidesItToTheTray) {
  icon->MinimizeToTray = true;
  form->show();
  HWND application = reinterpret_cast<HWND>(platform.application_window());
  ShowWindow(application, SW_SHOWNA);
  SendMessageA(application, WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_FALSE(IsWindowVisible(application));
  EXPECT_FALSE(form->visible());
  EXPECT_EQ(platform.calls.back().action, NotifyAction::add);
}

TEST_F(RealTray, IconHideMakesTheApplicationWindowAToolWindow) {
  form->make<TIconHide>("IconHide1", platform);
  HWND application = reinterpret_cast<HWND>(platform.application_window());
  const LONG_PTR ex = GetWindowLongPtrA(application, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(IsWindowVisible(application));
}

}  // namespace
}  // namespace brevaro::tray
