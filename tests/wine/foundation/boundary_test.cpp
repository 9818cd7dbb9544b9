// The system boundary on real Windows API calls (run under Wine): UTF-8
// inside, UTF-16 at the wide ("W") functions, for names in any script: files,
// folders, the registry, shell links, window text and the program's own path;
// the shell's known folders; system libraries loaded from the system folder.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_system.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/timer.h"
#include "ui/win32/win32_backend.h"

namespace brevaro {
namespace {

using platform::win32::narrow;
using platform::win32::widen;

// Each name in UTF-8 as the program holds it and in UTF-16 as the system
// holds it, written independently of the conversion under test.
const struct Script {
  const char* name;
  std::string utf8;
  std::wstring utf16;
} kScripts[] = {
    {"greek", "\xCE\x94\xCE\xB7\xCE\xBC\xCE\xAE\xCF\x84\xCF\x81\xCE\xB7\xCF\x82",
     L"\x0394\x03B7\x03BC\x03AE\x03C4\x03C1\x03B7\x03C2"},                            // Δημήτρης
    {"cjk", "\xE7\x94\xA8\xE6\x88\xB7\xE5\x90\x8D", L"\x7528\x6237\x540D"},           // 用户名
    {"polish", "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", L"Za\x017C\x00F3\x0142\x0107"},  // Zażółć
    {"emoji", "a\xF0\x9F\x98\x80z", L"a\xD83D\xDE00z"},                               // U+1F600, a surrogate pair
    {"ascii", "brevaro 1.0", L"brevaro 1.0"},
    {"empty", "", L""},
};

TEST(WideText, EveryScriptConvertsBothWays) {
  for (const Script& s : kScripts) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(widen(s.utf8), s.utf16);
    EXPECT_EQ(narrow(s.utf16), s.utf8);
  }
}

// Invalid UTF-8 and lone surrogates become U+FFFD; what is valid around
// them is kept.
TEST(WideText, MalformedInputBecomesTheReplacementCharacter) {
  const struct {
    const char* name;
    std::string utf8;
  } bad_utf8[] = {
      {"stray continuation byte", "a\x80z"},   {"truncated sequence", "a\xE7\x94z"}, {"overlong slash", "a\xC0\xAFz"},
      {"encoded surrogate", "a\xED\xA0\x80z"}, {"byte that never occurs", "a\xFFz"},
  };
  for (const auto& c : bad_utf8) {
    SCOPED_TRACE(c.name);
    const std::wstring w = widen(c.utf8);
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(w.front(), L'a');
    EXPECT_EQ(w.back(), L'z');
    for (std::size_t i = 1; i + 1 < w.size(); ++i) EXPECT_EQ(w[i], L'\xFFFD') << i;
  }
  const struct {
    const char* name;
    std::wstring utf16;
  } bad_utf16[] = {
      {"lone high surrogate", std::wstring(L"a") + wchar_t(0xD83D) + L"z"},
      {"lone low surrogate", std::wstring(L"a") + wchar_t(0xDE00) + L"z"},
      {"pair in the wrong order", std::wstring(L"a") + wchar_t(0xDE00) + wchar_t(0xD83D) + L"z"},
  };
  for (const auto& c : bad_utf16) {
    SCOPED_TRACE(c.name);
    const std::string s = narrow(c.utf16);
    std::string want = "a";
    for (std::size_t i = 1; i + 1 < c.utf16.size(); ++i) want += "\xEF\xBF\xBD";
    EXPECT_EQ(s, want + "z");
  }
}

// %TEMP%\ with its backslash; the buffer grows until the folder fits.
std::wstring temp_path() {
  std::wstring buf(64, L'\0');
  for (DWORD n; (n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data())) >= buf.size();) buf.resize(n + 1);
  buf.resize(buf.find(L'\0'));
  return buf;
}

// A folder of the test's own under %TEMP% whose name holds every script.
struct ScriptFolder {
  std::wstring wide;
  std::string utf8;
  ScriptFolder() {
    std::wstring name = L"brevaro-" + std::to_wstring(GetCurrentProcessId());
    for (const Script& s : kScripts)
      if (!s.utf16.empty()) name += L" " + s.utf16;
    wide = temp_path() + name;
    utf8 = narrow(wide);
  }
};

