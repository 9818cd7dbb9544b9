#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "menu/headless/recording_menu_view.h"
#include "platform/headless/headless.h"
#include "tray/headless/headless_tray_platform.h"
#include "tray/main_form.h"
#include "tray/program.h"
#include "ui/application.h"
#include "ui/headless/headless_backend.h"

namespace brevaro::tray {
namespace {

using headless::HeadlessTrayPlatform;

constexpr const char* kFolder = "C:\\Program Files\\brevaro\\";
constexpr const char* kRequest = "C:\\Program Files\\brevaro\\TClose.dat";
constexpr const char* kAnswer = "C:\\Program Files\\brevaro\\TClosed.dat";

std::vector<std::byte> art(const char* file) {
  std::ifstream in(std::string(BREVARO_SOURCE_DIR) + "/res/art/" + file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> out(bytes.size());
  std::transform(bytes.begin(), bytes.end(), out.begin(), [](char c) { return static_cast<std::byte>(c); });
  return out;
}

// The tray program as its entry sets it up, with the artwork as resources.
struct TrayProgram : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  HeadlessTrayPlatform platform;
  menu::headless::RecordingMenuView view;
  std::unique_ptr<ui::Application> app;
  TfrmMain* main = nullptr;
  TfrmContacts* contacts = nullptr;

  void SetUp() override {
    sys.process.exe_path = std::string(kFolder) + "Tray.exe";
    sys.fs.put(std::string(kFolder) + "Tray.exe", "MZ");
    const std::pair<const char*, const char*> resources[] = {
        {"ACTIVATE", "menu-activate.bmp"}, {"OPTIONS", "menu-options.bmp"},
        {"CONTACT", "menu-contact.bmp"},   {"WEBSITE", "menu-website.bmp"},
        {"EMAIL", "menu-email.bmp"},       {"EXIT", "menu-exit.bmp"},
        {"MENUTILE", "menu-tile.bmp"},     {"MENUTITLE", "menu-title.bmp"},
        {"CONTACTS", "contacts.bmp"},      {"CONTACTSLIT", "contacts-close-lit.bmp"}};
    for (const auto& [name, file] : resources) sys.process.resources[name] = art(file);
  }
  void TearDown() override { app.reset(); }

  TfrmMain& start() {
    app = std::make_unique<ui::Application>(backend, sys.ports());
    app->set_title("brevaro menu");
    main = &app->create_form<TfrmMain>(platform, view);
    contacts = &app->create_form<TfrmContacts>(platform);
    main->frmContacts = contacts;
    main->show();
    backend.advance(*app, 0);
    return *main;
  }
  void right_press() { platform.send(main->tray->message_window(), kTrayCallbackMessage, 1, wm::rbutton_down); }
  // Opens the menu and chooses an item; its action runs from the loop.
  // `then` runs from the loop after it (inside a modal window it opens).
  void choose(const std::string& caption, std::function<void()> then = {}) {
    view.choose_next(caption);
    right_press();
    if (then) backend.post(std::move(then));
    backend.advance(*app, 0);
  }
  std::vector<std::string> shell_targets() const {
    std::vector<std::string> out;
    for (const auto& c : sys.shell.calls) out.push_back(c.target);
    return out;
  }
  void move_to(ui::Control& c, ui::Point at = {2, 2}) {
    const ui::Rect r = c.bounds();
    backend.mouse(*contacts, ui::msg::mouse_move, ui::Point{r.left + at.x, r.top + at.y});
  }
  std::vector<std::string> highlights() const {
    std::vector<std::string> out;
    for (ui::Control* c : {static_cast<ui::Control*>(contacts->Label5), static_cast<ui::Control*>(contacts->Label6),
                           static_cast<ui::Control*>(contacts->Label7), static_cast<ui::Control*>(contacts->Label8),
                           static_cast<ui::Control*>(contacts->Image1)})
      if (c->visible()) out.push_back(c->name());
    return out;
  }
};

TEST_F(TrayProgram, StartsHiddenWithItsIconAndMenu) {
  auto& f = start();
  EXPECT_EQ(f.caption(), "Task Tray Program");
  EXPECT_EQ(f.bounds(), (ui::Rect{-1000, -1000, 104, 62}));
  EXPECT_EQ(f.border_style(), ui::BorderStyle::none);
  EXPECT_TRUE(platform.placements.at(&f).stay_on_top);
  EXPECT_TRUE(platform.placements.at(contacts).no_system_menu);
  EXPECT_EQ(f.program_folder(), kFolder);
  EXPECT_TRUE(f.CloseTimer->enabled());
  EXPECT_EQ(f.CloseTimer->interval(), 100u);
  EXPECT_TRUE(f.IconHide1->hidden());
  EXPECT_EQ(
      platform.ex_style(HeadlessTrayPlatform::kApplicationWindow) & (winapi::ws_ex_tool_window | winapi::ws_ex_topmost),
      winapi::ws_ex_tool_window | winapi::ws_ex_topmost);

  // The icon: added at load with the program icon and the hint as its tip.
  ASSERT_FALSE(platform.shell_calls.empty());
  EXPECT_EQ(platform.shell_calls.front().action, NotifyAction::add);
  EXPECT_EQ(platform.shell_calls.back().record.tip_text(), "brevaro");
  EXPECT_NE(platform.shell_calls.back().record.icon, 0u);
  EXPECT_TRUE(f.tray->MinimizeToTray);
  EXPECT_EQ(f.tray->popup_menu(), f.popup);

  // The menu as it opens: the invisible "Options" is left out.
  right_press();
  ASSERT_EQ(view.shown.size(), 1u);
  const menu::PopupModel& m = view.shown[0].model;
  std::vector<std::string> captions;
  for (const auto& e : m.entries) captions.push_back(e.separator ? "-" : e.caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"Activate", "-", "Contact Information", "Connect to our Website",
                                                "Email us", "-", "Exit"}));
  EXPECT_TRUE(m.entries[0].is_default);
  for (std::size_t i : {0u, 2u, 3u, 4u, 6u}) EXPECT_EQ(m.entries[i].bitmap.width, 16) << i;
  EXPECT_EQ(m.title_width, 27);
  EXPECT_EQ(m.title_font.name, "Arial");
  EXPECT_EQ(m.title_font.height, -19);
  EXPECT_EQ(m.title_font.color, ui::kWhite);
  EXPECT_EQ(m.left_margin, 25);
  EXPECT_EQ(m.right_margin, 10);
  EXPECT_EQ(m.options, menu::mfNoBitmapRect);
  EXPECT_EQ(m.tile.width, 32);
  EXPECT_EQ(m.title_picture.height, 240);
  // OnPopup made the program folder the current directory first.
  EXPECT_EQ(platform.current_directories, std::vector<std::string>{kFolder});
}

