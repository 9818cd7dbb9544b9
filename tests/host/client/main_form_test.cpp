#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/ini.h"
#include "client/main_form.h"
#include "client/proxy.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix_system.h"
#include "region/bitmap.h"
#include "region/errors.h"
#include "tests/host/client/client_fixture.h"
#include "ui/application.h"
#include "ui/headless/headless_backend.h"
#include "ui/headless/headless_browser.h"

namespace brevaro::client {
namespace {

using namespace fixture;

using MainWindow = MainWindowFixture;

TEST_F(MainWindow, StartUpBuildsTheWindowAndStartsTheTimers) {
  auto& f = start();
  EXPECT_EQ(f.caption(), "brevaro");
  EXPECT_EQ(state.program_folder, kFolder);
  for (const char* dir : {"Data", "Data\\Download", "Data\\Banners"})
    EXPECT_TRUE(sys.fs.directory_exists(std::string(kFolder) + dir)) << dir;
  EXPECT_EQ(sys.fs.read_file(std::string(kFolder) + "Data\\error.htm"),
            "<html><head><title>Error</title>\r\n</head>\r\n"
            "<body bgcolor=\"#BDD6EF\" text=\"#000000\" scroll=\"no\" marginwidth=\"0\" marginheight=\"0\">\r\n"
            "</body></html>\r\n\r\n");
  EXPECT_EQ(browser(*f.HTML1).navigations, std::vector<std::string>{kErrorUrl});
  EXPECT_EQ(browser(*f.HTML2).navigations, std::vector<std::string>{kErrorUrl});
  EXPECT_TRUE(app->has_message_hook());
  EXPECT_TRUE(f.Timer1->enabled());
  EXPECT_TRUE(f.timBannerChange->enabled());
  EXPECT_TRUE(f.CloseTimer->enabled());
  EXPECT_TRUE(f.timTMDS->enabled());
  EXPECT_EQ(f.timTMDS->tag(), 10);
  EXPECT_FALSE(f.ExitTimer->enabled());
  EXPECT_FALSE(f.TimerGetImage->enabled());
  EXPECT_TRUE(f.double_buffered());
  EXPECT_EQ(backend.cursors.at(1), "MOVE");
  EXPECT_EQ(f.Image1->cursor(), ui::Cursor::custom_1);
  EXPECT_EQ(f.FileListBox1->Directory(), std::string(kFolder) + "Data\\Banners");
  EXPECT_EQ(f.lblWebSite->hint(), "Launch browser to 127.0.0.1");
  EXPECT_FALSE(f.imgBanner->visible());
  EXPECT_TRUE(f.imgBanner->animate());
  EXPECT_TRUE(f.imgBanner->loop());
  EXPECT_EQ(f.imgBanner->bounds(), (ui::Rect{95, 54, 468, 60}));
  EXPECT_EQ(f.imgBanner->cursor(), ui::Cursor::hand);
  EXPECT_TRUE(sys.shell.calls.empty());  // no movie control in this build: nothing to register
  EXPECT_TRUE(backend.boxes().empty());
}

TEST_F(MainWindow, MovieControlIsWrittenAndRegisteredWhenCarriedAndFailuresAreIgnored) {
  const std::vector<std::byte> control(64, std::byte{0x4D});
  sys.process.resources["FLASHOCX"] = control;
  sys.fs.put("C:\\windows\\system32\\kernel32.dll", "x");
  start();
  EXPECT_EQ(sys.fs.read_file("C:\\windows\\system32\\swflash.ocx")->size(), 64u);
  ASSERT_EQ(sys.shell.calls.size(), 1u);
  // The registration program by its full path: never one planted in the program folder.
  EXPECT_EQ(sys.shell.calls[0].target, "\"C:\\windows\\system32\\REGSVR32.EXE\" /s \"C:\\windows\\system32\\SWFLASH.OCX\"");
  EXPECT_EQ(sys.shell.calls[0].show, platform::ShowState::hide);

  // A second start with the file in use: no registration, the rest as usual.
  app.reset();
  sys.shell.calls.clear();
  sys.fs.set_in_use("C:\\windows\\system32\\swflash.ocx", true);
  auto& f = start();
  EXPECT_TRUE(sys.shell.calls.empty());
  EXPECT_TRUE(f.Timer1->enabled());
  EXPECT_TRUE(backend.boxes().empty());
}

TEST_F(MainWindow, PositionIsRestoredOrCentred) {
  struct Case {
    std::string top, left;
    int want_left, want_top;
  } cases[] = {
      {"100", "200", 200, 100},
      {"-1000", "300", 1024 / 2 - 871 / 2, 768 / 2 - 488 / 2},  // either -1000 centres both ways
      {"50", "-1000", 1024 / 2 - 871 / 2, 768 / 2 - 488 / 2},
      {"5000", "-3000", -3000, 5000},  // never checked against the screen
      {"abc", "", 1024 / 2 - 871 / 2, 768 / 2 - 488 / 2},
      {std::string(10240, '9'), "12", 1024 / 2 - 871 / 2, 768 / 2 - 488 / 2},
  };
  for (const auto& c : cases) {
    sys.fs.put(kIni, "[Default]\r\nTop=" + c.top + "\r\nLeft=" + c.left + "\r\nUN=1\r\n");
    auto& f = start();
    EXPECT_EQ(f.left(), c.want_left) << c.top << "/" << c.left;
    EXPECT_EQ(f.top(), c.want_top) << c.top << "/" << c.left;
    app.reset();
  }
}

TEST_F(MainWindow, InstallationIdentifierIsMadeOnceAndNeverChanged) {
  for (const std::string text : {"[Default]\r\nUN=NONE\r\n", "[Default]\r\nTop=1\r\n", ""}) {
    sys.fs.put(kIni, text);
    start();
    const std::string id = ini().read_string("Default", "UN", "");
    EXPECT_EQ(id.size(), 18u) << text;
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(state.installation_id, id);
    form->close();
    EXPECT_EQ(ini().read_string("Default", "UN", ""), id);
    app.reset();
  }
  // An existing identifier of any shape stays as it is, also through close.
  const std::string odd = "x y;" + std::string(5000, 'z');
  sys.fs.put(kIni, "[Default]\r\nUN=" + odd + "\r\n[Other]\r\nKeep=1\r\n");
  start();
  EXPECT_EQ(state.installation_id, odd);
  form->close();
  EXPECT_EQ(ini().read_string("Default", "UN", ""), odd);
  EXPECT_EQ(ini().read_string("Other", "Keep", ""), "1");
}

TEST_F(MainWindow, CloseSavesPositionAndBannerIndexButNotTheIdentifier) {
  sys.fs.put(kIni, "; comment\r\n[Default]\r\nTop=10\r\nLeft=20\r\nNextAd=3\r\nUN=NONE\r\n");
  auto& f = start();
  const std::string id = state.installation_id;
  f.set_position(123, 45);
  f.FileListBox1->set_tag(7);
  state.installation_id = "changed in memory";
  f.FlashBanner = &f.make<media::TShockwaveFlash>("FlashBanner", &f, f.imgBanner->bounds());
  f.close();
  EXPECT_EQ(f.FlashBanner, nullptr);
  EXPECT_EQ(f.find_component("FlashBanner"), nullptr);
  EXPECT_TRUE(app->terminated());
  const auto doc = ini();
  EXPECT_EQ(doc.read_integer("Default", "Left", 0), 123);
  EXPECT_EQ(doc.read_integer("Default", "Top", 0), 45);
  EXPECT_EQ(doc.read_integer("Default", "NextAd", 0), 7);
  EXPECT_EQ(doc.read_string("Default", "UN", ""), id);
  EXPECT_EQ(sys.fs.read_file(kIni)->rfind("; comment\r\n", 0), 0u);
}

TEST_F(MainWindow, ProxyFromTheSystemSettings) {
  const std::string key = std::string(kInternetSettingsKey);
  struct Case {
    const char* name;
    std::function<void(platform::headless::MemoryRegistry&)> set;
    std::optional<ProxySetting> want;
  } cases[] = {
      {"host:port",
       [&](auto& r) {
         r.set_dword(key, "ProxyEnable", 1);
         r.set_string(key, "ProxyServer", "proxy.lan:3128");
       },
       ProxySetting{"proxy.lan", "3128"}},
      {"no colon",
       [&](auto& r) {
         r.set_dword(key, "ProxyEnable", 1);
         r.set_string(key, "ProxyServer", "proxy.lan");
       },
       ProxySetting{"", "proxy.lan"}},
      {"per-protocol list",
       [&](auto& r) {
         r.set_dword(key, "ProxyEnable", 1);
         r.set_string(key, "ProxyServer", "http=a:80;ftp=b:21");
       },
       ProxySetting{"http=a", "80;ftp=b:21"}},
      {"disabled",
       [&](auto& r) {
         r.set_dword(key, "ProxyEnable", 0);
         r.set_string(key, "ProxyServer", "a:1");
       },
       std::nullopt},
      {"binary enable",
       [&](auto& r) {
         r.write(key, "ProxyEnable", platform::RegValue{platform::RegType::binary, std::string("\1\0\0\0", 4)});
         r.set_string(key, "ProxyServer", "a:1");
       },
       std::nullopt},
      {"missing server", [&](auto& r) { r.set_dword(key, "ProxyEnable", 1); }, std::nullopt},
      {"missing key", [](auto&) {}, std::nullopt},
      {"registry broken", [](auto& r) { r.set_broken(true); }, std::nullopt},
  };
  for (const auto& c : cases) {
    platform::headless::MemoryRegistry reg;
    c.set(reg);
    EXPECT_EQ(read_system_proxy(reg), c.want) << c.name;
  }
  sys.registry.set_dword(key, "ProxyEnable", 1);
  sys.registry.set_string(key, "ProxyServer", "10.0.0.1:8080");
  auto& f = start();
  EXPECT_EQ(f.proxy(), (ProxySetting{"10.0.0.1", "8080"}));
  for (auto* http : {f.MyHttp1.get(), f.MyHttp2.get(), f.MyHttp3.get()}) {
    EXPECT_EQ(http->Proxy(), "10.0.0.1");
    EXPECT_EQ(http->ProxyPort(), "8080");
  }
}

TEST_F(MainWindow, CloseRequestClosesTheWindowWithinAPoll) {
  // A request left behind closes the next start about 100 ms later.
  sys.fs.put(std::string(kFolder) + "Close.dat", "Close Now.\r\n");
  auto& f = start();
  f.set_position(11, 22);
  backend.advance(*app, 100);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.file_exists(std::string(kFolder) + "Close.dat"));
  EXPECT_EQ(sys.fs.read_file(std::string(kFolder) + "BVClosed.dat"), "BVClosed.\r\n");
  EXPECT_EQ(ini().read_integer("Default", "Left", 0), 11);
}

TEST_F(MainWindow, LargeFontsAskAndNoClosesFiveSecondsLater) {
  for (int dpi : {96, 144}) {
    sys.screen.dpi = dpi;
    start();
    EXPECT_TRUE(backend.boxes().empty()) << dpi;
    app.reset();
  }
  sys.screen.dpi = 120;
  sys.fs.put(kIni, "[Default]\r\nTop=40\r\nLeft=50\r\nUN=1\r\n");
  backend.answer_next_box(ui::MsgBoxResult::no);
  auto& f = start();
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].text, std::string(kLargeFontsQuestion));
  EXPECT_EQ(backend.boxes()[0].caption, "Information");
  EXPECT_EQ(backend.boxes()[0].buttons, ui::MsgBoxButtons::yes_no);
  EXPECT_EQ(backend.boxes()[0].icon, ui::MsgBoxIcon::information);
  f.set_position(70, 80);
  backend.advance(*app, 4999);
  EXPECT_FALSE(app->terminated());
  EXPECT_TRUE(f.visible());
  EXPECT_TRUE(browser(*f.HTML1).navigations.empty());
  EXPECT_TRUE(browser(*f.HTML2).navigations.empty());
  EXPECT_FALSE(app->has_message_hook());
  EXPECT_FALSE(f.Timer1->enabled());
  backend.advance(*app, 1);
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(ini().read_integer("Default", "Left", 0), 70);
  EXPECT_EQ(ini().read_integer("Default", "Top", 0), 80);

  // "&Yes" goes on as usual.
  sys.screen.dpi = 120;
  backend.answer_next_box(ui::MsgBoxResult::yes);
  auto& g = start();
  EXPECT_TRUE(g.Timer1->enabled());
  EXPECT_TRUE(app->has_message_hook());
}

