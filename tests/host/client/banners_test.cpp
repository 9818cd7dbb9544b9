// The banner units on the headless backend (virtual time, in-memory disk)
// against the reference service on 127.0.0.1: rotation, refresh, version
// check, click and the hostile service.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "client/advert_refresh.h"
#include "client/banner_click.h"
#include "client/banner_rotation.h"
#include "client/main_form.h"
#include "client/version_check.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"
#include "platform/headless/headless.h"
#include "service/server.h"
#include "tests/host/client/client_fixture.h"
#include "tests/host/gif/gif_writer.h"
#include "ui/application.h"
#include "ui/headless/headless_backend.h"

namespace brevaro::client {
namespace {

using namespace std::chrono_literals;

const std::string kFolder = "C:\\Program Files\\brevaro\\";
const std::string kBanners = kFolder + "Data\\Banners\\";
const std::string kDownload = kFolder + "Data\\Download\\";
const std::string kDefaultMovie = kFolder + "Data\\bv.swf";

// A small animated GIF; the frame count tells the banners apart.
std::string gif(int frames) {
  gif::testing::GifWriter w(4, 2);
  w.loop(0);
  for (int i = 0; i < frames; ++i) {
    auto f = gif::testing::solid_frame(4, 2, static_cast<std::uint8_t>(i));
    f.delay_cs = 10;
    w.frame(f);
  }
  w.trailer();
  return {w.bytes().begin(), w.bytes().end()};
}

std::string movie() {
  std::ifstream in(std::string(BREVARO_SOURCE_DIR) + "/res/art/bv.swf", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string service_file(const std::string& name) {
  std::ifstream in(service::Server::default_banner_dir() + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string dat(const std::string& y, const std::string& m, const std::string& d, const std::string& id,
                const std::string& link) {
  return y + "\r\n" + m + "\r\n" + d + "\r\n" + id + "\r\n" + link + "\r\n";
}

// A shell that records what it opens and lets a test look around at that moment.
class WatchingShell final : public platform::Shell {
 public:
  std::vector<std::string> opened;
  std::vector<platform::ShowState> shows;
  std::function<void(std::string_view)> on_open;
  std::intptr_t open(std::string_view target, platform::ShowState show) override {
    if (on_open) on_open(target);
    opened.emplace_back(target);
    shows.push_back(show);
    return 42;
  }
  std::uint32_t start_program(std::string_view, platform::ShowState) override { return 33; }
};

// The banner parts of the main window and the units over them, wired the way
// the main window wires them.
class BannerWindow final : public ui::Form {
 public:
  BannerWindow(ui::Component* owner, ProcessState& state, net::SocketApi& sockets, BannerLinks service_links)
      : ui::Form(owner, "BannerWindow", "banners", ui::Size{871, 488}, ui::BorderStyle::none),
        links(std::move(service_links)),
        state_(state) {
    platform::FileSystem& fs = application().ports().fs;
    imgBanner = &make<media::TGIFImage>("imgBanner", this, ui::Rect{95, 54, 468, 60});
    imgBanner->set_animate(true);
    imgBanner->set_loop(true);
    imgBanner->set_visible(false);
    FileListBox1 = &make<TFileListBox>("FileListBox1", fs, "*.gif;*.swf");
    FileListBox2 = &make<TFileListBox>("FileListBox2", fs, "*.dat");
    Memo1 = &make<ui::Memo>("Memo1", this, ui::Rect{600, 140, 200, 80});
    Memo3 = &make<ui::Memo>("Memo3", this, ui::Rect{600, 230, 200, 80});
    timBannerChange = &make<ui::Timer>("timBannerChange", 1000, false);
    TimerGetImage = &make<ui::Timer>("TimerGetImage", 30000, false);
    for (auto* http : {&MyHttp1, &MyHttp2, &MyHttp3}) *http = std::make_unique<net::THttpCli>(sockets);

    rotation = std::make_unique<BannerRotation>(BannerArea{*this, *imgBanner, FlashBanner}, *FileListBox1,
                                                *timBannerChange, application().ports(), state, links);
    adverts = std::make_unique<AdvertRefresh>(
        application(), AdvertParts{*Memo1, *Memo3, *FileListBox2, *TimerGetImage, *MyHttp1, *MyHttp2, *MyHttp3}, state,
        links, [this] {
          CheckLatestVersion(
              Memo1->lines(), "1.0", state_,
              [this](std::string_view text) {
                return application().message_box(text, "Information", ui::MsgBoxButtons::yes_no,
                                                 ui::MsgBoxIcon::information);
              },
              application().ports().shell, links.new_version);
        });
    timBannerChange->set_on_timer([this](ui::Timer&) { rotation->step(); });
    TimerGetImage->set_on_timer([this](ui::Timer&) { adverts->TimerGetImageTimer(); });
    finish_create();
  }
  ~BannerWindow() override {
    adverts.reset();
    rotation.reset();
    MyHttp1.reset();
    MyHttp2.reset();
    MyHttp3.reset();
    free_all_components();
  }

  // What activation does for the banners.
  void activate_banners() {
    state_.version_checked = false;
    for (TFileListBox* list : {FileListBox1, FileListBox2}) {
      list->SetDirectory(state_.program_folder + "Data\\Banners");
      list->Update();
    }
    timBannerChange->set_enabled(true);
  }

  BannerLinks links;
  media::TGIFImage* imgBanner;
  media::TShockwaveFlash* FlashBanner = nullptr;
  TFileListBox* FileListBox1;
  TFileListBox* FileListBox2;
  ui::Memo* Memo1;
  ui::Memo* Memo3;
  ui::Timer* timBannerChange;
  ui::Timer* TimerGetImage;
  std::unique_ptr<net::THttpCli> MyHttp1, MyHttp2, MyHttp3;
  std::unique_ptr<BannerRotation> rotation;
  std::unique_ptr<AdvertRefresh> adverts;

 private:
  ProcessState& state_;
};

BannerLinks links_for(const service::Server& svc, const ProcessState& state) {
  BannerLinks l;
  const std::string base = svc.base_url();
  l.advert_list = [base, &state] { return base + "quillbeam.asp?AppID=" + state.installation_id; };
  l.download_log = [base, &state](std::string_view id) {
    return base + "quillbeam-logs.asp?AppID=" + state.installation_id + "&BannerID=" + std::string(id) + "&option=d";
  };
  l.click_log = [base, &state](std::string_view id) {
    return base + "quillbeam-logs.asp?AppID=" + state.installation_id + "&BannerID=" + std::string(id) + "&option=c";
  };
  l.default_banner = svc.redirect_link("defaultbanner");
  l.new_version = svc.redirect_link("downloadnewversion");
  return l;
}

struct Banners : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  WatchingShell shell;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  std::unique_ptr<ui::Application> app;
  ProcessState state;
  net::posix::EventLoop loop;
  net::posix::PosixSocketApi sockets{loop};
  service::Server svc;
  BannerWindow* win = nullptr;
  // Virtual time that passes each time a transfer waits for the network.
  std::uint64_t pump_ms = 100;
  fixture::EchoScript echo;

  platform::Ports ports() {
    return platform::Ports{sys.fs, sys.mutexes, sys.process, sys.registry, shell, sys.clock, sys.screen};
  }
  void SetUp() override {
    state.program_folder = kFolder;
    state.installation_id = "200103051407090123";
    for (const char* dir : {"Data\\Download", "Data\\Banners"}) platform::create_directories(sys.fs, kFolder + dir);
  }
  void TearDown() override { app.reset(); }

  BannerWindow& start() {
    app = std::make_unique<ui::Application>(backend, ports());
    win = &app->create_form<BannerWindow>(state, sockets, links_for(svc, state));
    for (auto* http : {win->MyHttp1.get(), win->MyHttp2.get(), win->MyHttp3.get()})
      http->SetApplicationPump([this] {
        loop.runOnce(1);
        backend.advance(*app, pump_ms);
      });
    win->show();
    win->activate_banners();
    backend.advance(*app, 0);
    return *win;
  }
  // The refresh as the advert-list timer runs it: an error that leaves it
  // reaches the framework's error box.
  void refresh() {
    app->guarded([&] { win->adverts->RefreshAdverts(); });
  }
  std::vector<service::RequestRecord> requests(std::string_view path) {
    std::vector<service::RequestRecord> out;
    for (auto& r : svc.requests())
      if (r.path_only() == path) out.push_back(r);
    return out;
  }
  std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : sys.fs.list_directory(folder))
      if (!e.is_directory) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Every file on the disk, with its folder.
  std::set<std::string> all_files(const std::string& folder = "C:") {
    std::set<std::string> out;
    for (const auto& e : sys.fs.list_directory(folder)) {
      const std::string path = folder + "\\" + e.name;
      if (e.is_directory) {
        const auto inner = all_files(path);
        out.insert(inner.begin(), inner.end());
      } else {
        out.insert(path);
      }
    }
    return out;
  }
  int frames() { return win->imgBanner->model().frame_count(); }
};

// ---- rotation ----------------------------------------------------------------------

TEST_F(Banners, EmptyFolderShowsTheDefaultMovieOrNothing) {
  state.current_banner_id = "7";
  state.current_banner_link = "http://127.0.0.1/seven";
  auto& w = start();
  EXPECT_EQ(w.timBannerChange->interval(), 1000u);
  backend.advance(*app, 1000);
  EXPECT_FALSE(w.imgBanner->visible());
  EXPECT_EQ(w.FlashBanner, nullptr);
  EXPECT_EQ(state.current_banner_id, "7");  // kept without the movie
  EXPECT_EQ(state.current_banner_link, "http://127.0.0.1/seven");
  EXPECT_TRUE(w.timBannerChange->enabled());
  EXPECT_EQ(w.timBannerChange->interval(), 60000u);

  sys.fs.put(kDefaultMovie, movie());
  backend.advance(*app, 60000);
  ASSERT_NE(w.FlashBanner, nullptr);
  EXPECT_EQ(w.FlashBanner->movie(), kDefaultMovie);
  EXPECT_TRUE(w.FlashBanner->model().loaded());
  EXPECT_EQ(w.FlashBanner->scale(), "ExactFit");
  EXPECT_EQ(w.FlashBanner->bounds(), w.imgBanner->bounds());
  EXPECT_EQ(w.FlashBanner->cursor(), ui::Cursor::hand);
  EXPECT_EQ(w.FlashBanner->parent(), &w);
  EXPECT_TRUE(w.FlashBanner->visible());
  EXPECT_FALSE(w.imgBanner->visible());
  EXPECT_EQ(state.current_banner_id, "0");
  EXPECT_EQ(state.current_banner_link, svc.redirect_link("defaultbanner"));
  // Each step replaces the movie control: only one is ever there.
  backend.advance(*app, 60000);
  std::size_t movies = 0;
  for (std::size_t i = 0; i < w.component_count(); ++i) movies += w.component(i).name() == "FlashBanner";
  EXPECT_EQ(movies, 1u);
}

TEST_F(Banners, OrderNextAdPastTheEndAndIncompleteBannersInTheSameStep) {
  sys.fs.put(kBanners + "a.gif", gif(1));
  sys.fs.put(kBanners + "a.dat", dat("2099", "12", "31", "A", "http://127.0.0.1/a"));
  sys.fs.put(kBanners + "B.gif", gif(2));  // no description: deleted at its turn
  sys.fs.put(kBanners + "c.gif", gif(3));
  sys.fs.put(kBanners + "c.dat", dat("2099", "12", "31", "C", "http://127.0.0.1/c"));
  auto& w = start();
  w.FileListBox1->set_tag(7);  // NextAd from an earlier run with more banners
  EXPECT_EQ(w.FileListBox1->Items(), (std::vector<std::string>{"a.gif", "B.gif", "c.gif"}));

  backend.advance(*app, 1000);
  EXPECT_EQ(frames(), 1);
  EXPECT_TRUE(w.imgBanner->visible());
  EXPECT_EQ(state.current_banner_id, "A");
  EXPECT_EQ(w.FileListBox1->tag(), 1);

  backend.advance(*app, 60000);  // B.gif is deleted and c.gif shown at once
  EXPECT_EQ(frames(), 3);
  EXPECT_EQ(state.current_banner_id, "C");
  EXPECT_EQ(state.current_banner_link, "http://127.0.0.1/c");
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "B.gif"));
  EXPECT_EQ(w.FileListBox1->tag(), 3);

  backend.advance(*app, 60000);  // the end of the pass: the list is read again
  EXPECT_EQ(frames(), 1);
  EXPECT_EQ(w.FileListBox1->Items(), (std::vector<std::string>{"a.gif", "c.gif"}));
  EXPECT_EQ(w.FileListBox1->tag(), 1);
  EXPECT_TRUE(backend.boxes().empty());
}

TEST_F(Banners, ExpiryTodayIsDeletedTomorrowIsShown) {
  // The virtual clock stands at 2001-03-05 14:07.
  sys.fs.put(kBanners + "a.gif", gif(1));
  sys.fs.put(kBanners + "a.dat", dat("2001", "3", "5", "today", "http://127.0.0.1/a"));
  sys.fs.put(kBanners + "b.swf", movie());
  sys.fs.put(kBanners + "b.dat", dat("2001", "2", "30", "bad date", "http://127.0.0.1/b"));
  sys.fs.put(kBanners + "c.gif", gif(2));
  sys.fs.put(kBanners + "c.dat", dat("2001", "3", "6", "tomorrow", "http://127.0.0.1/c"));
  auto& w = start();
  backend.advance(*app, 1000);
  EXPECT_EQ(frames(), 2);
  EXPECT_TRUE(w.imgBanner->visible());
  EXPECT_EQ(state.current_banner_id, "tomorrow");
  EXPECT_EQ(files_in(kBanners), (std::vector<std::string>{"c.dat", "c.gif"}));
}

TEST_F(Banners, GifAndMovieOfOneBaseShowTheGifAndMoviesShowInTheMovieControl) {
  sys.fs.put(kBanners + "x.gif", gif(2));
  sys.fs.put(kBanners + "x.swf", movie());
  sys.fs.put(kBanners + "x.dat", dat("2099", "1", "1", "X", "http://127.0.0.1/x"));
  sys.fs.put(kBanners + "y.swf", movie());
  sys.fs.put(kBanners + "y.dat", dat("2099", "1", "1", "Y", "http://127.0.0.1/y"));
  auto& w = start();
  for (int step = 0; step < 2; ++step) {  // x.gif, then x.swf
    backend.advance(*app, step == 0 ? 1000 : 60000);
    EXPECT_TRUE(w.imgBanner->visible()) << step;
    EXPECT_EQ(frames(), 2) << step;
    EXPECT_EQ(w.FlashBanner, nullptr) << step;
    EXPECT_EQ(state.current_banner_id, "X");
  }
  backend.advance(*app, 60000);
  ASSERT_NE(w.FlashBanner, nullptr);
  EXPECT_EQ(w.FlashBanner->movie(), kBanners + "y.swf");
  EXPECT_FALSE(w.imgBanner->visible());
  EXPECT_EQ(state.current_banner_id, "Y");
}

TEST_F(Banners, RotationEndsWhenNothingCanBeShownOrDeleted) {
  sys.fs.put(kDefaultMovie, movie());
  sys.fs.put(kBanners + "a.gif", gif(1));  // no description, in use
  sys.fs.set_in_use(kBanners + "a.gif", true);
  sys.fs.put(kBanners + "b.gif", gif(1));
  sys.fs.put(kBanners + "b.dat", dat("1999", "1", "1", "old", "http://127.0.0.1/b"));
  sys.fs.set_read_only_folder(kBanners, true);  // nothing can be deleted
  auto& w = start();
  for (int step = 0; step < 3; ++step) {
    backend.advance(*app, step == 0 ? 1000 : 60000);
    ASSERT_NE(w.FlashBanner, nullptr);
    EXPECT_EQ(w.FlashBanner->movie(), kDefaultMovie);
    EXPECT_EQ(state.current_banner_id, "0");
    EXPECT_TRUE(w.timBannerChange->enabled());
  }
  EXPECT_EQ(files_in(kBanners), (std::vector<std::string>{"a.gif", "b.dat", "b.gif"}));
  EXPECT_TRUE(app->errors_shown().empty());
}

TEST_F(Banners, UnreadableDescriptionOrBannerEndsTheStepWithTheErrorBox) {
  for (const char* broken : {"a.dat", "a.gif"}) {
    sys.fs.put(kBanners + "a.gif", gif(1));
    sys.fs.put(kBanners + "a.dat", dat("2099", "1", "1", "A", "http://127.0.0.1/a"));
    sys.fs.set_unreadable(kBanners + broken, true);
    auto& w = start();
    backend.advance(*app, 1000);
    ASSERT_EQ(app->errors_shown().size(), 1u) << broken;
    EXPECT_NE(app->errors_shown()[0].find("a."), std::string::npos) << app->errors_shown()[0];
    EXPECT_FALSE(w.timBannerChange->enabled()) << broken;  // the rotation stops, as for any failing step
    EXPECT_TRUE(sys.fs.file_exists(kBanners + "a.gif"));
    sys.fs.set_unreadable(kBanners + broken, false);
    app.reset();
  }
}

// ---- refresh ---------------------------------------------------------------------------------

TEST_F(Banners, ThreeNewBannersComeTwoNowAndTheThirdAtTheNextRefresh) {
  service::Adverts ads = service::Adverts::defaults();
  ads.banners.resize(3);
  svc.set_adverts(ads);
  auto& w = start();
  refresh();
  EXPECT_EQ(w.Memo1->lines().size(), 4u);
  EXPECT_EQ(files_in(kBanners), (std::vector<std::string>{"brevaro-accounts.dat", "brevaro-accounts.gif",
                                                          "brevaro-secure.dat", "brevaro-secure.gif"}));
  EXPECT_EQ(sys.fs.read_file(kBanners + "brevaro-accounts.gif"), service_file("brevaro-accounts.gif"));
  EXPECT_EQ(sys.fs.read_file(kBanners + "brevaro-secure.gif"), service_file("brevaro-secure.gif"));
  EXPECT_EQ(sys.fs.read_file(kBanners + "brevaro-accounts.dat"),
            dat("2099", "12", "31", "1", svc.base_url() + "ads/accounts.htm"));
  EXPECT_TRUE(files_in(kDownload).empty());
  const auto lists = requests("/brevaro/quillbeam.asp");
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].query("AppID"), "200103051407090123");
  const auto logs = requests("/brevaro/quillbeam-logs.asp");
  ASSERT_EQ(logs.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(logs[i].query("option"), "d");
    EXPECT_EQ(logs[i].query("BannerID"), std::to_string(i + 1));
    EXPECT_EQ(logs[i].query("AppID"), "200103051407090123");
  }
  EXPECT_EQ(w.Memo3->lines(), std::vector<std::string>{"OK"});
  EXPECT_FALSE(w.TimerGetImage->enabled());