TEST_F(TrayProgram, MenuItemsOpenTheirTargets) {
  start();
  choose("Activate");
  choose("Connect to our Website");
  choose("Email us");
  EXPECT_EQ(shell_targets(), (std::vector<std::string>{std::string(kFolder) + "brevaro.exe", "http://127.0.0.1:18480/",
                                                       "mailto:info@brevaro.example"}));
  EXPECT_EQ(sys.shell.calls[0].show, platform::ShowState::normal);
  EXPECT_EQ(sys.shell.calls[1].show, platform::ShowState::maximized);
  EXPECT_EQ(sys.shell.calls[2].show, platform::ShowState::maximized);
  // A failing shell changes nothing.
  sys.shell.open_result = 2;
  choose("Activate");
  EXPECT_FALSE(app->terminated());
}

TEST_F(TrayProgram, DoubleClickStartsTheClientTwice) {
  start();
  platform.send(main->tray->message_window(), kTrayCallbackMessage, 1, wm::lbutton_dblclk);
  EXPECT_EQ(shell_targets(), (std::vector<std::string>(2, std::string(kFolder) + "brevaro.exe")));
}

TEST_F(TrayProgram, ExitEndsTheProgramAndRemovesTheIcon) {
  start();
  choose("Exit");
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.file_exists(kAnswer));
  app.reset();
  EXPECT_EQ(platform.shell_calls.back().action, NotifyAction::remove);
}

