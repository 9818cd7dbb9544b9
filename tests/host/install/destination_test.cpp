#include <gtest/gtest.h>

#include <string>

#include "install/apps_entry.h"
#include "install/destination.h"
#include "install/layout.h"
#include "platform/headless/headless.h"
#include "platform/headless/headless_shell_links.h"

namespace brevaro::install {
namespace {

namespace headless = platform::headless;

TEST(Destination, TheDefaultIsTheUsersOwnProgramsFolder) {
  headless::MemoryFileSystem fs;
  headless::RecordingShellLinks shell(fs);
  shell.folders[platform::SpecialFolder::user_program_files] = "C:\\users\\Δημήτρης\\AppData\\Local\\Programs";
  EXPECT_EQ(default_destination(shell), "C:\\users\\Δημήτρης\\AppData\\Local\\Programs\\brevaro");
  // A system that does not name UserProgramFiles: LocalAppData + "\Programs".
  shell.folders.erase(platform::SpecialFolder::user_program_files);
  shell.folders[platform::SpecialFolder::local_app_data] = "D:\\Profiles\\李雷\\AppData\\Local";
  EXPECT_EQ(default_destination(shell), "D:\\Profiles\\李雷\\AppData\\Local\\Programs\\brevaro");
  shell.folders.clear();
  EXPECT_EQ(default_destination(shell), std::nullopt);
}

TEST(Destination, TypedFoldersAreMadeAbsolute) {
  struct Case {
    const char* typed;
    std::optional<std::string> absolute;
  } cases[] = {
      {"C:", "C:\\"},
      {"d:", "d:\\"},
      {"C:apps", "C:\\apps"},
      {"C:/Users/Łukasz/apps/", "C:\\Users\\Łukasz\\apps"},
      {"C:\\", "C:\\"},
      {"  E:\\x\\\\ ", "E:\\x"},
      {"\\\\server\\share\\apps", "\\\\server\\share\\apps"},
      {"apps", std::nullopt},
      {"\\apps", std::nullopt},
      {"\\\\server", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(absolute_folder(c.typed), c.absolute) << c.typed;
  EXPECT_EQ(destination_in("D:\\"), "D:\\brevaro");
  EXPECT_EQ(destination_in("D:\\Apps\\"), "D:\\Apps\\brevaro");
}

TEST(Destination, LengthIsCountedInTheSystemsCharacters) {
  EXPECT_EQ(system_length("abc"), 3u);
  EXPECT_EQ(system_length("Δημήτρης"), 8u);  // two bytes each
  EXPECT_EQ(system_length("李雷"), 2u);      // three bytes each
  EXPECT_EQ(system_length("😀"), 2u);         // four bytes: a surrogate pair
}

struct Checked {
  headless::MemoryFileSystem fs;
  Checked() {
    fs.put("C:\\Program Files\\other\\x.txt", "x");
    fs.put("C:\\Users\\u\\AppData\\Local\\Programs\\keep.txt", "x");
    fs.put("C:\\Downloads\\brevaro.exe", "MZ");
    fs.put("C:\\Users\\u\\file", "not a folder");
    fs.set_read_only_folder("C:\\Program Files", true);
    fs.set_read_only_folder("C:\\Program Files\\other", true);
  }
};

TEST(Destination, ChecksRefuseWhatWouldFailBeforeAnythingIsCreated) {
  const std::string deep = "C:\\" + std::string(170, 'a');
  const std::string deep_cjk = "C:\\" + [] {
    std::string s;
    for (int i = 0; i < 170; ++i) s += "李";
    return s;
  }();
  struct Case {
    std::string destination;
    DestinationProblem problem;
    std::string folder;
  } cases[] = {
      {"C:\\Users\\u\\AppData\\Local\\Programs\\brevaro", DestinationProblem::none, ""},
      {"C:\\Users\\u\\AppData\\Local\\Programs\\new\\deeper\\brevaro", DestinationProblem::none, ""},
      {"C:\\Program Files\\brevaro", DestinationProblem::not_writable, "C:\\Program Files"},
      {"C:\\Program Files\\other", DestinationProblem::not_writable, "C:\\Program Files\\other"},
      {"C:\\Users\\u\\file\\brevaro", DestinationProblem::file_in_the_way, "C:\\Users\\u\\file"},
      {"C:\\Downloads", DestinationProblem::installer_folder, "C:\\Downloads"},
      {"c:\\downloads\\", DestinationProblem::installer_folder, "c:\\downloads"},
      {"brevaro", DestinationProblem::not_absolute, "brevaro"},
      {deep, DestinationProblem::none, ""},
      {deep + std::string(20, 'b'), DestinationProblem::too_long, deep + std::string(20, 'b')},
      {deep_cjk, DestinationProblem::none, ""},  // 510 bytes, 173 characters
  };
  for (const auto& c : cases) {
    Checked m;
    const std::size_t writes = m.fs.write_count();
    const bool existed = m.fs.directory_exists(c.destination);
    const DestinationCheck r = check_destination(m.fs, c.destination, "C:\\Downloads\\");
    EXPECT_EQ(r.problem, c.problem) << c.destination;
    if (c.problem != DestinationProblem::none) {
      EXPECT_EQ(r.folder, c.folder) << c.destination;
      EXPECT_NE(destination_message(r).find(c.folder), std::string::npos) << destination_message(r);
    }
    // Nothing is left behind: no folder made, the probe file gone again.
    EXPECT_EQ(m.fs.directory_exists(c.destination), existed) << c.destination;
    EXPECT_LE(m.fs.write_count(), writes + 1) << c.destination;
    EXPECT_FALSE(m.fs.file_exists("C:\\Users\\u\\AppData\\Local\\Programs\\~brevaro-setup-probe.tmp"));
  }
}

TEST(AppsEntry, WrittenWithEveryValueAndRemovedWhole) {
  headless::MemoryFileSystem fs;
  fs.put("C:\\Users\\李雷\\Programs\\brevaro\\brevaro.exe", std::string(3000, 'x'));
  fs.put("C:\\Users\\李雷\\Programs\\brevaro\\Data\\Brevaro.ini", std::string(100, 'x'));
  fs.put("C:\\Users\\李雷\\Programs\\brevaro\\Data\\Banners\\a.gif", std::string(1000, 'x'));
  headless::MemoryRegistry reg;
  const std::string folder = "C:\\Users\\李雷\\Programs\\brevaro";
  const std::uint32_t kib = installed_size_kib(fs, folder);
  EXPECT_EQ(kib, 5u);  // 4100 bytes, rounded up
  write_apps_entry(reg, folder + "\\", "1.0", kib);
  const auto text = [&](const char* name) { return platform::read_reg_string(reg, kUninstallKey, name); };
  EXPECT_EQ(text("DisplayName"), "brevaro");
  EXPECT_EQ(text("DisplayVersion"), "1.0");
  EXPECT_EQ(text("Publisher"), "brevaro");
  EXPECT_EQ(text("InstallLocation"), folder);
  EXPECT_EQ(text("DisplayIcon"), folder + "\\brevaro.exe");
  EXPECT_EQ(text("UninstallString"), "\"" + folder + "\\Uninstall.exe\"");
  for (const auto& [name, value] : {std::pair{"NoModify", 1}, {"NoRepair", 1}, {"EstimatedSize", 5}})
    EXPECT_EQ(platform::read_reg_integer(reg, kUninstallKey, name), value) << name;
  EXPECT_TRUE(remove_apps_entry(reg));
  EXPECT_FALSE(reg.has_key(kUninstallKey));
  EXPECT_FALSE(remove_apps_entry(reg));
}

TEST(Layout, AnInstallationIsTheClientWithItsSettings) {
  struct Case {
    const char* what;
    std::vector<const char*> files;
    bool installation;
  } cases[] = {
      {"client and settings", {"brevaro.exe", "Data\\Brevaro.ini"}, true},
      {"the tray program alone", {"Tray.exe"}, false},
      {"the tray program and the uninstaller", {"Tray.exe", "Uninstall.exe"}, false},
      {"a client without settings", {"brevaro.exe", "Data\\x.gif"}, false},
      {"settings without a client", {"Data\\Brevaro.ini", "Uninstall.exe"}, false},
  };
  for (const auto& c : cases) {
    headless::MemoryFileSystem fs;
    fs.put("C:\\p\\readme.txt", "x");
    for (const char* f : c.files) fs.put(std::string("C:\\p\\") + f, "x");
    EXPECT_EQ(is_installation(fs, "C:\\p\\"), c.installation) << c.what;
  }
  EXPECT_EQ(link_name("C:\\p\\Uninstall.exe"), "Uninstall.lnk");
  EXPECT_EQ(program_command("C:\\a b", kTrayExe), "\"C:\\a b\\Tray.exe\"");
}

}  // namespace
}  // namespace brevaro::install