  svc.clear_requests();
  refresh();
  EXPECT_TRUE(sys.fs.file_exists(kBanners + "brevaro-reminders.gif"));
  EXPECT_TRUE(sys.fs.file_exists(kBanners + "brevaro-reminders.dat"));
  ASSERT_EQ(requests("/brevaro/quillbeam-logs.asp").size(), 1u);
  EXPECT_EQ(requests("/brevaro/quillbeam-logs.asp")[0].query("BannerID"), "3");
  std::size_t banner_gets = 0;
  for (auto& r : svc.requests()) banner_gets += r.path_only().starts_with("/brevaro/banners/");
  EXPECT_EQ(banner_gets, 1u);

  // New banners join the rotation when the list is read again (the first
  // step ran on the empty folder while the first refresh waited).
  backend.advance(*app, 60000);
  EXPECT_TRUE(w.imgBanner->visible());
  EXPECT_EQ(w.imgBanner->model().width(), 468);
  EXPECT_EQ(state.current_banner_id, "1");
}

TEST_F(Banners, AKnownBannerGetsItsDescriptionRewrittenAndNothingFetched) {
  sys.fs.put(kBanners + "a.gif", gif(1));
  sys.fs.put(kBanners + "a.dat", dat("2090", "1", "1", "old", "http://127.0.0.1/old"));
  service::Adverts ads;
  ads.banners.push_back({"9", "http://127.0.0.2:1/elsewhere/a.gif", "http://127.0.0.1/new", "2", "3", "2042"});
  svc.set_adverts(ads);
  start();
  refresh();
  EXPECT_EQ(sys.fs.read_file(kBanners + "a.dat"), dat("2042", "3", "2", "9", "http://127.0.0.1/new"));
  EXPECT_EQ(sys.fs.read_file(kBanners + "a.gif"), gif(1));
  ASSERT_EQ(svc.requests().size(), 1u);  // the list only: no download, no log
  EXPECT_TRUE(app->errors_shown().empty());
}