TEST_F(MainWindow, ErrorPageFailureShowsTheErrorBoxAndSkipsTheRest) {
  sys.fs.put(std::string(kFolder) + "Data\\error.htm", "old");
  sys.fs.set_in_use(std::string(kFolder) + "Data\\error.htm", true);
  auto& f = start();
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].icon, ui::MsgBoxIcon::error);
  EXPECT_TRUE(app->has_message_hook());
  EXPECT_TRUE(browser(*f.HTML1).navigations.empty());
  EXPECT_FALSE(f.Timer1->enabled());
  EXPECT_FALSE(f.timBannerChange->enabled());
}

TEST_F(MainWindow, HookDropsRightClicksAndTakesBannerPresses) {
  auto& f = start();
  sys.screen.cursor = {0, 0};
  f.set_position(100, 50);
  int banner_clicks = 0;
  f.on_banner_click = [&] { ++banner_clicks; };
  int label_downs = 0;
  f.lblHelp->set_on_mouse_down([&](ui::Control&, ui::MouseButton, ui::Point) { ++label_downs; });

  backend.press(*f.lblHelp, ui::MouseButton::right);
  backend.advance(*app, 1);
  EXPECT_EQ(label_downs, 0);
  backend.press(*f.lblHelp, ui::MouseButton::left);
  backend.advance(*app, 1);
  EXPECT_EQ(label_downs, 1);

  // The banner rectangle 95,54 468 x 60, strictly inside, by the cursor's
  // position now (the message says somewhere else).
  struct Case {
    ui::Point client;
    bool inside;
  } cases[] = {{{96, 55}, true},   {{562, 113}, true}, {{95, 80}, false},
               {{300, 54}, false}, {{563, 80}, false}, {{300, 114}, false}};
  for (const auto& c : cases) {
    banner_clicks = 0;
    ui::Message down{f.handle(), ui::msg::lbutton_down, 0, ui::make_point_lparam({5, 5})};
    ui::Message up{f.handle(), ui::msg::lbutton_up, 0, ui::make_point_lparam({5, 5})};
    ui::Message dbl{f.handle(), ui::msg::lbutton_dblclk, 0, ui::make_point_lparam({5, 5})};
    sys.screen.cursor = f.peer().client_to_screen(c.client);
    bool handled = false;
    f.AppMessage(down, handled);
    f.AppMessage(up, handled);
    f.AppMessage(dbl, handled);
    EXPECT_EQ(banner_clicks, c.inside ? 1 : 0) << c.client.x << "," << c.client.y;
    EXPECT_EQ(down.message, c.inside ? ui::msg::null : ui::msg::lbutton_down);
    EXPECT_EQ(up.message, c.inside ? ui::msg::null : ui::msg::lbutton_up);
    EXPECT_EQ(dbl.message, c.inside ? ui::msg::null : ui::msg::lbutton_dblclk);
  }
}

