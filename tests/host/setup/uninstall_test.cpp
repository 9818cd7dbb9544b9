#include "setup/uninstall_form.h"

#include "install/apps_entry.h"
#include "install/close_request.h"
#include "setup_fixture.h"
#include "ui/timer.h"

namespace brevaro::setup::testing {
namespace {

constexpr const char* kP = "C:\\Program Files\\brevaro\\";

// An installed program folder with the uninstaller running from it.
struct Uninstaller : Machine {
  Uninstaller() {
    sys.process.exe_path = p("Uninstall.exe");
    for (const char* f : {"Uninstall.exe", "brevaro.exe"}) sys.fs.put(p(f), kExeBytes);
    sys.fs.set_running(p("Uninstall.exe"), true);  // the uninstaller itself
    sys.fs.put(p("Tray.exe"), kTrayBytes);
    sys.fs.put(p("Data\\Brevaro.ini"), "[Default]\r\nUN=200103051407090123\r\n");
    sys.fs.put(p("Data\\error.htm"), "<html>");
    sys.fs.put(p("Data\\bv.swf"), "FWS");
    sys.fs.put(p("Data\\Banners\\a.gif"), "GIF89a");
    sys.fs.put(p("Data\\Banners\\a.dat"), "link");
    sys.fs.put(p("Data\\Download\\b.gif"), "GIF8");
    sys.fs.put(p("BVClosed.dat"), "BVClosed.\r\n");  // from an earlier close request
    links.save_link(p("brevaro.exe"), std::string(kDesktop) + "\\brevaro.lnk");
    platform::create_directories(sys.fs, std::string(kPrograms) + "\\brevaro");
    links.save_link(p("brevaro.exe"), std::string(kPrograms) + "\\brevaro\\brevaro.lnk");
    links.save_link(p("Uninstall.exe"), std::string(kPrograms) + "\\brevaro\\Uninstall.lnk");
    sys.registry.set_string(install::kRunKey, install::kRunValue, "\"C:\\Program Files\\brevaro\\Tray.exe\"");
    install::write_apps_entry(sys.registry, kP, "1.0", 100);
  }
  static std::string p(const char* rel) { return std::string(kP) + rel; }
  // The tray program or the client as a running program: its executable
  // is locked, and it answers its request from a 100 ms polling timer once
  // `answers_after_ms` have passed (never when none).
  void running(const char* exe, const install::CloseMarkers& markers, std::optional<std::uint64_t> answers_after_ms) {
    sys.fs.set_running(p(exe), true);
    if (!answers_after_ms) return;
    auto& poll = app->make<ui::Timer>("", install::kClosePollMs);
    const std::uint64_t from = backend.now() + *answers_after_ms;
    poll.set_on_timer([this, exe, &markers, from, &poll](ui::Timer&) {
      if (backend.now() < from || !install::answer_close_request(sys.fs, kP, markers)) return;
      sys.fs.set_running(p(exe), false);
      poll.set_enabled(false);
    });
  }
};
struct UninstallerTest : ::testing::Test, Uninstaller {};

TEST_F(UninstallerTest, NeitherProgramRunning) {
  auto& f = open<Tfrm_uninstall>();
  EXPECT_EQ(f.caption(), "brevaro program un-installer");
  EXPECT_EQ(f.program_folder(), kP);
  EXPECT_EQ(f.Notebook->active_page(), f.P1);
  EXPECT_EQ(f.Memo1->lines().at(2), "This program will Un-install the brevaro program from your system.");
  EXPECT_FALSE(f.btn_back->enabled());
  const auto before = backend.now();
  press(*f.btn_next);
  EXPECT_EQ(backend.now(), before);  // both executables went at the first try
  EXPECT_TRUE(backend.boxes().empty());

  // Only the program folder and the running uninstaller remain.
  ASSERT_EQ(sys.fs.list_directory(kP).size(), 1u);
  EXPECT_TRUE(sys.fs.file_exists(p("Uninstall.exe")));
  // The request files written for programs that were not running went with
  // the other plain files, and so did the stale answer.
  for (const char* marker : {"TClose.dat", "Close.dat", "BVClosed.dat", "TClosed.dat"})
    EXPECT_FALSE(sys.fs.file_exists(p(marker))) << marker;
  EXPECT_FALSE(sys.fs.file_exists(std::string(kDesktop) + "\\brevaro.lnk"));
  EXPECT_FALSE(sys.fs.directory_exists(std::string(kPrograms) + "\\brevaro"));
  EXPECT_TRUE(sys.fs.directory_exists(kPrograms));
  EXPECT_FALSE(run_value());
  EXPECT_FALSE(sys.registry.has_key(install::kUninstallKey));

  EXPECT_EQ(f.Notebook->active_page(), f.P2);
  EXPECT_EQ(f.Memo3->lines(), std::vector<std::string>{"brevaro program has been un-installed successfully."});
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_FALSE(f.btn_back->enabled());
  EXPECT_FALSE(f.btn_cancel->enabled());
  press(*f.btn_next);
  EXPECT_TRUE(app->terminated());
}

TEST_F(UninstallerTest, ProgramsThatCloseAfterAFewPolls) {
  auto& f = open<Tfrm_uninstall>();
  running("Tray.exe", install::kTrayMarkers, 1200);
  running("brevaro.exe", install::kClientMarkers, 0);
  std::uint64_t client_asked_at = 0;
  auto& watch = app->make<ui::Timer>("", 50);
  watch.set_on_timer([&](ui::Timer& t) {
    if (!sys.fs.file_exists(p("Close.dat"))) return;
    client_asked_at = backend.now();
    t.set_enabled(false);
  });
  press(*f.btn_next);
  EXPECT_TRUE(backend.boxes().empty());
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_FALSE(sys.fs.file_exists(p("Tray.exe")));
  EXPECT_FALSE(sys.fs.file_exists(p("brevaro.exe")));
  // The client is asked only once the tray program has gone, within the
  // 500 ms retry after its answer.
  EXPECT_GE(client_asked_at, 1200u);
  EXPECT_LE(client_asked_at, 2000u);
  EXPECT_LE(backend.now(), 3000u);
}

TEST_F(UninstallerTest, ProgramThatNeverClosesBringsTheQuestionAfterThirtySeconds) {
  struct Case {
    const char* exe;
    const install::CloseMarkers* markers;
    const char* name;
  } cases[] = {{"Tray.exe", &install::kTrayMarkers, "brevaro tray program"},
               {"brevaro.exe", &install::kClientMarkers, "brevaro program"}};
  for (const auto& c : cases) {
    // "No": the uninstallation stops before anything else is removed.
    {
      Uninstaller m;
      auto& f = m.open<Tfrm_uninstall>();
      m.running(c.exe, *c.markers, std::nullopt);
      m.backend.answer_next_box(ui::MsgBoxResult::no);
      m.backend.answer_next_box(ui::MsgBoxResult::ok);
      m.press(*f.btn_next);
      ASSERT_EQ(m.backend.boxes().size(), 2u) << c.exe;
      EXPECT_EQ(m.backend.boxes()[0].text,
                std::string("The ") + c.name +
                    " has not closed yet, so it cannot be removed.\rKeep waiting for it to close?");
      EXPECT_GE(m.backend.boxes()[0].at_ms, 30000u);
      EXPECT_LT(m.backend.boxes()[0].at_ms, 31000u);
      EXPECT_EQ(m.backend.boxes()[1].text, std::string("The un-installation has been stopped because the ") + c.name +
                                               " did not close.\rNothing else has been removed. Close it and run the "
                                               "un-installer again.");
      EXPECT_TRUE(m.sys.fs.file_exists(p(c.exe)));
      EXPECT_TRUE(m.sys.fs.file_exists(p("Data\\Brevaro.ini")));
      EXPECT_TRUE(m.sys.fs.file_exists(std::string(kDesktop) + "\\brevaro.lnk"));
      EXPECT_TRUE(m.run_value());
      // The client is not asked while the tray program still runs.
      if (std::string(c.exe) == "Tray.exe") {
        EXPECT_FALSE(m.sys.fs.file_exists(p("Close.dat")));
      }
      // Back on the welcome page, ready to try again.
      EXPECT_EQ(f.Notebook->active_page(), f.P1);
      EXPECT_TRUE(f.btn_next->enabled());
      EXPECT_TRUE(f.btn_cancel->enabled());
    }
    // "Yes": it keeps waiting, and the program closes later.
    {
      Uninstaller m;
      auto& f = m.open<Tfrm_uninstall>();
      m.running(c.exe, *c.markers, 45000);
      m.backend.answer_next_box(ui::MsgBoxResult::yes);
      m.press(*f.btn_next);
      ASSERT_EQ(m.backend.boxes().size(), 1u) << c.exe;
      EXPECT_EQ(f.btn_next->caption(), "&Finish");
      EXPECT_FALSE(m.sys.fs.file_exists(p(c.exe)));
      EXPECT_GE(m.backend.now(), 45000u);
    }
  }
}

TEST_F(UninstallerTest, HiddenSystemFilesAndForeignFoldersStay) {
  sys.fs.put(p("desktop.ini"), "[.ShellClassInfo]");
  sys.fs.set_attributes(p("desktop.ini"), true, true);
  sys.fs.put(p("Data\\Banners\\thumbs.db"), "x");
  sys.fs.set_attributes(p("Data\\Banners\\thumbs.db"), true, false);
  sys.fs.put(p("Data\\Mine\\notes.txt"), "mine");
  sys.fs.put(p("readme.txt"), "plain files of the user go too");
  sys.fs.put("C:\\Program Files\\other.txt", "outside");
  auto& f = open<Tfrm_uninstall>();
  press(*f.btn_next);
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_TRUE(sys.fs.file_exists(p("desktop.ini")));
  EXPECT_TRUE(sys.fs.file_exists(p("Data\\Banners\\thumbs.db")));
  EXPECT_TRUE(sys.fs.file_exists(p("Data\\Mine\\notes.txt")));
  EXPECT_TRUE(sys.fs.directory_exists(p("Data\\Banners")));
  EXPECT_TRUE(sys.fs.directory_exists(p("Data")));
  EXPECT_FALSE(sys.fs.directory_exists(p("Data\\Download")));
  EXPECT_FALSE(sys.fs.file_exists(p("readme.txt")));
  EXPECT_FALSE(sys.fs.file_exists(p("Data\\Brevaro.ini")));
  EXPECT_EQ(file("C:\\Program Files\\other.txt"), "outside");
}

TEST_F(UninstallerTest, NothingOutsideTheProgramFolderButShortcutsAndRunValue) {
  // The Run value names another place, and other folders hold links of the
  // same name: only the shell's own folders are looked at, and only the
  // value is removed.
  sys.fs.put("C:\\Other\\brevaro.lnk", "someone else's link");
  sys.registry.set_string(install::kRunKey, install::kRunValue, "\"C:\\Other\\Tray.exe\"");
  sys.fs.put("C:\\Other\\Tray.exe", "other");
  sys.fs.put(std::string(kPrograms) + "\\brevaro\\keep.txt", "user file");
  auto& f = open<Tfrm_uninstall>();
  press(*f.btn_next);
  EXPECT_EQ(file("C:\\Other\\brevaro.lnk"), "someone else's link");
  EXPECT_EQ(file("C:\\Other\\Tray.exe"), "other");
  EXPECT_FALSE(run_value());
  EXPECT_FALSE(sys.fs.file_exists(std::string(kPrograms) + "\\brevaro\\brevaro.lnk"));
  EXPECT_TRUE(sys.fs.file_exists(std::string(kPrograms) + "\\brevaro\\keep.txt"));
}

TEST_F(UninstallerTest, MissingShortcutsAndRunValueCauseNoMessage) {
  sys.fs.delete_file(std::string(kDesktop) + "\\brevaro.lnk");
  sys.registry.delete_value(install::kRunKey, install::kRunValue);
  install::remove_apps_entry(sys.registry);
  links.folders.clear();
  auto& f = open<Tfrm_uninstall>();
  press(*f.btn_next);
  EXPECT_TRUE(backend.boxes().empty());
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_TRUE(sys.fs.file_exists(std::string(kPrograms) + "\\brevaro\\Uninstall.lnk"));  // no Programs folder known
}

TEST_F(UninstallerTest, AFolderWithoutAnInstallationIsLeftAlone) {
  Machine m;
  m.sys.process.exe_path = "C:\\Users\\user\\Downloads\\Uninstall.exe";
  m.sys.fs.put(m.sys.process.exe_path, kExeBytes);
  m.sys.fs.put("C:\\Users\\user\\Downloads\\letter.doc", "precious");
  auto& f = m.open<Tfrm_uninstall>();
  m.press(*f.btn_next);
  ASSERT_EQ(m.backend.boxes().size(), 1u);
  EXPECT_EQ(m.backend.boxes()[0].text,
            "No brevaro installation was found in C:\\Users\\user\\Downloads\\\rNothing has been removed.");
  EXPECT_EQ(m.file("C:\\Users\\user\\Downloads\\letter.doc"), "precious");
  EXPECT_FALSE(m.sys.fs.file_exists("C:\\Users\\user\\Downloads\\TClose.dat"));
  EXPECT_EQ(f.Notebook->active_page(), f.P1);
}

TEST_F(UninstallerTest, OnlyTheInstallersOwnFilesMakeAnInstallation) {
  // A tray program alone (or beside an uninstaller copy) is not enough.
  Machine m;
  m.sys.process.exe_path = "C:\\Users\\user\\Downloads\\Uninstall.exe";
  m.sys.fs.put(m.sys.process.exe_path, kExeBytes);
  m.sys.fs.put("C:\\Users\\user\\Downloads\\Tray.exe", "MZ someone's tray");
  m.sys.fs.put("C:\\Users\\user\\Downloads\\photo.jpg", "precious");
  auto& f = m.open<Tfrm_uninstall>();
  m.press(*f.btn_next);
  ASSERT_EQ(m.backend.boxes().size(), 1u);
  EXPECT_EQ(m.file("C:\\Users\\user\\Downloads\\photo.jpg"), "precious");
  EXPECT_EQ(m.file("C:\\Users\\user\\Downloads\\Tray.exe"), "MZ someone's tray");
  EXPECT_FALSE(m.sys.fs.file_exists("C:\\Users\\user\\Downloads\\TClose.dat"));
}

TEST_F(UninstallerTest, ARequestFileThatCannotBeWrittenStopsWithTheErrorAndRemovesNothing) {
  struct Case {
    const char* what;
    const char* request;
    bool tray_running;  // the client is asked only once the tray program has gone
  } cases[] = {
      {"a folder named like the tray's request", "TClose.dat", true},
      {"a folder named like the client's request", "Close.dat", false},
  };
  for (const auto& c : cases) {
    Uninstaller m;
    if (c.tray_running) m.sys.fs.set_running(p("Tray.exe"), true);
    m.sys.fs.set_running(p("brevaro.exe"), true);
    m.sys.fs.create_directory(p(c.request));
    auto& f = m.open<Tfrm_uninstall>();
    const auto before = m.backend.now();
    m.press(*f.btn_next);
    EXPECT_EQ(m.app->errors_shown().size(), 1u) << c.what;
    EXPECT_EQ(m.backend.now(), before) << c.what;  // no wait for a program that was never asked
    EXPECT_EQ(m.sys.fs.file_exists(p("Tray.exe")), c.tray_running) << c.what;
    for (const char* kept : {"brevaro.exe", "Data\\Brevaro.ini", "Data\\Banners\\a.gif"})
      EXPECT_TRUE(m.sys.fs.file_exists(p(kept))) << c.what << " " << kept;
    EXPECT_TRUE(m.run_value()) << c.what;
    EXPECT_TRUE(m.sys.registry.has_key(install::kUninstallKey)) << c.what;
    EXPECT_FALSE(f.btn_next->enabled()) << c.what;  // the form stays removing; only its close box leaves it
  }
}

TEST_F(UninstallerTest, LinksInTheDataFolderAreNotFollowed) {
  // Data\Banners is a junction into the user's pictures: its files are not
  // the installation's.
  sys.fs.put("C:\\Users\\user\\Pictures\\holiday.jpg", "precious");
  sys.fs.put(p("Data\\Banners\\holiday.jpg"), "precious (through the junction)");
  sys.fs.set_link(p("Data\\Banners"), true);
  auto& f = open<Tfrm_uninstall>();
  press(*f.btn_next);
  EXPECT_EQ(f.btn_next->caption(), "&Finish");
  EXPECT_TRUE(sys.fs.file_exists(p("Data\\Banners\\holiday.jpg")));
  EXPECT_TRUE(sys.fs.file_exists(p("Data\\Banners\\a.gif")));
  EXPECT_FALSE(sys.fs.file_exists(p("Data\\Download\\b.gif")));
  EXPECT_FALSE(sys.fs.file_exists(p("Data\\Brevaro.ini")));

  // The whole data folder a link: none of it is emptied.
  Uninstaller m;
  m.sys.fs.set_link(p("Data"), true);
  auto& g = m.open<Tfrm_uninstall>();
  m.press(*g.btn_next);
  EXPECT_TRUE(m.sys.fs.file_exists(p("Data\\Download\\b.gif")));
  EXPECT_TRUE(m.sys.fs.file_exists(p("Data\\Brevaro.ini")));
  EXPECT_FALSE(m.sys.fs.file_exists(p("brevaro.exe")));
}

TEST_F(UninstallerTest, CloseBoxDuringTheRemovalTakesEffectAtItsEnd) {
  auto& f = open<Tfrm_uninstall>();
  running("Tray.exe", install::kTrayMarkers, 2000);
  auto& closer = app->make<ui::Timer>("", 700);
  closer.set_on_timer([&](ui::Timer& t) {
    t.set_enabled(false);
    f.close();
  });
  press(*f.btn_next);
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(sys.fs.file_exists(p("brevaro.exe")));  // the removal ran to its end first
  EXPECT_FALSE(sys.fs.directory_exists(p("Data\\Download")));
}

}  // namespace
}  // namespace brevaro::setup::testing