TEST_F(Banners, AVersionOnlyListDeletesEveryBanner) {
  for (const char* f : {"a.gif", "a.dat", "b.swf", "b.dat", "c.dat", "D.GIF"}) sys.fs.put(kBanners + f, "x");
  svc.set_adverts({});
  start().timBannerChange->set_enabled(false);  // the purge alone
  refresh();
  EXPECT_EQ(files_in(kBanners), (std::vector<std::string>{"D.GIF"}));  // without a description the rotation deletes it
}

TEST_F(Banners, ANewerVersionIsOfferedOncePerActivation) {
  service::Adverts ads;
  ads.version = "1.1";
  svc.set_adverts(ads);
  auto& w = start();
  backend.answer_next_box(ui::MsgBoxResult::yes);
  refresh();
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].text, kNewVersionQuestion);
  EXPECT_EQ(backend.boxes()[0].caption, "Information");
  EXPECT_EQ(backend.boxes()[0].buttons, ui::MsgBoxButtons::yes_no);
  EXPECT_EQ(backend.boxes()[0].icon, ui::MsgBoxIcon::information);
  EXPECT_EQ(shell.opened, std::vector<std::string>{svc.redirect_link("downloadnewversion")});
  EXPECT_EQ(shell.shows, std::vector<platform::ShowState>{platform::ShowState::maximized});
  refresh();
  EXPECT_EQ(backend.boxes().size(), 1u);

  w.activate_banners();  // a new activation asks again; "No" opens nothing
  backend.answer_next_box(ui::MsgBoxResult::no);
  refresh();
  EXPECT_EQ(backend.boxes().size(), 2u);
  EXPECT_EQ(shell.opened.size(), 1u);

  for (const char* v : {"1.0", "abc", "", "0.9"}) {
    ads.version = v;
    svc.set_adverts(ads);
    w.activate_banners();
    refresh();
    EXPECT_EQ(backend.boxes().size(), 2u) << v;
    EXPECT_TRUE(state.version_checked) << v;
  }
  EXPECT_EQ(backend.unexpected_boxes(), 0u);
}