TEST_F(MainWindow, HookPassesKeysToThePageExceptBackspaceAndArrows) {
  auto& f = start();
  auto& b = browser(*f.HTML1);
  struct Case {
    std::uint32_t message, key;
    bool translated;
  } cases[] = {{ui::msg::key_down, 8, false}, {ui::msg::key_up, 8, false},   {ui::msg::key_down, 37, false},
               {ui::msg::key_up, 39, false},  {ui::msg::key_down, 9, true},  {ui::msg::key_down, 13, true},
               {ui::msg::key_up, 46, true},   {ui::msg::key_down, 38, true}, {0x0102 /* char */, 8, true}};
  for (const auto& c : cases) {
    b.in_place->translated.clear();
    ui::Message m{f.HTML1->handle(), c.message, c.key, 0};
    bool handled = false;
    f.AppMessage(m, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(b.in_place->translated.size(), c.translated ? 1u : 0u) << c.message << "/" << c.key;
  }
  EXPECT_EQ(b.in_place_queries, 1);  // cached after the first

  // Not handled by the dialog processing, or the page busy: nothing translated.
  b.in_place->translated.clear();
  b.dialog_handles = false;
  ui::Message tab{f.HTML1->handle(), ui::msg::key_down, 9, 0};
  bool handled = true;
  f.AppMessage(tab, handled);
  EXPECT_FALSE(handled);
  b.dialog_handles = true;
  b.is_busy = true;
  f.AppMessage(tab, handled);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(b.in_place->translated.empty());
}

TEST_F(MainWindow, DraggingByThePictureMovesTheWindow) {
  sys.fs.put(kIni, "[Default]\r\nTop=100\r\nLeft=200\r\nUN=1\r\n");
  auto& f = start();
  EXPECT_EQ(f.width(), 871);
  sys.screen.cursor = {210, 110};  // client 10,10 of the picture
  backend.mouse(f, ui::msg::lbutton_down, {10, 10});
  backend.advance(*app, 1);
  EXPECT_TRUE(f.dragging());
  sys.screen.cursor = {400, 300};
  backend.post_message(ui::Message{f.handle(), ui::msg::mouse_move, 0, ui::make_point_lparam({200, 200})});
  backend.advance(*app, 1);
  EXPECT_EQ(f.bounds(), (ui::Rect{390, 290, 582, 488}));  // the first drag also sizes the window to the picture
  backend.mouse(f, ui::msg::lbutton_up, {10, 10});
  backend.advance(*app, 1);
  EXPECT_FALSE(f.dragging());
}

}  // namespace
}  // namespace brevaro::client

