// The client's navigation flows on virtual time: the first page, the message
// strip, the labels, the offline prompt, the title watch, the periodic
// refresh, sign-out and the close request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/host/client/client_fixture.h"

namespace brevaro::client {
namespace {

using namespace fixture;
using ui::MsgBoxResult;

const std::string kBase = "http://127.0.0.1:18480/brevaro/url.asp?url=";
constexpr std::string_view kPrompt =
    "You are NOT connected to the Internet,\rPlease connect to the Internet and try again.\r\rTry again now?";

struct Navigation : MainWindowFixture {
  std::vector<std::string>& nav1() { return browser(*form->HTML1).navigations; }
  std::vector<std::string>& nav2() { return browser(*form->HTML2).navigations; }
  std::size_t prompts() const {
    std::size_t n = 0;
    for (const auto& b : backend.boxes()) n += b.text == kPrompt;
    return n;
  }
  // Starts the client and lets the first navigation run.
  TForm1& started() {
    auto& f = start();
    backend.advance(*app, 1000);
    return f;
  }
  void press(ui::Control& label) {
    backend.press(label);
    backend.advance(*app, 0);
  }
};

TEST_F(Navigation, FirstPageIsAccountsAndTheStripLeavesTheErrorPage) {
  auto& f = start();
  backend.advance(*app, 999);
  EXPECT_EQ(echo.sent, 0);
  backend.advance(*app, 1);
  EXPECT_EQ(echo.sent, 1);
  EXPECT_EQ(nav1(), (std::vector<std::string>{kErrorUrl, kBase + "accounts"}));
  EXPECT_EQ(nav2(), (std::vector<std::string>{kErrorUrl, kBase + "scrollingmessage"}));
  EXPECT_FALSE(f.Timer1->enabled());
  EXPECT_EQ(f.Ping1->Tag, 1);
  // The strip shows its message now: later titles leave it alone.
  f.HTML1->fire_title_change("Accounts");
  f.HTML1->fire_title_change("Error");
  EXPECT_EQ(nav2().size(), 2u);
  EXPECT_TRUE(backend.boxes().empty());
  backend.advance(*app, 60000);
  EXPECT_EQ(nav1().size(), 2u);  // one attempt only
}

TEST_F(Navigation, OfflineStartRetriesOneSecondAfterEachYes) {
  echo.reachable = false;
  for (int i = 0; i < 3; ++i) backend.answer_next_box(MsgBoxResult::yes);
  backend.answer_next_box(MsgBoxResult::no);
  auto& f = start();
  backend.advance(*app, 30000);
  ASSERT_EQ(prompts(), 4u);
  EXPECT_EQ(echo.sent, 4 + 1);  // four attempts and the first advert-list tick
  // Each attempt: one second after the previous answer, then the echo's 4 s time-out.
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(backend.boxes()[i].at_ms - backend.boxes()[i - 1].at_ms, 1000u + 4000u) << i;
  for (const auto& b : backend.boxes()) {
    EXPECT_EQ(b.caption, "Information");
    EXPECT_EQ(b.buttons, ui::MsgBoxButtons::yes_no);
    EXPECT_EQ(b.icon, ui::MsgBoxIcon::information);
  }
  EXPECT_FALSE(f.Timer1->enabled());
  EXPECT_EQ(nav1().back(), kErrorUrl);  // "&No" leaves the error page
  EXPECT_EQ(nav2().back(), kErrorUrl);
  EXPECT_EQ(backend.unexpected_boxes(), 0u);
}

TEST_F(Navigation, EachLabelOpensItsSection) {
  auto& f = started();
  const std::pair<ui::Label*, std::string> cases[] = {
      {f.lblAccounts, "accounts"},          {f.lblSetup, "setup"}, {f.lblMyDetails, "mydetails"},
      {f.lblSecurity, "security"},          {f.lblHelp, "help"},   {f.lblContactUs, "contactus"},
      {f.lblSendToFriend, "sendtoafriend"},
  };
  for (const auto& [label, key] : cases) {
    f.set_dragging(true);
    press(*label);
    EXPECT_EQ(nav1().back(), kBase + key) << key;
    EXPECT_FALSE(f.dragging()) << key;
  }
  EXPECT_TRUE(sys.shell.calls.empty());
  EXPECT_TRUE(backend.boxes().empty());
}

TEST_F(Navigation, LabelOfflineThenBackOpensThatSectionNotAccounts) {
  auto& f = started();
  f.timTMDS->set_enabled(false);     // its own checks would take answers meant for the label
  echo.next = {false, false, true};  // down for two tries, back for the third
  backend.answer_next_box(MsgBoxResult::yes);
  backend.answer_next_box(MsgBoxResult::yes);
  f.set_dragging(true);
  press(*f.lblSecurity);
  EXPECT_EQ(prompts(), 2u);
  EXPECT_EQ(nav1(),
            (std::vector<std::string>{kErrorUrl, kBase + "accounts", kErrorUrl, kErrorUrl, kBase + "security"}));
  EXPECT_EQ(nav2().back(), kErrorUrl);
  EXPECT_FALSE(f.dragging());
  EXPECT_EQ(backend.unexpected_boxes(), 0u);
}

TEST_F(Navigation, WebSiteOpensMaximisedInTheBrowserAndLeavesDragging) {
  auto& f = started();
  f.set_dragging(true);
  press(*f.lblWebSite);
  ASSERT_EQ(sys.shell.calls.size(), 1u);
  EXPECT_EQ(sys.shell.calls[0].kind, platform::headless::RecordingShell::Call::open);
  EXPECT_EQ(sys.shell.calls[0].target, kBase + "website");
  EXPECT_EQ(sys.shell.calls[0].show, platform::ShowState::maximized);
  EXPECT_TRUE(f.dragging());
  EXPECT_EQ(nav1().back(), kBase + "accounts");
}

TEST_F(Navigation, PrintAsksTheBrowserAndAFailureReachesTheErrorBox) {
  auto& f = started();
  press(*f.lblPrint);
  EXPECT_EQ(browser(*f.HTML1).prints, 1);
  EXPECT_EQ(echo.sent, 1);  // no check for printing
  browser(*f.HTML1).print_fails = true;
  press(*f.lblPrint);
  EXPECT_EQ(browser(*f.HTML1).prints, 2);
  ASSERT_EQ(app->errors_shown().size(), 1u);
  EXPECT_EQ(app->errors_shown()[0], "Trying to revoke a drop target that has not been registered.");
}

TEST_F(Navigation, TitleWatch) {
  struct Case {
    std::string title;
    bool prompts;
  } cases[] = {
      {"CANNOT FIND SERVER", true},
      {"Cannot find server", true},
      {"no page to display", true},
      {"HTTP 404 Not Found", true},
      {"x404", true},
      {"cannot find server now", false},
      {"The page cannot find server", false},
      {"Accounts", false},
      {"Error", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    auto& f = started();
    browser(*f.HTML1).location = kBase + "help-page";
    browser(*f.HTML2).location = kBase + "message-page";
    const std::size_t n1 = nav1().size(), n2 = nav2().size(), boxes = prompts();
    if (c.prompts) backend.answer_next_box(MsgBoxResult::yes);
    f.set_dragging(true);
    f.HTML1->fire_title_change(c.title);
    EXPECT_EQ(prompts() - boxes, c.prompts ? 1u : 0u);
    if (c.prompts) {
      // The error page in both, then back to where they were.
      EXPECT_EQ(std::vector<std::string>(nav1().begin() + static_cast<long>(n1), nav1().end()),
                (std::vector<std::string>{kErrorUrl, kBase + "help-page"}));
      EXPECT_EQ(std::vector<std::string>(nav2().begin() + static_cast<long>(n2), nav2().end()),
                (std::vector<std::string>{kErrorUrl, kBase + "message-page"}));
      EXPECT_FALSE(f.dragging());
    } else {
      EXPECT_EQ(nav1().size(), n1);
      EXPECT_EQ(nav2().size(), n2);  // the strip shows a page already
      EXPECT_TRUE(f.dragging());
    }
  }
  EXPECT_EQ(backend.unexpected_boxes(), 0u);
}

TEST_F(Navigation, TitleWatchNoKeepsTheErrorPages) {
  auto& f = started();
  backend.answer_next_box(MsgBoxResult::no);
  f.HTML1->fire_title_change("404");
  EXPECT_EQ(nav1().back(), kErrorUrl);
  EXPECT_EQ(nav2().back(), kErrorUrl);
  // The error page's own title brings the message back into the strip.
  f.HTML1->fire_title_change("Error");
  EXPECT_EQ(nav2().back(), kBase + "scrollingmessage");
}

TEST_F(Navigation, AdvertRefreshAtFiveSecondsThenEveryTenMinutes) {
  auto& f = start();
  f.Timer1->set_enabled(false);  // only the refresh timer's echoes count here
  auto refreshes = [&] { return f.Memo1->lines().empty(); };
  f.Memo1->set_lines({"old list"});
  backend.advance(*app, 4999);
  EXPECT_EQ(echo.sent, 0);
  backend.advance(*app, 1);
  EXPECT_EQ(echo.sent, 1);
  EXPECT_TRUE(refreshes());
  EXPECT_EQ(f.timTMDS->interval(), 60000u);
  EXPECT_EQ(f.timTMDS->tag(), 0);
  EXPECT_TRUE(f.timTMDS->enabled());

  // Nine quiet minutes, then the check on the tenth; it fails: no refresh.
  f.Memo1->set_lines({"old list"});
  echo.reachable = false;
  backend.advance(*app, 9 * 60000);
  EXPECT_EQ(echo.sent, 1);
  backend.advance(*app, 60000);
  EXPECT_EQ(echo.sent, 2);
  EXPECT_FALSE(refreshes());
  EXPECT_TRUE(backend.boxes().empty());  // the periodic check never prompts
  // Ten minutes later it passes again.
  echo.reachable = true;
  backend.advance(*app, 10 * 60000);
  EXPECT_EQ(echo.sent, 3);
  EXPECT_TRUE(refreshes());
}

TEST_F(Navigation, TimersTickInsideAnOpenPromptAndACloseRequestEndsIt) {
  echo.reachable = false;
  echo.fail_ms = 5;
  // The prompt of the first navigation opens at 1 s and stays open for 10 s.
  backend.answer_next_box(MsgBoxResult::yes, 10000);
  backend.answer_next_box(MsgBoxResult::no);
  start();
  backend.advance(*app, 1000);
  ASSERT_EQ(prompts(), 1u);
  // The advert timer ticked inside it at 5 s with a check of its own (that
  // check never prompts); "&Yes" armed the next attempt a second later.
  EXPECT_EQ(echo.sent, 2);
  backend.advance(*app, 2000);
  EXPECT_EQ(prompts(), 2u);
  EXPECT_EQ(echo.sent, 3);

  // A close request while the next box is open.
  app.reset();
  backend.answer_next_box(MsgBoxResult::no, 10000);
  sys.fs.put(kIni, "[Default]\r\nUN=200103051407090123\r\n[Keep]\r\nA=1\r\n");
  auto& g = start();
  g.set_position(10, 20);
  // The uninstaller's request arrives at 3 s, while the prompt (1 s to 11 s) is open.
  auto& uninstaller = app->make<ui::Timer>("uninstaller", 3000, true);
  uninstaller.set_on_timer([&](ui::Timer& t) {
    t.set_enabled(false);
    sys.fs.put(std::string(kFolder) + "Close.dat", "Close Now.\r\n");
  });
  backend.advance(*app, 20000);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(g.visible());
  EXPECT_FALSE(sys.fs.file_exists(std::string(kFolder) + "Close.dat"));
  EXPECT_EQ(sys.fs.read_file(std::string(kFolder) + "BVClosed.dat"), "BVClosed.\r\n");
  EXPECT_EQ(ini().read_string("Default", "Top", ""), "20");
  EXPECT_EQ(ini().read_string("Keep", "A", ""), "1");
  // The closed window did not ask again after the box.
  EXPECT_EQ(prompts(), 3u);
}

TEST_F(Navigation, EchoThatNeverReportsEndsTheCheckWithinItsBound) {
  struct Case {
    const char* what;
    std::function<void(TForm1&)> arrange;
  } cases[] = {
      {"address that does not resolve", [](TForm1& f) { f.Ping1->SetAddress("no.such.host"); }},
      {"echo that fails", [this](TForm1&) { echo.silent = true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    backend.answer_next_box(MsgBoxResult::no);
    auto& f = start();
    f.timTMDS->set_enabled(false);  // its own check would wait inside this one
    c.arrange(f);
    const std::uint64_t t0 = backend.now();
    const std::size_t boxes = backend.boxes().size();
    backend.advance(*app, 1000);
    backend.advance(*app, 7000);
    ASSERT_EQ(backend.boxes().size(), boxes + 1);
    const std::uint64_t waited = backend.boxes().back().at_ms - t0 - 1000;
    EXPECT_GE(waited, 4000u);
    EXPECT_LE(waited, 4000u + Connectivity::kReplyMarginMs + Connectivity::kPollMs);
    EXPECT_EQ(f.Ping1->Tag, Connectivity::kNotReachable);
    app.reset();
    echo = EchoScript{};
  }
}

TEST_F(Navigation, SignOutOnlineClosesOnTheFirstCompletedNavigation) {
  auto& f = started();
  f.set_position(30, 40);
  backend.press(*f.lblSignOut);
  backend.advance(*app, 0);
  EXPECT_TRUE(f.panSignOut->visible());
  EXPECT_EQ(nav1().back(), kBase + "signout");
  EXPECT_EQ(f.HTML1->tag(), 1);
  EXPECT_FALSE(f.Timer1->enabled());
  EXPECT_TRUE(f.ExitTimer->enabled());
  EXPECT_FALSE(app->terminated());
  backend.advance(*app, 1000);
  EXPECT_FALSE(app->terminated());
  f.HTML1->fire_navigate_complete2(kBase + "signout");
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(ini().read_string("Default", "Left", ""), "30");
  EXPECT_EQ(ini().read_string("Default", "Top", ""), "40");
}

TEST_F(Navigation, SignOutWithNoPageClosesAfterFiveSeconds) {
  echo.takes_ms = 0;
  auto& f = started();
  // Completed navigations before sign-out do not close.
  f.HTML1->fire_navigate_complete2(kBase + "accounts");
  EXPECT_FALSE(app->terminated());
  backend.press(*f.lblSignOut);
  backend.advance(*app, 4999);
  EXPECT_FALSE(app->terminated());
  backend.advance(*app, 1);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(f.panSignOut->visible());
}

TEST_F(Navigation, SignOutOfflineClosesAtOnceWithoutAPrompt) {
  auto& f = started();
  f.set_position(50, 60);
  echo.reachable = false;
  const std::size_t before = nav1().size();
  backend.press(*f.lblSignOut);
  backend.advance(*app, 0);
  EXPECT_TRUE(app->terminated());
  EXPECT_TRUE(backend.boxes().empty());
  EXPECT_EQ(nav1().size(), before);  // the service is not contacted
  EXPECT_TRUE(f.panSignOut->visible());
  EXPECT_EQ(ini().read_string("Default", "Left", ""), "50");
}

TEST_F(Navigation, CloseRequestInTheProgramFolder) {
  const std::string request = std::string(kFolder) + "Close.dat";
  const std::string answer = std::string(kFolder) + "BVClosed.dat";
  struct Case {
    const char* what;
    std::function<void()> arrange;
    bool closes;
    bool answered;
  } cases[] = {
      {"stale request at start", [&] { sys.fs.put(request, "Close Now.\r\n"); }, true, true},
      {"request that is a folder", [&] { sys.fs.create_directory(request); }, false, false},
      // Left over from an earlier run and not deletable: it would close
      // every start, so it is ignored until it has gone.
      {"locked request at start",
       [&] {
         sys.fs.put(request, "x");
         sys.fs.set_in_use(request, true);
       },
       false, false},
      {"answer that cannot be written",
       [&] {
         sys.fs.put(request, "x");
         sys.fs.put(answer, "old");
         sys.fs.set_in_use(answer, true);
       },
       true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& path : {request, answer}) {
      sys.fs.set_in_use(path, false);
      if (sys.fs.file_exists(path)) sys.fs.delete_file(path);
      if (sys.fs.directory_exists(path)) sys.fs.remove_directory(path);
    }
    c.arrange();
    auto& f = start();
    backend.advance(*app, 100);
    EXPECT_EQ(app->terminated(), c.closes);
    EXPECT_EQ(sys.fs.read_file(answer) == "BVClosed.\r\n", c.answered);
    if (c.closes) {
      EXPECT_EQ(ini().read_string("Default", "Left", ""), std::to_string(f.left()));
    } else {
      EXPECT_TRUE(f.watching_for_close_request());
    }
    app.reset();
  }
}

TEST_F(Navigation, ALockedRequestThatAppearsWhileRunningStillCloses) {
  const std::string request = std::string(kFolder) + "Close.dat";
  start();
  backend.advance(*app, 1000);
  EXPECT_FALSE(app->terminated());
  sys.fs.put(request, "Close Now.\r\n");
  sys.fs.set_in_use(request, true);
  backend.advance(*app, 100);
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(sys.fs.read_file(std::string(kFolder) + "BVClosed.dat"), "BVClosed.\r\n");
}

TEST_F(Navigation, TwoRequestsInQuickSuccessionCloseOnce) {
  auto& f = start();
  sys.fs.put(std::string(kFolder) + "Close.dat", "Close Now.\r\n");
  backend.advance(*app, 100);
  ASSERT_TRUE(app->terminated());
  sys.fs.put(std::string(kFolder) + "Close.dat", "Close Now.\r\n");
  backend.advance(*app, 1000);
  EXPECT_FALSE(f.CloseTimer->enabled());
  EXPECT_TRUE(sys.fs.file_exists(std::string(kFolder) + "Close.dat"));  // left for whoever comes next
  EXPECT_TRUE(backend.boxes().empty());
}

}  // namespace
}  // namespace brevaro::client
