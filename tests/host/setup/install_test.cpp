#include "setup/install_form.h"

#include <fstream>
#include <iterator>

#include "config/product_config.h"
#include "install/destination.h"
#include "setup_fixture.h"
#include "ui/timer.h"

namespace brevaro::setup::testing {
namespace {

constexpr const char* kSource = "C:\\Downloads\\";
constexpr const char* kDest = "C:\\Users\\user\\AppData\\Local\\Programs\\brevaro";

struct Installer : Machine {
  Installer() {
    sys.process.exe_path = std::string(kSource) + "brevaro.exe";
    sys.fs.put(sys.process.exe_path, kExeBytes);
    sys.fs.put(std::string(kSource) + "bv.swf", "FWS movie");
    // Downloaded with a browser: each file carries the zone mark.
    sys.fs.write_file(sys.process.exe_path + ":Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    sys.fs.write_file(std::string(kSource) + "bv.swf:Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
  }
  Tfrm_install& form() { return dynamic_cast<Tfrm_install&>(*app->main_form()); }
  // Welcome -> destination -> installation.
  Tfrm_install& install() {
    auto& f = open<Tfrm_install>();
    press(*f.btn_next);
    press(*f.btn_next);
    return f;
  }
  std::string d(const char* rel) const { return std::string(kDest) + "\\" + rel; }
  std::vector<std::string> started() const {
    std::vector<std::string> out;
    for (const auto& c : sys.shell.calls)
      if (c.kind == platform::headless::RecordingShell::Call::start) out.push_back(c.target);
    return out;
  }
};
struct InstallerTest : ::testing::Test, Installer {};

TEST_F(InstallerTest, WizardPagesTextsAndButtonStates) {
  // The welcome picture from the artwork, shown again on the last page.
  std::ifstream art(BREVARO_SOURCE_DIR "/res/art/install-image1.bmp", std::ios::binary);
  const std::string bmp((std::istreambuf_iterator<char>(art)), std::istreambuf_iterator<char>());
  auto& res = sys.process.resources["INSTALL1"];
  res.resize(bmp.size());
  std::memcpy(res.data(), bmp.data(), bmp.size());
  auto& f = open<Tfrm_install>();
  EXPECT_EQ(f.Image1->picture().width, 175);
  EXPECT_EQ(f.Image3->picture().pixels, f.Image1->picture().pixels);
  EXPECT_EQ(f.caption(), "brevaro program installation");
  EXPECT_EQ(f.client_size(), (ui::Size{435, 266}));
  ASSERT_EQ(f.Notebook->page_count(), 3u);
  EXPECT_EQ(f.Notebook->page(2).name(), "P4");
  EXPECT_EQ(f.Notebook->active_page(), f.P1);
  EXPECT_EQ(f.Memo1->lines().front(), "Welcome to brevaro.");
  EXPECT_EQ(f.destination(), kDest);  // the user's own programs folder
  EXPECT_EQ(f.panWebLink->text(), config::website_host);
  EXPECT_FALSE(f.btn_back->enabled());
  EXPECT_TRUE(f.btn_next->enabled());
  EXPECT_EQ(f.btn_next->caption(), "&Next >");

  press(*f.btn_next);
  EXPECT_EQ(f.Notebook->active_page(), f.P2);
  EXPECT_TRUE(f.btn_back->enabled());
  press(*f.btn_back);
  EXPECT_EQ(f.Notebook->active_page(), f.P1);
  EXPECT_FALSE(f.btn_back->enabled());
  EXPECT_FALSE(sys.fs.directory_exists(kDest));  // nothing happens before the second Next
}

TEST_F(InstallerTest, InstallsIntoANewFolder) {
  sys.clock.set_start(base::LocalDateTime{{2026, 12, 10}, {9, 5, 3, 42}});
  auto& f = install();
  EXPECT_TRUE(backend.boxes().empty());
  for (const char* dir : {"", "Data", "Data\\Download", "Data\\Banners"})
    EXPECT_TRUE(sys.fs.directory_exists(d(dir))) << dir;
  EXPECT_EQ(file(d("brevaro.exe")), kExeBytes);
  EXPECT_EQ(file(d("Uninstall.exe")), kExeBytes);
  EXPECT_EQ(file(d("Tray.exe")), kTrayBytes);
  EXPECT_EQ(file(d("Data\\bv.swf")), "FWS movie");
  EXPECT_EQ(file(d("Data\\Brevaro.ini")), "[Default]\r\nUN=202612100905030042\r\n");

  EXPECT_EQ(links.target_of(std::string(kDesktop) + "\\brevaro.lnk"), d("brevaro.exe"));
  EXPECT_EQ(links.target_of(std::string(kPrograms) + "\\brevaro\\brevaro.lnk"), d("brevaro.exe"));
  EXPECT_EQ(links.target_of(std::string(kPrograms) + "\\brevaro\\Uninstall.lnk"), d("Uninstall.exe"));
  EXPECT_EQ(run_value(), "\"" + d("Tray.exe") + "\"");
  // Settings -> Apps knows it; the copies carry no zone mark of the download.
  EXPECT_EQ(platform::read_reg_string(sys.registry, install::kUninstallKey, "UninstallString"),
            "\"" + d("Uninstall.exe") + "\"");
  EXPECT_EQ(platform::read_reg_string(sys.registry, install::kUninstallKey, "DisplayVersion"), config::version);
  for (const char* copy : {"brevaro.exe", "Uninstall.exe", "Data\\bv.swf"})
    EXPECT_FALSE(sys.fs.file_exists(d(copy) + ":Zone.Identifier")) << copy;

  // Done: Back never comes back; Finish starts both programs and closes.
  EXPECT_EQ(f.Notebook->active_page(), f.P4);
  EXPECT_FALSE(f.btn_back->enabled());
  EXPECT_FALSE(f.btn_cancel->enabled());
  EXPECT_FALSE(f.btn_filename->enabled());
  EXPECT_TRUE(f.btn_next->enabled());
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_TRUE(f.ckbxStartProgram->checked());
  EXPECT_TRUE(started().empty());
  press(*f.btn_next);
  EXPECT_EQ(started(), (std::vector<std::string>{"\"" + d("brevaro.exe") + "\"", "\"" + d("Tray.exe") + "\""}));
  EXPECT_TRUE(app->terminated());
}

TEST_F(InstallerTest, UncheckingTheBoxStartsOnlyTheTray) {
  auto& f = install();
  f.ckbxStartProgram->set_checked(false);
  press(*f.btn_next);
  EXPECT_EQ(started(), std::vector<std::string>{"\"" + d("Tray.exe") + "\""});
}

TEST_F(InstallerTest, ExistingFoldersGetOnlyTheDataFolder) {
  struct Case {
    bool data;
  } cases[] = {{true}, {false}};
  for (const auto& c : cases) {
    Installer m;
    platform::create_directories(m.sys.fs, c.data ? m.d("Data") : kDest);
    m.install();
    EXPECT_TRUE(m.sys.fs.directory_exists(m.d("Data")));
    EXPECT_FALSE(m.sys.fs.directory_exists(m.d("Data\\Download"))) << c.data;
    EXPECT_FALSE(m.sys.fs.directory_exists(m.d("Data\\Banners"))) << c.data;
    EXPECT_TRUE(m.sys.fs.file_exists(m.d("Data\\Brevaro.ini")));
  }
}

TEST_F(InstallerTest, OldSettingsLoseTheirDefaultSectionAndKeepTheOthers) {
  sys.fs.put(d("Data\\Brevaro.ini"),
             "[Default]\r\nTop=10\r\nLeft=20\r\nNextAd=3\r\nUN=199901010000000000\r\n[Proxy]\r\nHost=a;b\r\n");
  install();
  const auto ini = base::IniDocument::parse(file(d("Data\\Brevaro.ini")));
  EXPECT_EQ(ini.find("Proxy", "Host"), "a;b");
  for (const char* key : {"Top", "Left", "NextAd"}) EXPECT_FALSE(ini.find("Default", key)) << key;
  const std::string un = ini.read_string("Default", "UN", "");
  EXPECT_EQ(un.size(), 18u);
  EXPECT_EQ(un.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_NE(un, "199901010000000000");
}

TEST_F(InstallerTest, SettingsThatAreNotIniTextStillGetTheirIdentifier) {
  sys.fs.put(d("Data\\Brevaro.ini"), std::string("\x00\xff\x89PNG\r\n\x1a\n[[[", 12));
  install();
  EXPECT_EQ(base::IniDocument::parse(file(d("Data\\Brevaro.ini"))).read_string("Default", "UN", "").size(), 18u);
  EXPECT_EQ(form().btn_next->caption(), "&Finish");
}

TEST_F(InstallerTest, ARefusedDestinationKeepsTheWizardOnItsPage) {
  struct Case {
    const char* what;
    void (*arrange)(Installer&);
    install::DestinationProblem problem;
    const char* folder;
  } cases[] = {
      {"a file in its place", [](Installer& m) { m.sys.fs.put(kDest, "not a folder"); },
       install::DestinationProblem::file_in_the_way, kDest},
      {"a file as its parent", [](Installer& m) { m.sys.fs.put(kUserPrograms, "not a folder"); },
       install::DestinationProblem::file_in_the_way, kUserPrograms},
      {"a read-only parent",
       [](Installer& m) {
         platform::create_directories(m.sys.fs, kUserPrograms);
         m.sys.fs.set_read_only_folder(kUserPrograms, true);
       },
       install::DestinationProblem::not_writable, kUserPrograms},
      {"a read-only program folder",
       [](Installer& m) {
         platform::create_directories(m.sys.fs, m.d("Data"));
         m.sys.fs.set_read_only_folder(kDest, true);
       },
       install::DestinationProblem::not_writable, kDest},
      {"the installer's own folder",
       [](Installer& m) { m.sys.process.exe_path = std::string(kDest) + "\\brevaro.exe"; },
       install::DestinationProblem::installer_folder, kDest},
  };
  for (const auto& c : cases) {
    Installer m;
    c.arrange(m);
    if (!m.sys.fs.file_exists(m.sys.process.exe_path)) m.sys.fs.put(m.sys.process.exe_path, kExeBytes);
    auto& f = m.install();
    EXPECT_EQ(m.box_texts(), std::vector<std::string>{install::destination_message({c.problem, c.folder})}) << c.what;
    EXPECT_EQ(m.backend.boxes()[0].buttons, ui::MsgBoxButtons::ok);
    // Still on the destination page, ready for another choice.
    EXPECT_FALSE(m.app->terminated()) << c.what;
    EXPECT_EQ(f.Notebook->active_page(), f.P2) << c.what;
    for (ui::Button* b : {f.btn_back, f.btn_next, f.btn_cancel, f.btn_filename}) EXPECT_TRUE(b->enabled()) << c.what;
    EXPECT_FALSE(m.sys.fs.directory_exists(m.d("Data\\Download"))) << c.what;
    EXPECT_FALSE(m.sys.fs.file_exists(m.d("Uninstall.exe"))) << c.what;
    EXPECT_FALSE(m.run_value()) << c.what;
  }
}

TEST_F(InstallerTest, FilesThatDidNotArriveAbortTheInstallationNamingTheFile) {
  struct Case {
    const char* what;
    void (*arrange)(Installer&);
    const char* failed;  // none: the installation goes on
  } cases[] = {
      {"running uninstaller in the way",
       [](Installer& m) {
         m.sys.fs.put(m.d("Data\\x"), "");
         m.sys.fs.put(m.d("Uninstall.exe"), "old");
         m.sys.fs.set_running(m.d("Uninstall.exe"), true);
       },
       "Uninstall.exe"},
      {"no tray resource", [](Installer& m) { m.sys.process.resources.clear(); }, "Tray.exe"},
      {"no default banner beside the installer", [](Installer& m) { m.sys.fs.delete_file("C:\\Downloads\\bv.swf"); },
       nullptr},
  };
  for (const auto& c : cases) {
    Installer m;
    c.arrange(m);
    auto& f = m.install();
    if (c.failed) {
      ASSERT_EQ(m.box_texts(), std::vector<std::string>{"Installation aborted!\rFiles will not have been installed "
                                                        "properly.\r" +
                                                        m.d(c.failed)})
          << c.what;
      EXPECT_TRUE(m.app->terminated()) << c.what;
      EXPECT_FALSE(m.sys.fs.file_exists(m.d("Data\\Brevaro.ini"))) << c.what;
      EXPECT_FALSE(m.run_value()) << c.what;
    } else {
      EXPECT_TRUE(m.backend.boxes().empty()) << c.what;
      EXPECT_EQ(f.btn_next->caption(), "&Finish") << c.what;
    }
  }
}

TEST_F(InstallerTest, TheDefaultMovieComesFromTheProgramWhenNoneLiesBesideIt) {
  sys.fs.delete_file(std::string(kSource) + "bv.swf");
  auto& res = sys.process.resources["DEFAULTMOVIE"];
  const std::string movie = "FWS from the resource";
  res.resize(movie.size());
  std::memcpy(res.data(), movie.data(), movie.size());
  install();
  EXPECT_EQ(file(d("Data\\bv.swf")), movie);
}

TEST_F(InstallerTest, InstallingOverARunningInstallationAsksItsProgramsToClose) {
  struct Case {
    const char* what;
    int closes_after_pauses;  // the programs answer at this pause; 0: never
    bool keep_waiting;
    bool installed;
    bool requests_deletable = true;  // false: seen while still being written, so still open
  } cases[] = {{"both close", 3, false, true},
               {"both close without deleting their requests", 3, false, true, false},
               {"they do not close and the user stops waiting", 0, false, false}};
  for (const auto& c : cases) {
    Installer m;
    m.sys.fs.put(m.d("Data\\Brevaro.ini"), "[Default]\r\nUN=199901010000000000\r\n");
    for (const char* exe : {"brevaro.exe", "Tray.exe"}) {
      m.sys.fs.put(m.d(exe), "old");
      m.sys.fs.set_running(m.d(exe), true);
    }
    // The running programs look for their requests as the wizard waits.
    int pauses = 0;
    auto& f = m.open<Tfrm_install>();
    auto& poll = m.app->make<ui::Timer>("", install::kCloseRetryMs);
    poll.set_on_timer([&](ui::Timer&) {
      if (c.closes_after_pauses == 0 || ++pauses < c.closes_after_pauses) return;
      for (const auto* markers : {&install::kTrayMarkers, &install::kClientMarkers}) {
        const std::string request = std::string(kDest) + "\\" + std::string(markers->request);
        if (!m.sys.fs.file_exists(request)) continue;
        if (c.requests_deletable) {
          ASSERT_TRUE(install::answer_close_request(m.sys.fs, std::string(kDest) + "\\", *markers));
        } else {
          m.sys.fs.put(std::string(kDest) + "\\" + std::string(markers->answer), "answered");
        }
        m.sys.fs.set_running(m.d(std::string(markers->executable).c_str()), false);
      }
    });
    m.backend.answer_next_box(c.keep_waiting ? ui::MsgBoxResult::yes : ui::MsgBoxResult::no);
    m.press(*f.btn_next);
    m.press(*f.btn_next);
    if (c.installed) {
      EXPECT_TRUE(m.backend.boxes().empty()) << c.what;
      EXPECT_EQ(m.file(m.d("brevaro.exe")), kExeBytes) << c.what;
      EXPECT_EQ(m.file(m.d("Tray.exe")), kTrayBytes) << c.what;
      EXPECT_EQ(f.Notebook->active_page(), f.P4) << c.what;
      // No request stays behind to close the programs' next start.
      EXPECT_FALSE(m.sys.fs.file_exists(m.d("TClose.dat"))) << c.what;
      EXPECT_FALSE(m.sys.fs.file_exists(m.d("Close.dat"))) << c.what;
    } else {
      // The question after 30 s, "No", and the reason: the wizard stays on its page.
      ASSERT_EQ(m.box_texts().size(), 2u) << c.what;
      EXPECT_EQ(m.box_texts()[1], kProgramsStillRunning) << c.what;
      EXPECT_EQ(f.Notebook->active_page(), f.P2) << c.what;
      EXPECT_TRUE(f.btn_next->enabled()) << c.what;
      EXPECT_FALSE(m.sys.fs.file_exists(m.d("TClose.dat"))) << c.what;  // taken back
      EXPECT_EQ(m.file(m.d("brevaro.exe")), "old") << c.what;
    }
  }
}

TEST_F(InstallerTest, ElevatedInstallersNeverStartTheProgramsAndOtherAccountsStop) {
  Installer elevated;
  elevated.sys.process.elevated_as = {true, false};
  auto& f = elevated.install();
  elevated.press(*f.btn_next);  // Finish
  EXPECT_TRUE(elevated.started().empty());
  EXPECT_EQ(elevated.box_texts(), std::vector<std::string>{std::string(kStartFromTheStartMenu)});
  EXPECT_TRUE(elevated.app->terminated());

  Installer other;
  other.sys.process.elevated_as = {true, true};
  other.install();
  EXPECT_EQ(other.box_texts(), std::vector<std::string>{std::string(kOtherAccount)});
  EXPECT_TRUE(other.app->terminated());
  EXPECT_FALSE(other.sys.fs.directory_exists(kDest));
  EXPECT_FALSE(other.run_value());
}

TEST_F(InstallerTest, ShortcutFoldersFromTheShell) {
  // No desktop folder: that link is skipped without a word; a Programs folder
  // that does not exist yet gets its brevaro folder made.
  links.folders.erase(platform::SpecialFolder::desktop_directory);
  links.folders[platform::SpecialFolder::programs] = "C:\\Elsewhere\\Menu\\Programs";
  auto& f = install();
  EXPECT_TRUE(backend.boxes().empty());
  ASSERT_EQ(links.saved.size(), 2u);
  EXPECT_EQ(links.saved[0].path, "C:\\Elsewhere\\Menu\\Programs\\brevaro\\brevaro.lnk");
  EXPECT_EQ(links.saved[1].path, "C:\\Elsewhere\\Menu\\Programs\\brevaro\\Uninstall.lnk");
  EXPECT_EQ(f.btn_next->caption(), "&Finish");

  // A desktop folder that does not exist: the link cannot be saved, and is skipped.
  Installer m;
  m.links.folders[platform::SpecialFolder::desktop_directory] = "C:\\Missing\\Desktop";
  m.install();
  EXPECT_TRUE(m.backend.boxes().empty());
  EXPECT_EQ(m.links.saved.size(), 2u);
  EXPECT_FALSE(m.sys.fs.directory_exists("C:\\Missing"));
}

TEST_F(InstallerTest, UncaughtErrorsLeaveTheWizardInstalling) {
  struct Case {
    const char* what;
    void (*arrange)(Installer&);
  } cases[] = {
      {"link object", [](Installer& m) { m.links.fail_create = true; }},
      {"settings file",
       [](Installer& m) {
         platform::create_directories(m.sys.fs, m.d("Data"));
         m.sys.fs.set_read_only_folder(m.d("Data"), true);
       }},
  };
  for (const auto& c : cases) {
    Installer m;
    c.arrange(m);
    auto& f = m.install();
    EXPECT_EQ(m.app->errors_shown().size(), 1u) << c.what;
    EXPECT_EQ(f.Notebook->active_page(), f.P2) << c.what;
    for (ui::Button* b : {f.btn_back, f.btn_next, f.btn_cancel, f.btn_filename}) EXPECT_FALSE(b->enabled()) << c.what;
    EXPECT_FALSE(m.app->terminated());
  }
}

TEST_F(InstallerTest, FolderDialogChoosesTheProductSubFolder) {
  platform::create_directories(sys.fs, "C:\\Apps");
  folders.answers = {std::nullopt, "C:\\", "C:\\Apps", "C:\\New", "C:\\New"};
  auto& f = open<Tfrm_install>();
  press(*f.btn_next);

  press(*f.btn_filename);  // cancelled
  EXPECT_EQ(f.destination(), kDest);
  press(*f.btn_filename);  // a drive root
  EXPECT_EQ(f.destination(), "C:\\brevaro");
  press(*f.btn_filename);
  EXPECT_EQ(f.destination(), "C:\\Apps\\brevaro");
  // A folder that does not exist is made only when the user agrees.
  backend.answer_next_box(ui::MsgBoxResult::no);
  press(*f.btn_filename);
  EXPECT_EQ(f.destination(), "C:\\Apps\\brevaro");
  EXPECT_FALSE(sys.fs.directory_exists("C:\\New"));
  backend.answer_next_box(ui::MsgBoxResult::yes);
  press(*f.btn_filename);
  EXPECT_TRUE(sys.fs.directory_exists("C:\\New"));
  EXPECT_EQ(f.destination(), "C:\\New\\brevaro");
  // Each dialog starts where the previous confirmed one ended.
  EXPECT_EQ(folders.starts, (std::vector<std::string>{kSource, kSource, "C:\\", "C:\\Apps", "C:\\Apps"}));

  press(*f.btn_next);
  EXPECT_EQ(file("C:\\New\\brevaro\\brevaro.exe"), kExeBytes);
  EXPECT_EQ(run_value(), "\"C:\\New\\brevaro\\Tray.exe\"");
}

TEST_F(InstallerTest, TypedFoldersAreMadeAbsoluteAndCheckedLikeTheDefault) {
  sys.fs.put("C:\\Locked\\x", "");
  sys.fs.set_read_only_folder("C:\\Locked", true);
  folders.answers = {"C:", "relative\\path", "C:\\Locked", "C:" + std::string(250, 'x')};
  auto& f = open<Tfrm_install>();
  press(*f.btn_next);
  press(*f.btn_filename);  // a bare drive is its root
  EXPECT_EQ(f.destination(), "C:\\brevaro");
  for (int i = 0; i < 3; ++i) press(*f.btn_filename);  // each refused: the destination stays
  EXPECT_EQ(f.destination(), "C:\\brevaro");
  ASSERT_EQ(box_texts().size(), 3u);
  EXPECT_EQ(box_texts()[0],
            install::destination_message({install::DestinationProblem::not_absolute, "relative\\path"}));
  EXPECT_EQ(box_texts()[1], install::destination_message({install::DestinationProblem::not_writable, "C:\\Locked"}));
  EXPECT_NE(box_texts()[2].find("too deep"), std::string::npos);
  EXPECT_FALSE(sys.fs.directory_exists("C:\\" + std::string(250, 'x')));  // refused before it was made
}

TEST_F(InstallerTest, CancelAsksAndTheWebLinkOpensTheSite) {
  auto& f = open<Tfrm_install>();
  backend.answer_next_box(ui::MsgBoxResult::no);
  press(*f.btn_cancel);
  EXPECT_EQ(box_texts(), std::vector<std::string>{"Are you sure you want to abort the installation?"});
  EXPECT_EQ(backend.boxes()[0].buttons, ui::MsgBoxButtons::yes_no);
  EXPECT_FALSE(app->terminated());

  const auto colour = [&] { return dynamic_cast<ui::Label&>(*f.find_component("panWebLinkCaption")).font().color; };
  backend.mouse(*f.panWebLink, ui::msg::mouse_move, ui::Point{5, 5});
  backend.advance(*app, 0);
  EXPECT_EQ(colour(), ui::kRed);
  backend.mouse(*f.P1, ui::msg::mouse_move, ui::Point{300, 5});
  backend.advance(*app, 0);
  EXPECT_EQ(colour(), ui::kBlack);
  backend.mouse(*f.panWebLink, ui::msg::mouse_move, ui::Point{5, 5});
  backend.mouse(*f.panWebLink, ui::msg::lbutton_down, ui::Point{5, 5});
  backend.advance(*app, 0);
  EXPECT_EQ(colour(), ui::kBlack);
  ASSERT_EQ(sys.shell.calls.size(), 1u);
  EXPECT_EQ(sys.shell.calls[0].target, config::website_url);
  EXPECT_EQ(sys.shell.calls[0].show, platform::ShowState::maximized);

  backend.answer_next_box(ui::MsgBoxResult::yes);
  press(*f.btn_cancel);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.directory_exists(kDest));
}

}  // namespace
}  // namespace brevaro::setup::testing
