#include "setup/install_form.h"

#include <fstream>
#include <iterator>

#include "config/product_config.h"
#include "setup_fixture.h"

namespace brevaro::setup::testing {
namespace {

constexpr const char* kSource = "C:\\Downloads\\";
constexpr const char* kDest = "C:\\Program Files\\brevaro";

struct Installer : Machine {
  Installer() {
    sys.process.exe_path = std::string(kSource) + "brevaro.exe";
    sys.fs.put(sys.process.exe_path, kExeBytes);
    sys.fs.put(std::string(kSource) + "bv.swf", "FWS movie");
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
  EXPECT_EQ(f.destination(), "C:\\Program Files\\brevaro");
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
  EXPECT_EQ(run_value(), "\"C:\\Program Files\\brevaro\\Tray.exe\"");

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
  EXPECT_EQ(started(), (std::vector<std::string>{"\"C:\\Program Files\\brevaro\\brevaro.exe\"",
                                                 "\"C:\\Program Files\\brevaro\\Tray.exe\""}));
  EXPECT_TRUE(app->terminated());
}

TEST_F(InstallerTest, UncheckingTheBoxStartsOnlyTheTray) {
  auto& f = install();
  f.ckbxStartProgram->set_checked(false);
  press(*f.btn_next);
  EXPECT_EQ(started(), std::vector<std::string>{"\"C:\\Program Files\\brevaro\\Tray.exe\""});
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

TEST_F(InstallerTest, DestinationThatCannotBeCreatedAbortsBeforeAnyCopy) {
  struct Case {
    const char* what;
    void (*arrange)(platform::headless::MemoryFileSystem&);
  } cases[] = {
      {"a file in its place", [](auto& fs) { fs.put(kDest, "not a folder"); }},
      {"a file as its parent", [](auto& fs) { fs.put("C:\\Program Files", "not a folder"); }},
      {"a read-only parent",
       [](auto& fs) {
         platform::create_directories(fs, "C:\\Program Files");
         fs.set_read_only_folder("C:\\Program Files", true);
       }},
  };
  for (const auto& c : cases) {
    Installer m;
    c.arrange(m.sys.fs);
    m.install();
    ASSERT_EQ(m.backend.boxes().size(), 1u) << c.what;
    EXPECT_EQ(m.backend.boxes()[0].text, "Installation aborted, destination directory unable to be created.");
    EXPECT_EQ(m.backend.boxes()[0].buttons, ui::MsgBoxButtons::ok);
    EXPECT_TRUE(m.app->terminated()) << c.what;
    EXPECT_FALSE(m.sys.fs.file_exists(m.d("brevaro.exe"))) << c.what;
    EXPECT_FALSE(m.run_value()) << c.what;
  }
}

TEST_F(InstallerTest, FilesThatDidNotArriveAbortTheInstallation) {
  struct Case {
    const char* what;
    void (*arrange)(Installer&);
    bool aborted;
  } cases[] = {
      {"read-only program folder",
       [](Installer& m) {
         platform::create_directories(m.sys.fs, m.d("Data"));
         m.sys.fs.set_read_only_folder(kDest, true);
       },
       true},
      {"running uninstaller in the way",
       [](Installer& m) {
         m.sys.fs.put(m.d("Data\\x"), "");
         m.sys.fs.put(m.d("Uninstall.exe"), "old");
         m.sys.fs.set_running(m.d("Uninstall.exe"), true);
       },
       true},
      {"no tray resource", [](Installer& m) { m.sys.process.resources.clear(); }, true},
      // A tray program that does not exit keeps its file: the old tray stays
      // and the installation goes on.
      {"locked tray",
       [](Installer& m) {
         m.sys.fs.put(m.d("Tray.exe"), "old tray");
         m.sys.fs.set_running(m.d("Tray.exe"), true);
       },
       false},
      {"no default banner beside the installer", [](Installer& m) { m.sys.fs.delete_file("C:\\Downloads\\bv.swf"); },
       false},
  };
  for (const auto& c : cases) {
    Installer m;
    c.arrange(m);
    auto& f = m.install();
    if (c.aborted) {
      ASSERT_EQ(m.box_texts(),
                std::vector<std::string>{"Installation aborted!\rFiles will not have been installed properly."})
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

TEST_F(InstallerTest, ShortcutFoldersFromTheRegistry) {
  // No desktop value: that link is skipped without a word; a start-menu folder
  // that does not exist yet is made.
  sys.registry.write(kShellFoldersKey, "Desktop", platform::RegValue{platform::RegType::sz, ""});
  sys.registry.set_string(kShellFoldersKey, "Start Menu", "C:\\Elsewhere\\Menu");
  auto& f = install();
  EXPECT_TRUE(backend.boxes().empty());
  ASSERT_EQ(links.saved.size(), 2u);
  EXPECT_EQ(links.saved[0].path, "C:\\Elsewhere\\Menu\\Programs\\brevaro\\brevaro.lnk");
  EXPECT_EQ(links.saved[1].path, "C:\\Elsewhere\\Menu\\Programs\\brevaro\\Uninstall.lnk");
  EXPECT_EQ(f.btn_next->caption(), "&Finish");

  // A desktop folder that does not exist: the link cannot be saved, and is skipped.
  Installer m;
  m.sys.registry.set_string(kShellFoldersKey, "Desktop", "C:\\Missing\\Desktop");
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
  EXPECT_EQ(f.destination(), "C:\\Program Files\\brevaro");
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