namespace brevaro::client {
namespace {

TEST_F(MainWindow, WindowIsCutToTheMasksBlackPixels) {
  const auto mask_file = platform::posix::PosixFileSystem().read_file(BREVARO_SOURCE_DIR "/res/art/mask.bmp");
  ASSERT_TRUE(mask_file.has_value());
  std::vector<std::byte> bytes(mask_file->size());
  std::memcpy(bytes.data(), mask_file->data(), bytes.size());
  sys.process.resources["MASK"] = bytes;
  auto& f = start();

  const auto region = ui::headless::window_region(f);
  ASSERT_TRUE(region.has_value());
  // Every pixel of the picture: inside the region exactly where the mask is black.
  const auto mask = region::read_bmp(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(mask_file->data()), mask_file->size()));
  std::vector<std::uint8_t> covered(582 * 488, 0);
  for (const auto& r : *region)
    for (int y = r.top; y < r.bottom(); ++y)
      for (int x = r.left; x < r.right(); ++x) {
        ASSERT_TRUE(x >= 0 && x < 582 && y >= 0 && y < 488);
        ++covered[static_cast<std::size_t>(y * 582 + x)];
      }
  int inside = 0;
  for (int y = 0; y < 488; ++y)
    for (int x = 0; x < 582; ++x) {
      const bool black = mask.rgb_at(x, y) == 0;
      inside += black;
      ASSERT_EQ(covered[static_cast<std::size_t>(y * 582 + x)], black ? 1 : 0) << x << "," << y;
    }
  EXPECT_GT(inside, 582 * 488 / 2);
  EXPECT_LT(inside, 582 * 488);  // really cut, not the whole rectangle
}

TEST_F(MainWindow, RegionComponentNamesAreUniqueAmongAllComponents) {
  auto& f = start();
  EXPECT_THROW(f.PictExtRgn1->set_name("image1"), region::EComponentError);
  EXPECT_THROW(f.FormRegion1->set_name("HTML2"), region::EComponentError);
  EXPECT_EQ(f.PictExtRgn1->name(), "PictExtRgn1");
  f.PictExtRgn1->set_name("SkinRegion");
  EXPECT_EQ(f.PictExtRgn1->name(), "SkinRegion");
}

}  // namespace
}  // namespace brevaro::client