TEST(Win32Boundary, FilesAndFoldersKeepTheirNames) {
  platform::win32::Win32FileSystem fs;
  const ScriptFolder dir;
  platform::create_directories(fs, dir.utf8 + "\\Data");
  // The folder exists under its true UTF-16 name.
  EXPECT_NE(GetFileAttributesW((dir.wide + L"\\Data").c_str()), INVALID_FILE_ATTRIBUTES);
  for (const Script& s : kScripts) {
    if (s.utf8.empty()) continue;
    SCOPED_TRACE(s.name);
    const std::string file = dir.utf8 + "\\Data\\" + s.utf8 + ".ini";
    platform::write_file_atomically(fs, file, s.utf8);
    EXPECT_NE(GetFileAttributesW((dir.wide + L"\\Data\\" + s.utf16 + L".ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fs.read_file(file), s.utf8);
    fs.copy_file(file, file + ".copy");
    EXPECT_TRUE(fs.file_exists(file + ".copy"));
  }
  std::vector<std::string> names;
  for (const auto& e : fs.list_directory(dir.utf8 + "\\Data")) names.push_back(e.name);
  for (const Script& s : kScripts) {
    if (s.utf8.empty()) continue;
    EXPECT_NE(std::find(names.begin(), names.end(), s.utf8 + ".ini"), names.end()) << s.name;
  }
  for (const auto& name : names) fs.delete_file(dir.utf8 + "\\Data\\" + name);
  fs.remove_directory(dir.utf8 + "\\Data");
  fs.remove_directory(dir.utf8);
  EXPECT_FALSE(fs.directory_exists(dir.utf8));
}

// Strings go in as UTF-16 (what any other program reads) and come back as
// the UTF-8 they were.
TEST(Win32Boundary, RegistryStringsAreStoredInUtf16) {
  platform::win32::Win32Registry reg;
  const std::string key = "\\Software\\brevaro-wine-test\\" + kScripts[0].utf8;
  for (const Script& s : kScripts) {
    SCOPED_TRACE(s.name);
    const std::string value_name = "v " + s.utf8;
    reg.write(key, value_name, platform::RegValue{platform::RegType::sz, s.utf8});
    EXPECT_EQ(platform::read_reg_string(reg, key, value_name), s.utf8);
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\brevaro-wine-test\\" + kScripts[0].utf16).c_str(), 0,
                            KEY_READ, &k),
              ERROR_SUCCESS);
    const platform::win32::UniqueKey owned{k};
    std::wstring raw(64, L'\0');
    DWORD size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    DWORD type = 0;
    ASSERT_EQ(
        RegQueryValueExW(k, (L"v " + s.utf16).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(raw.data()), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    raw.resize(size / sizeof(wchar_t));
    EXPECT_EQ(raw, s.utf16 + L'\0');  // with its terminator
    EXPECT_TRUE(reg.delete_value(key, value_name));
  }
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, (L"Software\\brevaro-wine-test\\" + kScripts[0].utf16).c_str()),
            ERROR_SUCCESS);
}

TEST(Win32Boundary, ShellLinksKeepTheirTargetsAndNames) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    platform::win32::Win32FileSystem fs;
    platform::win32::Win32ShellLinks links;
    const ScriptFolder dir;
    fs.create_directory(dir.utf8);
    const std::string target = dir.utf8 + "\\" + kScripts[1].utf8 + ".exe";
    fs.write_file(target, "MZ");
    const std::string link = dir.utf8 + "\\" + kScripts[0].utf8 + ".lnk";
    ASSERT_TRUE(links.save_link(target, link));
    EXPECT_TRUE(fs.file_exists(link));

    IShellLinkW* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&raw))));
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(raw->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    EXPECT_TRUE(SUCCEEDED(file->Load((dir.wide + L"\\" + kScripts[0].utf16 + L".lnk").c_str(), STGM_READ)));
    // The target as the link's item list names it (this Wine keeps the
    // link's plain path in the ANSI code page only).
    ITEMIDLIST* item = nullptr;
    ASSERT_TRUE(SUCCEEDED(raw->GetIDList(&item)) && item);
    wchar_t* got = nullptr;
    EXPECT_TRUE(SUCCEEDED(SHGetNameFromIDList(item, SIGDN_FILESYSPATH, &got)));
    EXPECT_EQ(std::wstring(got ? got : L""), dir.wide + L"\\" + kScripts[1].utf16 + L".exe");
    CoTaskMemFree(got);
    CoTaskMemFree(item);
    file->Release();
    raw->Release();
    fs.delete_file(link);
    fs.delete_file(target);
    fs.remove_directory(dir.utf8);
  }
  CoUninitialize();
}

