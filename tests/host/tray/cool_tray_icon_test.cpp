#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "menu/headless/recording_menu_view.h"
#include "platform/headless/headless.h"
#include "tray/cool_tray_icon.h"
#include "tray/headless/headless_tray_platform.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/headless/headless_backend.h"

namespace brevaro::tray {
namespace {

using headless::HeadlessTrayPlatform;

// One icon on a bare form, with every event written to a log.
struct TrayIcon : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  HeadlessTrayPlatform platform;
  menu::headless::RecordingMenuView view;
  std::unique_ptr<ui::Application> app;
  ui::Form* form = nullptr;
  menu::TPopupMenu2000* menu = nullptr;
  TCoolTrayIcon* icon = nullptr;
  std::vector<std::string> log;

  void SetUp() override {
    app = std::make_unique<ui::Application>(backend, sys.ports());
    form = &app->create_form<ui::Form>("Form1", "Form1", ui::Size{100, 50});
    menu = &form->make<menu::TPopupMenu2000>("popup", view);
    menu->add_item("First1", "First").set_on_click([this](menu::TMenuItem2000&) { log.push_back("first"); });
    auto& def = menu->add_item("Default1", "Default");
    def.set_default(true);
    def.set_on_click([this](menu::TMenuItem2000&) { log.push_back("default"); });
    icon = &form->make<TCoolTrayIcon>("tray", platform);
    icon->set_popup_menu(menu);
    icon->OnClick = [this](ui::Component&) { log.push_back("click"); };
    icon->OnDblClick = [this](ui::Component&) { log.push_back("dblclick"); };
    const auto button = [](ui::MouseButton b) {
      return b == ui::MouseButton::left ? "left" : b == ui::MouseButton::right ? "right" : "middle";
    };
    icon->OnMouseDown = [this, button](ui::Component&, ui::MouseButton b, ShiftState, int, int) {
      log.push_back(std::string("down ") + button(b));
    };
    icon->OnMouseUp = [this, button](ui::Component&, ui::MouseButton b, ShiftState, int, int) {
      log.push_back(std::string("up ") + button(b));
    };
    icon->OnMouseMove = [this](ui::Component&, ShiftState, int, int) { log.push_back("move"); };
    view.while_open = [this] { log.push_back("menu"); };
    form->notify_loaded();
  }
  void TearDown() override { app.reset(); }

  void callback(std::uint32_t mouse_message) {
    platform.send(icon->message_window(), kTrayCallbackMessage, 1, static_cast<std::intptr_t>(mouse_message));
  }
  std::vector<NotifyAction> actions() const {
    std::vector<NotifyAction> out;
    for (const auto& c : platform.shell_calls) out.push_back(c.action);
    return out;
  }
};

TEST_F(TrayIcon, CallbackMessagesBecomeEventsInOrder) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> messages;
    bool left_popup;
    bool enabled;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"move", {wm::mouse_move}, false, true, {"move"}},
      {"left press", {wm::lbutton_down}, false, true, {"down left"}},
      {"left click", {wm::lbutton_down, wm::lbutton_up}, false, true, {"down left", "click", "up left"}},
      {"release without a press", {wm::lbutton_up}, false, true, {"up left"}},
      {"second release",
       {wm::lbutton_down, wm::lbutton_up, wm::lbutton_up},
       false,
       true,
       {"down left", "click", "up left", "up left"}},
      {"double-click", {wm::lbutton_dblclk}, false, true, {"dblclick", "default"}},
      {"double-click, left pop-up", {wm::lbutton_dblclk}, true, true, {"dblclick"}},
      {"left press, left pop-up", {wm::lbutton_down}, true, true, {"down left", "menu"}},
      {"right press", {wm::rbutton_down}, false, true, {"down right", "menu"}},
      {"right press, left pop-up", {wm::rbutton_down}, true, true, {"down right", "menu"}},
      {"right release", {wm::rbutton_up}, false, true, {"up right"}},
      {"right double-click", {wm::rbutton_dblclk}, false, true, {}},
      {"middle", {wm::mbutton_down, wm::mbutton_up}, false, true, {"down middle", "up middle"}},
      {"disabled",
       {wm::mouse_move, wm::lbutton_down, wm::lbutton_up, wm::lbutton_dblclk, wm::rbutton_down},
       false,
       false,
       {}},
  };
  for (const Case& c : cases) {
    log.clear();
    icon->LeftPopup = c.left_popup;
    icon->Enabled = c.enabled;
    for (std::uint32_t m : c.messages) callback(m);
    EXPECT_EQ(log, c.events) << c.name;
    callback(wm::mouse_move);  // nothing carries over: a release after this is no click
  }
}