namespace brevaro::client {
namespace {

TEST_F(MainWindow, UnwritableSettingsLoseNothing) {
  const std::string old_text = "[Default]\r\nTop=-1000\r\nLeft=-1000\r\nUN=NONE\r\n";
  sys.fs.put(kIni, old_text);
  sys.fs.set_read_only_folder("C:\\Program Files\\brevaro\\Data", true);
  auto& f = start();
  // The identifier is made and used; the window is still placed. (The two
  // error boxes are the data sub-folders and the error page, which cannot
  // be created in that folder either.)
  EXPECT_EQ(state.installation_id.size(), 18u);
  EXPECT_EQ(f.left(), 1024 / 2 - 871 / 2);
  EXPECT_EQ(f.top(), 768 / 2 - 488 / 2);
  ASSERT_EQ(backend.boxes().size(), 2u);
  // Closing cannot save: the error is shown, the window still closes and
  // the old file is untouched.
  f.close();
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(backend.boxes().size(), 3u);
  EXPECT_EQ(sys.fs.read_file(kIni), old_text);

  // A settings file nobody can read: defaults, and the client runs.
  app.reset();
  sys.fs.set_read_only_folder("C:\\Program Files\\brevaro\\Data", false);
  sys.fs.set_unreadable(kIni, true);
  auto& g = start();
  EXPECT_EQ(g.left(), 1024 / 2 - 871 / 2);
  EXPECT_TRUE(g.Timer1->enabled());
}

}  // namespace
}  // namespace brevaro::client