TEST_F(Banners, TheWatchdogEndsAStalledBannerTransferAfterThirtySeconds) {
  sys.fs.put(kBanners + "brevaro-accounts.gif", gif(1));
  sys.fs.put(kBanners + "brevaro-accounts.dat", dat("2099", "1", "1", "1", "http://127.0.0.1/a"));
  svc.set_adverts(*service::Adverts::preset("stalled-banner"));
  auto& w = start();
  const auto real = std::chrono::steady_clock::now();
  const auto virtual_start = backend.now();
  refresh();
  const auto took = backend.now() - virtual_start;
  EXPECT_GE(took, 30000u);
  EXPECT_LT(took, 40000u);
  EXPECT_LT(std::chrono::steady_clock::now() - real, 20s);
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "stalled.gif"));
  EXPECT_TRUE(files_in(kDownload).empty());
  EXPECT_TRUE(requests("/brevaro/quillbeam-logs.asp").empty());  // the known banner needs no download
  EXPECT_FALSE(w.TimerGetImage->enabled());
}

TEST_F(Banners, TheRotationGoesOnWhileTheListFetchWaits) {
  sys.fs.put(kBanners + "a.gif", gif(1));
  sys.fs.put(kBanners + "a.dat", dat("2099", "1", "1", "A", "http://127.0.0.1/a"));
  sys.fs.put(kBanners + "b.gif", gif(2));
  sys.fs.put(kBanners + "b.dat", dat("2099", "1", "1", "B", "http://127.0.0.1/b"));
  svc.set_override("/brevaro/quillbeam.asp", "/hostile/stall?ms=1500");
  pump_ms = 1000;
  auto& w = start();
  bool refreshing = false;
  std::vector<int> shown_during;
  w.timBannerChange->set_on_timer([&](ui::Timer&) {
    w.rotation->step();
    if (refreshing) shown_during.push_back(frames());
  });
  refreshing = true;
  refresh();
  refreshing = false;
  ASSERT_GE(shown_during.size(), 2u);
  EXPECT_EQ(shown_during[0], 1);
  EXPECT_EQ(shown_during[1], 2);
  EXPECT_TRUE(w.Memo1->lines().empty());  // the stalled answer closed without a list
  EXPECT_EQ(files_in(kBanners).size(), 4u);
}