TEST_F(TrayProgram, CloseRequestIsAnsweredAndEndsTheProgram) {
  start();
  backend.advance(*app, 1000);
  EXPECT_FALSE(app->terminated());
  sys.fs.put(kRequest, "Close Now.\r\n");
  backend.advance(*app, 100);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.file_exists(kRequest));
  EXPECT_EQ(sys.fs.read_file(kAnswer), "TrayClosed.\r\n");
}

// The idle tray program has nothing ticking: the first look at 100 ms, then
// the program folder's change signal; a request is answered at the change,
// inside a message box within 200 ms, and by CloseTimer where the folder
// cannot be watched.
TEST_F(TrayProgram, CloseRequestsWithoutATickWhileIdle) {
  struct Case {
    const char* what;
    bool watchable;
    bool box_open;
    std::uint64_t within_ms;
  } cases[] = {
      {"watched folder", true, false, 0},
      {"watched folder, message box open", true, true, 200},
      {"folder that cannot be watched", false, false, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    app.reset();
    backend.new_process();
    if (sys.fs.file_exists(kAnswer)) sys.fs.delete_file(kAnswer);
    const std::size_t boxes_before = backend.boxes().size();
    backend.refuse_folder_watches = !c.watchable;
    auto& f = start();
    backend.advance(*app, 1000);
    ASSERT_FALSE(app->terminated());
    EXPECT_EQ(backend.folder_watch_count(), c.watchable ? 1u : 0u);
    EXPECT_EQ(f.CloseTimer->enabled(), !c.watchable);
    if (c.watchable) {
      const std::uint64_t ticks = backend.ticks_fired();
      backend.advance(*app, 3600 * 1000);
      EXPECT_EQ(backend.ticks_fired(), ticks);  // an idle hour
      EXPECT_EQ(backend.active_timer_count(), 0u);
    }
    if (c.box_open) {
      auto& box = app->make<ui::Timer>("box", 1000, true);
      box.set_on_timer([this](ui::Timer& s) {
        s.set_enabled(false);
        app->message_box("Still there?", "brevaro", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
      });
      backend.answer_next_box(ui::MsgBoxResult::ok, 20000);
    }
    const std::uint64_t asked = backend.now() + 3000;
    auto& asker = app->make<ui::Timer>("asker", 3000, true);
    asker.set_on_timer([this](ui::Timer& s) {
      s.set_enabled(false);
      sys.fs.put(kRequest, "Close Now.\r\n");
    });
    backend.advance(*app, 30000);
    ASSERT_TRUE(app->terminated());
    EXPECT_GE(backend.quit_at(), asked);
    EXPECT_LE(backend.quit_at(), asked + c.within_ms);
    EXPECT_EQ(sys.fs.read_file(kAnswer), "TrayClosed.\r\n");
    EXPECT_EQ(backend.boxes().size() - boxes_before, c.box_open ? 1u : 0u);
    EXPECT_EQ(backend.folder_watch_count(), 0u);
  }
}

TEST_F(TrayProgram, AnUnwritableAnswerStillEndsTheProgram) {
  start();
  sys.fs.put(kRequest, "Close Now.\r\n");
  sys.fs.set_read_only_folder("C:\\Program Files\\brevaro", true);
  backend.advance(*app, 100);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.file_exists(kAnswer));
  EXPECT_TRUE(backend.boxes().empty());
}

TEST_F(TrayProgram, ARequestNamedFolderIsNoRequest) {
  sys.fs.create_directory(kRequest);
  start();
  backend.advance(*app, 1000);
  EXPECT_FALSE(app->terminated());
  EXPECT_TRUE(backend.boxes().empty());
  choose("Exit");
  EXPECT_TRUE(app->terminated());
}

TEST_F(TrayProgram, ContactWindowIsModalCentredAndEndsWithAClose) {
  start();
  bool disabled_while_open = false;
  contacts->lblClose->set_on_mouse_down([&](ui::Control& s, ui::MouseButton b, ui::Point p) {
    disabled_while_open = !main->ContactInformation1->enabled() && contacts->visible();
    contacts->lblCloseMouseDown(s, b, p);
  });
  // While the window is open: a right press on line 2, then the close button.
  choose("Contact Information", [&] {
    backend.press(*contacts->Label2, ui::MouseButton::right);
    backend.release(*contacts->Label2, ui::MouseButton::right);
    backend.press(*contacts->lblClose);
  });
  EXPECT_TRUE(disabled_while_open);
  EXPECT_FALSE(contacts->visible());
  EXPECT_TRUE(main->ContactInformation1->enabled());
  EXPECT_EQ(contacts->bounds().left, 1024 / 2 - contacts->width() / 2);
  EXPECT_EQ(contacts->bounds().top, 768 / 2 - contacts->height() / 2);
  EXPECT_EQ(contacts->caption(), "Contact Information...");
  EXPECT_EQ(contacts->border_style(), ui::BorderStyle::dialog);
  ASSERT_EQ(sys.shell.calls.size(), 1u);
  EXPECT_EQ(sys.shell.calls[0].target, "mailto:passwords@brevaro.example");
  EXPECT_EQ(sys.shell.calls[0].show, platform::ShowState::maximized);
  EXPECT_FALSE(app->terminated());
}

TEST_F(TrayProgram, CloseRequestWhileTheContactWindowIsOpenEndsTheProgram) {
  start();
  sys.fs.put(kRequest, "Close Now.\r\n");
  choose("Contact Information");
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(contacts->visible());
  EXPECT_EQ(sys.fs.read_file(kAnswer), "TrayClosed.\r\n");
}

TEST_F(TrayProgram, CloseRequestWhileTheMenuIsOpenClosesTheMenuAndEndsTheProgram) {
  start();
  sys.fs.put(kRequest, "Close Now.\r\n");
  view.while_open = [&] { backend.advance(*app, 100); };  // the user leaves the menu open
  view.choose_next("Exit");
  right_press();
  EXPECT_EQ(view.cancels, 1u);
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(sys.fs.read_file(kAnswer), "TrayClosed.\r\n");
  EXPECT_FALSE(main->popup->is_open());
  // A close with no menu open has nothing to cancel.
  main->popup->close_popup();
  EXPECT_EQ(view.cancels, 1u);
}

TEST_F(TrayProgram, ContactWindowHoverShowsOneHighlightAtATime) {
  start();
  contacts->show();
  const auto after = [&](ui::Control& c) {
    move_to(c);
    backend.advance(*app, 0);
    return highlights();
  };
  EXPECT_EQ(after(*contacts->Label1), std::vector<std::string>{"Label5"});
  EXPECT_EQ(after(*contacts->Label2), std::vector<std::string>{"Label6"});  // no gap between the lines
  EXPECT_EQ(after(*contacts->Label4), std::vector<std::string>{"Label8"});
  EXPECT_EQ(after(*contacts->lblClose), std::vector<std::string>{"Image1"});
  EXPECT_EQ(after(*contacts->Label3), std::vector<std::string>{"Label7"});
  EXPECT_EQ(after(*contacts->imgContacts), std::vector<std::string>{});
  EXPECT_EQ(after(*contacts->lblClose), std::vector<std::string>{"Image1"});
  EXPECT_EQ(after(*contacts->imgContacts), std::vector<std::string>{});
  // A mark stays across a close and the next opening, until the mouse moves.
  EXPECT_EQ(after(*contacts->Label4), std::vector<std::string>{"Label8"});
  backend.press(*contacts->lblClose);
  backend.advance(*app, 0);
  EXPECT_FALSE(contacts->visible());
  contacts->show();
  EXPECT_EQ(highlights(), std::vector<std::string>{"Label8"});
  // Every line opens its own address, with either button.
  for (ui::Label* line : {contacts->Label1, contacts->Label3, contacts->Label4})
    backend.press(*line, ui::MouseButton::left);
  backend.advance(*app, 0);
  EXPECT_EQ(shell_targets(),
            (std::vector<std::string>{"mailto:support@brevaro.example", "mailto:suggestions@brevaro.example",
                                      "mailto:marketing@brevaro.example"}));
}

TEST_F(TrayProgram, AFailingOnPopupShowsItsErrorAndNoMenu) {
  start();
  platform.current_directory_fails = true;
  backend.answer_next_box(ui::MsgBoxResult::ok);
  right_press();
  EXPECT_TRUE(view.shown.empty());
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].text, "I/O error 3.");
}