TEST_F(TrayIcon, EventsCarryTheCursorAndKeys) {
  platform.cursor = ui::Point{1234, 987};
  platform.keys = ssShift | ssCtrl;
  ShiftState shift = 0;
  int x = 0, y = 0;
  icon->OnMouseDown = [&](ui::Component&, ui::MouseButton, ShiftState s, int px, int py) {
    shift = s;
    x = px;
    y = py;
  };
  callback(wm::mbutton_down);
  EXPECT_EQ(shift, ssShift | ssCtrl | ssMiddle);
  EXPECT_EQ(x, 1234);
  EXPECT_EQ(y, 987);
}

TEST_F(TrayIcon, TheMenuOpensAtTheCursorWithTheMainFormInFront) {
  platform.cursor = ui::Point{1200, 1010};
  callback(wm::rbutton_down);
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].at, (ui::Point{1200, 1010}));
  EXPECT_EQ(platform.foreground, std::vector<std::uintptr_t>{form->handle()});
  ASSERT_EQ(platform.posted.size(), 1u);
  EXPECT_EQ(platform.posted[0].window, form->handle());
  EXPECT_EQ(platform.posted[0].message, wm::null);
  EXPECT_EQ(menu->popup_component(), icon);

  // No cursor, no menu without automatic pop-up, a freed menu: nothing opens.
  platform.cursor.reset();
  callback(wm::rbutton_down);
  platform.cursor = ui::Point{1, 1};
  menu->auto_popup = false;
  callback(wm::rbutton_down);
  callback(wm::lbutton_dblclk);
  form->free_component(*menu);
  EXPECT_EQ(icon->popup_menu(), nullptr);
  callback(wm::rbutton_down);
  callback(wm::lbutton_dblclk);
  EXPECT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"down right", "menu", "down right", "down right", "dblclick", "down right",
                                           "dblclick"}));
}

TEST_F(TrayIcon, AChosenItemRunsFromTheMessageLoop) {
  view.choose_next("First");
  callback(wm::rbutton_down);
  EXPECT_EQ(log, (std::vector<std::string>{"down right", "menu"}));
  backend.advance(*app, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"down right", "menu", "first"}));
}

TEST(TrayTip, HintIsCutToTheTipField) {
  const std::string long_hint(70, 'h');
  struct Case {
    std::string hint;
    bool show;
    std::string tip;
  };
  const std::vector<Case> cases = {
      {long_hint, true, std::string(63, 'h')},
      {std::string(63, 'x'), true, std::string(63, 'x')},
      {std::string(62, 'y'), true, std::string(62, 'y')},
      {"brevaro", false, ""},
      {"", true, ""},
  };
  for (const Case& c : cases) {
    const auto tip = tip_for(c.hint, c.show);
    EXPECT_EQ(std::string(tip.data()), c.tip) << c.hint.size() << " " << c.show;
    EXPECT_EQ(tip[kTipSize - 1], '\0');
  }
}

TEST_F(TrayIcon, SettersSendTheShellCalls) {
  // Loading added the icon, then updated it.
  EXPECT_EQ(actions(), (std::vector<NotifyAction>{NotifyAction::add, NotifyAction::modify}));
  const NotifyIconRecord& r = platform.shell_calls.front().record;
  EXPECT_EQ(r.window, icon->message_window());
  EXPECT_NE(r.window, 0u);
  EXPECT_EQ(r.id, 1u);
  EXPECT_EQ(r.flags, 7u);
  EXPECT_EQ(r.callback_message, 0x0800u);

  platform.shell_calls.clear();
  icon->set_hint(std::string(80, 'a'));
  EXPECT_EQ(platform.shell_calls.back().record.tip_text(), "");  // ShowHint is off by default
  icon->set_show_hint(true);
  EXPECT_EQ(platform.shell_calls.back().record.tip_text(), std::string(63, 'a'));
  icon->set_icon(platform.load_icon("MAINICON", 32));
  EXPECT_EQ(platform.shell_calls.back().record.icon, icon->icon()->handle());
  icon->set_icon_visible(false);
  EXPECT_FALSE(icon->icon_visible());
  icon->set_icon_visible(true);
  EXPECT_EQ(actions(), (std::vector<NotifyAction>{NotifyAction::modify, NotifyAction::modify, NotifyAction::modify,
                                                  NotifyAction::remove, NotifyAction::add}));
}