TEST_F(Banners, AFullDiskOrAReadOnlyBannerFolderLeavesNothingHalfWritten) {
  start();
  sys.fs.set_free_space(1000);  // less than either banner
  refresh();
  EXPECT_TRUE(files_in(kBanners).empty());
  EXPECT_TRUE(files_in(kDownload).empty());
  EXPECT_TRUE(requests("/brevaro/quillbeam-logs.asp").empty());
  EXPECT_TRUE(app->errors_shown().empty());

  sys.fs.set_free_space(-1);
  sys.fs.set_read_only_folder(kBanners, true);
  refresh();
  EXPECT_TRUE(files_in(kBanners).empty());
  EXPECT_TRUE(files_in(kDownload).empty());
  EXPECT_TRUE(requests("/brevaro/quillbeam-logs.asp").empty());
  EXPECT_TRUE(app->errors_shown().empty());

  // A known banner whose description cannot be rewritten: the framework's box.
  sys.fs.set_read_only_folder(kBanners, false);
  sys.fs.put(kBanners + "brevaro-accounts.gif", gif(1));
  sys.fs.put(kBanners + "brevaro-accounts.dat", dat("2099", "1", "1", "1", "http://127.0.0.1/a"));
  sys.fs.set_read_only_folder(kBanners, true);
  refresh();
  EXPECT_EQ(app->errors_shown().size(), 1u);
  EXPECT_EQ(sys.fs.read_file(kBanners + "brevaro-accounts.dat"), dat("2099", "1", "1", "1", "http://127.0.0.1/a"));
}

// ---- the hostile service -----------------------------------------------------------------------

TEST_F(Banners, AHostileServiceWritesNothingOutsideTheBannerFoldersAndOpensNothing) {
  const std::string keep_dat = dat("2099", "1", "1", "1", "http://127.0.0.1/keep");
  for (const char* name : {"hostile-names", "hostile-links", "big-banner", "endless-banner", "huge-list", "many-lines",
                           "error-page", "error-text"}) {
    SCOPED_TRACE(name);
    sys.fs.put(kBanners + "brevaro-accounts.gif", gif(3));
    sys.fs.put(kBanners + "brevaro-accounts.dat", keep_dat);
    const auto before = all_files();
    svc.set_adverts(*service::Adverts::preset(name));
    auto& w = start();
    const auto real = std::chrono::steady_clock::now();
    refresh();
    EXPECT_LT(std::chrono::steady_clock::now() - real, 20s);
    for (const auto& f : all_files())
      if (!before.count(f)) {
        EXPECT_EQ(f.rfind(kBanners, 0), 0u) << f;
      }
    EXPECT_TRUE(files_in(kDownload).empty());
    for (const auto& f : files_in(kBanners)) EXPECT_TRUE(is_plain_banner_name(f) || f.ends_with(".dat")) << f;
    EXPECT_FALSE(sys.fs.file_exists(kBanners + "big.gif"));
    EXPECT_FALSE(sys.fs.file_exists(kBanners + "endless.gif"));
    EXPECT_TRUE(app->errors_shown().empty());

    // The banner it had keeps rotating; clicks open nothing but web links.
    EXPECT_TRUE(sys.fs.file_exists(kBanners + "brevaro-accounts.gif"));
    EXPECT_TRUE(sys.fs.file_exists(kBanners + "brevaro-accounts.dat"));
    backend.advance(*app, 60000);
    for (int step = 0; step < 4 && frames() != 3; ++step) backend.advance(*app, 60000);
    EXPECT_EQ(frames(), 3);
    EXPECT_TRUE(w.imgBanner->visible());
    for (std::size_t i = 0; i < w.FileListBox1->Items().size(); ++i) {
      backend.advance(*app, 60000);
      BannerClick(*w.adverts, links_for(svc, state), state, shell);
    }
    for (const auto& link : shell.opened) EXPECT_TRUE(link.starts_with("http://127.0.0.1")) << link;
    shell.opened.clear();
    app.reset();
    for (const auto& f : files_in(kBanners)) sys.fs.delete_file(kBanners + f);
    svc.clear_requests();
  }
}