TEST(Win32Boundary, WindowTextAndMessageBoxCaptions) {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app(backend, sys.ports());
  auto& form = app.create_form<ui::Form>("f", "caption", ui::Size{200, 100}, ui::BorderStyle::single);
  for (const Script& s : kScripts) {
    SCOPED_TRACE(s.name);
    form.set_caption(s.utf8);
    const HWND hwnd = reinterpret_cast<HWND>(form.handle());
    std::wstring shown(64, L'\0');
    shown.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, shown.data(), static_cast<int>(shown.size()))));
    EXPECT_EQ(shown, s.utf16);
    EXPECT_EQ(form.caption(), s.utf8);
  }
  // A message box shows its caption in UTF-16: found by it, and answered.
  const std::wstring caption = L"brevaro " + kScripts[0].utf16 + L" " + kScripts[3].utf16;
  bool found = false;
  auto& t = app.make<ui::Timer>("t", 50);
  t.set_on_timer([&](ui::Timer&) {
    if (HWND box = FindWindowW(L"#32770", caption.c_str())) {
      found = true;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  auto& guard = app.make<ui::Timer>("guard", 10000);
  guard.set_on_timer([&](ui::Timer&) {
    if (HWND box = FindWindowW(L"#32770", nullptr)) PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  app.message_box(kScripts[1].utf8, narrow(caption), ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
  EXPECT_TRUE(found);
}

// The program sees its own path however its folder is named: a copy of
// this test program, started in a folder named in every script, checks what
// executable_path() says against the path it was copied to.
TEST(Win32Boundary, TheProgramSeesItsOwnPath) {
  if (const wchar_t* expected = _wgetenv(L"BREVARO_EXPECTED_EXE")) {
    platform::win32::Win32Process process;
    std::exit(process.executable_path() == narrow(expected) ? 0 : 3);
  }
  platform::win32::Win32FileSystem fs;
  platform::win32::Win32Process process;
  const ScriptFolder dir;
  fs.create_directory(dir.utf8);
  const std::string copy = dir.utf8 + "\\" + kScripts[2].utf8 + ".exe";
  fs.copy_file(process.executable_path(), copy);
  ASSERT_TRUE(SetEnvironmentVariableW(L"BREVARO_EXPECTED_EXE", widen(copy).c_str()));
  std::wstring line = L"\"" + widen(copy) + L"\" --gtest_filter=Win32Boundary.TheProgramSeesItsOwnPath";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  const platform::win32::UniqueKernelHandle child(pi.hProcess);
  CloseHandle(pi.hThread);
  SetEnvironmentVariableW(L"BREVARO_EXPECTED_EXE", nullptr);
  ASSERT_EQ(WaitForSingleObject(child.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(child.get(), &code);
  EXPECT_EQ(code, 0u) << "3: the copy saw another path than " << copy;
  fs.delete_file(copy);
  fs.remove_directory(dir.utf8);
}

// The known folders as the shell names them, without a trailing backslash;
// the user's own programs folder falls back to LocalAppData + "\Programs".
TEST(Win32KnownFolders, ReadBackAsTheShellNamesThem) {
  platform::win32::Win32ShellLinks links;
  const auto csidl = [](int id) {
    std::wstring buf(MAX_PATH, L'\0');  // the size this older call requires
    if (FAILED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, buf.data()))) return std::string();
    buf.resize(buf.find(L'\0'));
    return narrow(buf);
  };
  const struct {
    const char* name;
    platform::SpecialFolder folder;
    int csidl;
  } cases[] = {
      {"desktop", platform::SpecialFolder::desktop_directory, CSIDL_DESKTOPDIRECTORY},
      {"programs", platform::SpecialFolder::programs, CSIDL_PROGRAMS},
      {"start menu", platform::SpecialFolder::start_menu, CSIDL_STARTMENU},
      {"local app data", platform::SpecialFolder::local_app_data, CSIDL_LOCAL_APPDATA},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = links.special_folder(c.folder);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, csidl(c.csidl));
    EXPECT_NE(got->back(), '\\');
  }
  const auto programs = links.special_folder(platform::SpecialFolder::programs);
  const auto start_menu = links.special_folder(platform::SpecialFolder::start_menu);
  EXPECT_EQ(programs->rfind(*start_menu + "\\", 0), 0u) << "the start menu holds the programs folder";

  const auto own = links.special_folder(platform::SpecialFolder::user_program_files);
  ASSERT_TRUE(own);
  wchar_t* raw = nullptr;
  const GUID user_program_files = {0x5CD7AEE2, 0x2219, 0x4A67, {0xB8, 0x5D, 0x6C, 0x9C, 0xE1, 0x56, 0x60, 0xCB}};
  const HRESULT hr = SHGetKnownFolderPath(user_program_files, 0, nullptr, &raw);
  if (SUCCEEDED(hr) && raw) EXPECT_EQ(*own, narrow(raw));
  else EXPECT_EQ(*own, *links.special_folder(platform::SpecialFolder::local_app_data) + "\\Programs");
  CoTaskMemFree(raw);
}

// System libraries come from the system folder; names with a folder in them
// are refused.
TEST(Win32SystemLibrary, LoadsFromTheSystemFolderOnly) {
  EXPECT_TRUE(platform::win32::restrict_library_search());
  const std::wstring system = platform::win32::system_directory();
  ASSERT_FALSE(system.empty());
  for (const wchar_t* name : {L"icmp.dll", L"wsock32.dll", L"atl.dll"}) {
    SCOPED_TRACE(narrow(name));
    const platform::win32::UniqueModule m = platform::win32::load_system_library(name);
    ASSERT_TRUE(m);
    std::wstring path(1024, L'\0');
    path.resize(GetModuleFileNameW(m.get(), path.data(), static_cast<DWORD>(path.size())));
    EXPECT_EQ(CompareStringOrdinal(path.c_str(), static_cast<int>(system.size()), system.c_str(),
                                   static_cast<int>(system.size()), TRUE),
              CSTR_EQUAL)
        << narrow(path);
  }
  for (const wchar_t* name : {L"..\\icmp.dll", L"C:\\icmp.dll", L"sub/icmp.dll", L""}) {
    EXPECT_FALSE(platform::win32::load_system_library(name)) << narrow(name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_FALSE(platform::win32::load_system_library(L"brevaro-no-such-library.dll"));
}

}  // namespace
}  // namespace brevaro