TEST_F(TrayIcon, ANewTaskbarGetsTheIconBack) {
  platform.shell_calls.clear();
  platform.send(icon->message_window(), HeadlessTrayPlatform::kTaskbarCreated, 0, 0);
  EXPECT_EQ(actions(), std::vector<NotifyAction>{NotifyAction::add});
  icon->set_icon_visible(false);
  platform.shell_calls.clear();
  platform.send(icon->message_window(), HeadlessTrayPlatform::kTaskbarCreated, 0, 0);
  EXPECT_TRUE(platform.shell_calls.empty());
}

TEST_F(TrayIcon, EndOfSessionIsAllowed) {
  EXPECT_EQ(platform.send(icon->message_window(), wm::query_end_session, 0, 0), 1);
  EXPECT_EQ(platform.send(icon->message_window(), 0x0401, 0, 0), 0);  // default handling
}

TEST_F(TrayIcon, MinimisingHidesTheApplicationToTheTray) {
  form->show();
  platform.shell_calls.clear();
  platform.send(HeadlessTrayPlatform::kApplicationWindow, wm::size, wm::size_minimized, 0);
  EXPECT_TRUE(platform.application_visible);  // MinimizeToTray is off
  EXPECT_TRUE(form->visible());

  icon->set_icon_visible(false);
  icon->MinimizeToTray = true;
  platform.send(HeadlessTrayPlatform::kApplicationWindow, wm::size, 0 /* restored */, 0);
  EXPECT_TRUE(platform.application_visible);
  platform.send(HeadlessTrayPlatform::kApplicationWindow, wm::size, wm::size_minimized, 0);
  EXPECT_FALSE(platform.application_visible);
  EXPECT_FALSE(form->visible());
  EXPECT_TRUE(icon->icon_visible());
  EXPECT_EQ(actions(), (std::vector<NotifyAction>{NotifyAction::remove, NotifyAction::add}));
}

TEST_F(TrayIcon, FreeingTheIconRemovesItAndItsFilter) {
  icon->MinimizeToTray = true;
  const std::uintptr_t window = icon->message_window();
  form->free_component(*icon);
  EXPECT_EQ(platform.shell_calls.back().action, NotifyAction::remove);
  EXPECT_TRUE(platform.message_windows().empty());
  form->show();
  platform.send(HeadlessTrayPlatform::kApplicationWindow, wm::size, wm::size_minimized, 0);
  EXPECT_TRUE(platform.application_visible);
  EXPECT_EQ(platform.send(window, wm::query_end_session, 0, 0), 0);
}

TEST_F(TrayIcon, IconsCycleThroughTheListAndWrap) {
  auto& list = form->make<TIconList>("IconList1");
  for (const char* name : {"MAINICON", "MAINICON", "MAINICON"}) list.icons.push_back(platform.load_icon(name, 16));
  std::vector<std::size_t> steps;
  icon->OnCycle = [&](ui::Component&, std::size_t i) { steps.push_back(i); };
  icon->set_icon_list(&list);
  icon->set_cycle_interval(100);
  icon->set_cycle_icons(true);
  backend.advance(*app, 450);
  EXPECT_EQ(steps, (std::vector<std::size_t>{0, 1, 2, 0}));
  EXPECT_EQ(icon->icon(), list.icons[0]);
  icon->set_cycle_icons(true);  // starts again at the first icon
  form->free_component(list);
  EXPECT_EQ(icon->icon_list(), nullptr);
  backend.advance(*app, 300);
  EXPECT_EQ(steps.size(), 4u);
}

TEST_F(TrayIcon, IconHideMakesTheApplicationWindowAToolWindowOncePerProgram) {
  const std::uint32_t original = platform.ex_style(HeadlessTrayPlatform::kApplicationWindow);
  auto& hide = form->make<TIconHide>("IconHide1", platform);
  EXPECT_TRUE(hide.hidden());
  EXPECT_EQ(platform.ex_style(HeadlessTrayPlatform::kApplicationWindow),
            original | winapi::ws_ex_tool_window | winapi::ws_ex_topmost);
  ASSERT_EQ(platform.show_calls.size(), 2u);
  EXPECT_EQ(platform.show_calls[0].command, ShowCommand::hide);
  EXPECT_EQ(platform.show_calls[1].command, ShowCommand::show);
  EXPECT_TRUE(platform.application_visible);

  // The state belongs to the program: a second component finds it hidden already.
  auto& second = form->make<TIconHide>("IconHide2", platform);
  EXPECT_TRUE(second.hidden());
  EXPECT_EQ(platform.show_calls.size(), 2u);
  second.set_hidden(false);
  EXPECT_FALSE(hide.hidden());
  EXPECT_EQ(platform.ex_style(HeadlessTrayPlatform::kApplicationWindow), original);
}

}  // namespace
}  // namespace brevaro::tray