TEST_F(TrayProgram, MissingArtworkAndIconLeaveAWorkingProgram) {
  sys.process.resources.clear();
  platform.icon_resources.clear();
  platform.shell_accepts = false;  // no notification area either
  start();
  EXPECT_EQ(platform.shell_calls.back().record.icon, 0u);
  EXPECT_EQ(contacts->imgContacts->picture().width, 0);
  right_press();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].model.entries.size(), 7u);
  EXPECT_EQ(view.shown[0].model.entries[0].bitmap.width, 0);
  sys.fs.put(kRequest, "Close Now.\r\n");
  backend.advance(*app, 100);
  EXPECT_TRUE(app->terminated());
}

TEST_F(TrayProgram, MinimisingHidesTheMainFormAndKeepsTheIcon) {
  start();
  platform.shell_calls.clear();
  platform.send(HeadlessTrayPlatform::kApplicationWindow, wm::size, wm::size_minimized, 0);
  EXPECT_FALSE(main->visible());
  EXPECT_FALSE(platform.application_visible);
  ASSERT_FALSE(platform.shell_calls.empty());
  EXPECT_EQ(platform.shell_calls.back().action, NotifyAction::add);
}

// The program entry, as Tray.exe runs it.
struct TrayEntry : TrayProgram {
  bool run() {
    app = std::make_unique<ui::Application>(backend, sys.ports());
    return run_program(*app, platform, view);
  }
};