namespace brevaro::client {
namespace {

TEST_F(MainWindow, HostileProxyValuesNeverReachTheWire) {
  const std::string key = std::string(kInternetSettingsKey);
  struct Case {
    std::string server;
    bool refused_outright;  // a line break: refused before anything is sent
  } cases[] = {{"evil\r\nX-Injected: 1:80", true},
               {"a\x01\x02:8\n0", true},
               {std::string(10240, 'p') + ":" + std::string(10, '9'), false}};
  for (const auto& c : cases) {
    sys.registry.set_dword(key, "ProxyEnable", 1);
    sys.registry.set_string(key, "ProxyServer", c.server);
    auto& f = start();
    f.MyHttp1->SetURL("http://127.0.0.1:9/brevaro/quillbeam.asp?AppID=1");
    // On the host the sockets run on their own loop, not on the virtual one.
    f.MyHttp1->SetApplicationPump([&] { loop.runOnce(20); });
    try {
      f.MyHttp1->Get();
      ADD_FAILURE() << "a request went out through proxy " << c.server.substr(0, 20);
    } catch (const net::EHttpException& e) {
      if (c.refused_outright) {
        EXPECT_EQ(std::string(e.what()).rfind("Invalid character in ", 0), 0u) << e.what();
      }
    }
    app.reset();
  }
}

}  // namespace
}  // namespace brevaro::client