// ---- the click through the main window's message hook ---------------------------------------------

TEST_F(Banners, AClickInsideTheBannerLogsFirstThenOpensTheLinkAndTheBorderDoesNothing) {
  sys.fs.put(kFolder + "Data\\Brevaro.ini", "[Default]\r\nUN=200103051407090123\r\n");
  pump_ms = 10;
  app = std::make_unique<ui::Application>(backend, ports());
  auto& f = app->create_form<TForm1>(state, sockets, std::make_unique<fixture::ScriptedEcho>(echo, sys.clock));
  f.show();
  backend.advance(*app, 0);
  for (auto* http : {f.MyHttp1.get(), f.MyHttp2.get(), f.MyHttp3.get()})
    http->SetApplicationPump([this] {
      loop.runOnce(1);
      backend.advance(*app, pump_ms);
    });
  f.banner_links = links_for(svc, state);

  std::vector<std::size_t> logs_when_opened;
  shell.on_open = [&](std::string_view) { logs_when_opened.push_back(requests("/brevaro/quillbeam-logs.asp").size()); };
  const ui::Rect r = f.imgBanner->bounds();
  struct Case {
    std::string link;
    ui::Point at;
    bool logged, opened;
  } cases[] = {
      {"http://127.0.0.1/ads/5.htm", {r.left + 10, r.top + 10}, true, true},
      {"https://127.0.0.1/ads/5.htm", {r.left + r.width - 1, r.top + r.height - 1}, true, true},
      {"http://127.0.0.1/ads/5.htm", {r.left, r.top + 10}, false, false},  // on the border line
      {"http://127.0.0.1/ads/5.htm", {r.left + 10, r.top + r.height}, false, false},
      {"file:///C:/x.exe", {r.left + 10, r.top + 10}, true, false},
      {"javascript:alert(1)", {r.left + 10, r.top + 10}, true, false},
      {"C:\\Windows\\notepad.exe", {r.left + 10, r.top + 10}, true, false},
      {"\\\\host\\share\\x", {r.left + 10, r.top + 10}, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link + " at " + std::to_string(c.at.x) + "," + std::to_string(c.at.y));
    svc.clear_requests();
    shell.opened.clear();
    logs_when_opened.clear();
    state.current_banner_id = "5";
    state.current_banner_link = c.link;
    backend.mouse(f, ui::msg::lbutton_down, c.at);
    backend.mouse(f, ui::msg::lbutton_up, c.at);
    backend.advance(*app, 0);
    const auto logs = requests("/brevaro/quillbeam-logs.asp");
    ASSERT_EQ(logs.size(), c.logged ? 1u : 0u);
    if (c.logged) {
      EXPECT_EQ(logs[0].query("option"), "c");
      EXPECT_EQ(logs[0].query("BannerID"), "5");
    }
    EXPECT_EQ(shell.opened, c.opened ? std::vector<std::string>{c.link} : std::vector<std::string>{});
    if (c.opened) {
      EXPECT_EQ(logs_when_opened, std::vector<std::size_t>{1});  // the log had been sent
      EXPECT_EQ(shell.shows.back(), platform::ShowState::maximized);
    }
  }
  // The log fails: the link still opens.
  svc.set_override("/brevaro/quillbeam-logs.asp", "/hostile/404");
  state.current_banner_link = "http://127.0.0.1/ads/6.htm";
  shell.opened.clear();
  backend.mouse(f, ui::msg::lbutton_down, {r.left + 10, r.top + 10});
  backend.advance(*app, 0);
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://127.0.0.1/ads/6.htm"});
}

TEST_F(Banners, TheMainWindowRefreshesAfterFiveSecondsAndRotatesWhatItFetched) {
  sys.fs.put(kFolder + "Data\\Brevaro.ini", "[Default]\r\nUN=200103051407090123\r\nNextAd=5\r\n");
  pump_ms = 10;
  app = std::make_unique<ui::Application>(backend, ports());
  auto& f = app->create_form<TForm1>(state, sockets, std::make_unique<fixture::ScriptedEcho>(echo, sys.clock));
  for (auto* http : {f.MyHttp1.get(), f.MyHttp2.get(), f.MyHttp3.get()})
    http->SetApplicationPump([this] {
      loop.runOnce(1);
      backend.advance(*app, pump_ms);
    });
  f.banner_links = links_for(svc, state);
  f.show();
  backend.advance(*app, 4900);
  EXPECT_TRUE(requests("/brevaro/quillbeam.asp").empty());
  backend.advance(*app, 2000);
  ASSERT_EQ(requests("/brevaro/quillbeam.asp").size(), 1u);
  EXPECT_EQ(requests("/brevaro/quillbeam.asp")[0].query("AppID"), "200103051407090123");
  EXPECT_EQ(requests("/brevaro/quillbeam-logs.asp").size(), 2u);
  EXPECT_EQ(files_in(kBanners), (std::vector<std::string>{"brevaro-accounts.dat", "brevaro-accounts.gif",
                                                          "brevaro-secure.dat", "brevaro-secure.gif"}));
  EXPECT_TRUE(backend.boxes().empty());  // version 1.0: no offer

  backend.advance(*app, 60000);  // NextAd 5 is past the end: the first banner
  EXPECT_TRUE(f.imgBanner->visible());
  EXPECT_EQ(f.imgBanner->model().width(), 468);
  EXPECT_GT(f.imgBanner->model().frame_count(), 1);
  EXPECT_EQ(state.current_banner_id, "1");
  EXPECT_EQ(state.current_banner_link, svc.base_url() + "ads/accounts.htm");
  backend.advance(*app, 60000);
  EXPECT_EQ(state.current_banner_id, "2");

  // The click through the hook, then the close keeps the place in the rotation.
  backend.mouse(f, ui::msg::lbutton_down, {f.imgBanner->bounds().left + 5, f.imgBanner->bounds().top + 5});
  backend.advance(*app, 0);
  EXPECT_EQ(shell.opened, std::vector<std::string>{svc.base_url() + "ads/secure.htm"});
  f.close();
  EXPECT_EQ(base::IniDocument::parse(sys.fs.read_file(kFolder + "Data\\Brevaro.ini").value_or(""))
                .read_integer("Default", "NextAd", 0),
            2);
}

}  // namespace
}  // namespace brevaro::client