TEST_F(TrayEntry, ASecondCopyEndsWithoutAWindow) {
  auto other = sys.mutexes.create("BREVAROTRAYMUTEX", true);
  ASSERT_TRUE(other.handle);
  EXPECT_FALSE(run());
  EXPECT_EQ(app->main_form(), nullptr);
  EXPECT_TRUE(platform.shell_calls.empty());
}

TEST_F(TrayEntry, AStaleRequestEndsTheNextStartAtOnce) {
  sys.fs.put(kRequest, "Close Now.\r\n");
  EXPECT_TRUE(run());
  EXPECT_EQ(backend.now(), 100u);  // the first tick of the close timer
  EXPECT_EQ(platform.application_title, "brevaro menu");
  EXPECT_EQ(app->title(), "brevaro menu");
  EXPECT_EQ(sys.fs.read_file(kAnswer), "TrayClosed.\r\n");
  // The forms are gone and the icon with them, before the mutex is given back.
  EXPECT_EQ(app->main_form(), nullptr);
  EXPECT_EQ(platform.shell_calls.back().action, NotifyAction::remove);
  EXPECT_TRUE(sys.mutexes.create("brevaroTrayMutex", true).last_error != platform::kErrorAlreadyExists);
}

}  // namespace
}  // namespace brevaro::tray