namespace brevaro::client {
namespace {

// ---- hardening: time limits, the quit, the storage bound, the picture budget ----------------

// The time limits the banner units give each transfer, on virtual time: a
// stalled or trickling advert list, banner or log ends at its limit.
TEST_F(Banners, EveryTransferEndsAtItsIdleOrTotalLimit) {
  struct Case {
    const char* name;
    const char* target;  // what the service answers instead
    int which;           // 0 the list, 1 a banner, 2 a log
    std::uint64_t limit_ms;
  };
  const Case cases[] = {
      {"stalled list", "/hostile/stall?ms=20000", 0, kTransferIdleMs},
      {"trickling list", "/hostile/slow?bytes=60000&ms=5", 0, kAdvertListTotalMs},
      {"stalled banner", "/hostile/stall?ms=20000", 1, kBannerTotalMs},
      {"trickling banner", "/hostile/slow?bytes=60000&ms=5", 1, kBannerTotalMs},
      {"stalled log", "/hostile/stall?ms=20000", 2, kTransferIdleMs},
      {"trickling log", "/hostile/slow?bytes=60000&ms=5", 2, kLogTotalMs},
  };
  EXPECT_EQ(kTransferIdleMs, 30000u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto& w = start();
    w.timBannerChange->set_enabled(false);
    w.TimerGetImage->set_on_timer(nullptr);  // the limits alone
    for (auto* http : {w.MyHttp1.get(), w.MyHttp2.get(), w.MyHttp3.get()})
      http->SetClock([this] { return sys.clock.ticks_ms(); });
    const auto before = backend.now();
    const auto real = std::chrono::steady_clock::now();
    if (c.which == 0) {
      svc.set_override("/brevaro/quillbeam.asp", c.target);
      refresh();
      EXPECT_TRUE(w.Memo1->lines().empty());
    } else if (c.which == 1) {
      EXPECT_FALSE(w.adverts->DownloadBannerFile(svc.url(c.target), "slow.gif"));
      EXPECT_TRUE(files_in(kDownload).empty());
    } else {
      w.adverts->SendBannerLog(svc.url(c.target));
      EXPECT_TRUE(w.Memo3->lines().empty());
    }
    const auto took = backend.now() - before;
    EXPECT_GE(took, c.limit_ms);
    EXPECT_LT(took, c.limit_ms + 1000);
    EXPECT_LT(std::chrono::steady_clock::now() - real, 20s);
    svc.clear_overrides();
    app.reset();
  }
}

// A quit while a transfer waits ends it at once, and nothing that would
// follow it runs: no version question, no download, no log, no link.
TEST_F(Banners, AQuitEndsTheRefreshAndTheClickWhereTheyWait) {
  struct Case {
    const char* name;
    const char* path;  // the request that waits
    const char* target;
  };
  const Case cases[] = {
      {"stalled list", "/brevaro/quillbeam.asp", "/hostile/stall?ms=20000"},
      {"trickling list", "/brevaro/quillbeam.asp", "/hostile/slow?bytes=100000&ms=20"},
      {"stalled first banner", "/brevaro/banners/brevaro-accounts.gif", "/hostile/stall?ms=20000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto& w = start();
    w.timBannerChange->set_enabled(false);
    for (auto* http : {w.MyHttp1.get(), w.MyHttp2.get(), w.MyHttp3.get()})
      http->SetQuitting([this] { return app->terminated() || backend.quitting(); });
    auto& quit = w.make<ui::Timer>("Quit", 5000, true);
    quit.set_on_timer([this](ui::Timer& t) {
      t.set_enabled(false);
      app->terminate();
    });
    svc.set_override(c.path, c.target);
    const auto before = backend.now();
    const auto real = std::chrono::steady_clock::now();
    refresh();
    EXPECT_GE(backend.now() - before, 5000u);
    EXPECT_LT(backend.now() - before, 6000u);
    EXPECT_LT(std::chrono::steady_clock::now() - real, 10s);
    EXPECT_TRUE(backend.boxes().empty());
    EXPECT_TRUE(requests("/brevaro/banners/brevaro-secure.gif").empty());
    EXPECT_TRUE(requests("/brevaro/quillbeam-logs.asp").empty());
    EXPECT_TRUE(files_in(kBanners).empty());
    EXPECT_EQ(w.MyHttp1->State(), net::httpReady);
    svc.clear_overrides();
    svc.clear_requests();
    app.reset();
    backend.new_process();  // the next start is a new process, not quitting
  }

  // The click log waits on a stalled service; the window closes meanwhile:
  // the click's link is not opened after the quit.
  auto& w = start();
  w.timBannerChange->set_enabled(false);
  for (auto* http : {w.MyHttp1.get(), w.MyHttp2.get(), w.MyHttp3.get()})
    http->SetQuitting([this] { return app->terminated() || backend.quitting(); });
  auto& quit = w.make<ui::Timer>("Quit", 3000, true);
  quit.set_on_timer([this](ui::Timer& t) {
    t.set_enabled(false);
    app->terminate();
  });
  svc.set_override("/brevaro/quillbeam-logs.asp", "/hostile/stall?ms=20000");
  state.current_banner_id = "1";
  state.current_banner_link = "http://127.0.0.1/a";
  const auto before = backend.now();
  BannerClick(*w.adverts, links_for(svc, state), state, shell);
  EXPECT_LT(backend.now() - before, 4000u);
  EXPECT_TRUE(shell.opened.empty());
}

// Data\Banners and Data\Download hold at most 64 MiB together: a banner that
// would take them past it is not fetched, and its download is not logged.
TEST_F(Banners, BannerStorageIsBoundedAndABannerOverItIsNotFetched) {
  EXPECT_EQ(kBannerStorageMaxBytes, 64u * 1024 * 1024);
  service::Adverts ads;
  ads.banners.push_back({"1", "{root}/hostile/bytes/2048/a.gif", "{base}ads/a.htm"});
  ads.banners.push_back({"2", "{root}/hostile/bytes/2048/b.gif", "{base}ads/b.htm"});
  svc.set_adverts(ads);
  struct Case {
    const char* name;
    std::uint64_t stored;  // bytes already in Data\Download
    std::vector<std::string> fetched;
  };
  const std::uint64_t bound = kBannerStorageMaxBytes;
  const Case cases[] = {
      {"empty folders", 0, {"a.gif", "b.gif"}},
      {"room for one banner exactly", bound - kDescriptionRoomBytes - 2048, {"a.gif"}},
      {"one byte less", bound - kDescriptionRoomBytes - 2047, {}},
      {"full", bound, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& f : files_in(kBanners)) sys.fs.delete_file(kBanners + f);
    if (c.stored) sys.fs.put(kDownload + "left-over.bin", std::string(c.stored, 'x'));
    auto& w = start();
    w.timBannerChange->set_enabled(false);
    refresh();
    std::vector<std::string> got;
    for (const auto& f : files_in(kBanners))
      if (f.ends_with(".gif")) got.push_back(f);
    EXPECT_EQ(got, c.fetched);
    EXPECT_EQ(requests("/brevaro/quillbeam-logs.asp").size(), c.fetched.size());
    if (c.stored == bound) {
      EXPECT_TRUE(requests("/hostile/bytes/2048/a.gif").empty());  // not even asked for
    }
    EXPECT_LE(w.adverts->StoredBannerBytes(), bound);
    EXPECT_TRUE(app->errors_shown().empty());
    app.reset();
    if (c.stored) sys.fs.delete_file(kDownload + "left-over.bin");
    svc.clear_requests();
  }
}

// The 43-byte picture that declares a 16384 x 16384 screen, as a banner: the
// rotation refuses it within the banner budget, deletes it like an
// incomplete banner and goes on; the refresh does not fetch it again while
// the list names it.
TEST_F(Banners, APictureOverTheBudgetIsDeletedAndNotFetchedAgain) {
  svc.set_adverts(*service::Adverts::preset("huge-screen-banner"));
  auto& w = start();
  refresh();
  ASSERT_TRUE(sys.fs.file_exists(kBanners + "huge.gif"));
  ASSERT_TRUE(sys.fs.file_exists(kBanners + "brevaro-accounts.gif"));
  EXPECT_EQ(requests("/hostile/huge-screen/huge.gif").size(), 1u);

  // The rotation shows brevaro-accounts.gif first, then meets huge.gif.
  w.FileListBox1->Update();
  ASSERT_EQ(w.FileListBox1->Items().front(), "brevaro-accounts.gif");
  for (int step = 0; step < 3; ++step) backend.advance(*app, step == 0 ? 1000 : 60000);
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "huge.gif"));
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "huge.dat"));
  EXPECT_EQ(state.refused_banners, std::vector<std::string>{"huge.gif"});
  EXPECT_TRUE(w.imgBanner->visible());
  EXPECT_TRUE(w.imgBanner->model().has_picture());
  EXPECT_EQ(state.current_banner_id, "331");
  EXPECT_LE(w.imgBanner->model().canvas().pixels.size(), gif::banner_limits().max_canvas_pixels);
  EXPECT_TRUE(w.timBannerChange->enabled());
  EXPECT_TRUE(app->errors_shown().empty());

  // Not fetched again while the list names it ...
  refresh();
  EXPECT_EQ(requests("/hostile/huge-screen/huge.gif").size(), 1u);
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "huge.gif"));
  // ... and fetched again once a list has left it out and names it anew.
  svc.set_adverts(service::Adverts::defaults());
  refresh();
  EXPECT_TRUE(state.refused_banners.empty());
  svc.set_adverts(*service::Adverts::preset("huge-screen-banner"));
  refresh();
  EXPECT_EQ(requests("/hostile/huge-screen/huge.gif").size(), 2u);

  // Straight from the disk, the same file is refused in the same way.
  const auto huge = gif::testing::huge_screen_gif();
  sys.fs.put(kBanners + "disk.gif", std::string(huge.begin(), huge.end()));
  sys.fs.put(kBanners + "disk.dat", dat("2099", "1", "1", "9", "http://127.0.0.1/d"));
  for (int step = 0; step < 6; ++step) backend.advance(*app, 60000);
  EXPECT_FALSE(sys.fs.file_exists(kBanners + "disk.gif"));
  EXPECT_TRUE(w.imgBanner->model().has_picture());
}

}  // namespace
}  // namespace brevaro::client
