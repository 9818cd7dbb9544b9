// A small Windows console program that the end-to-end tests run under Wine
// to watch and drive the real programs from outside, through the window
// manager's own calls:
//   driver list                          visible top-level windows: handle, pid, process, caption
//   driver wait CAPTION MS               exit 0 once a visible window with that caption exists
//   driver gone CAPTION MS               exit 0 once no visible window has that caption
//   driver press CAPTION BUTTON          clicks the button with that caption in the window
//   driver has CAPTION TEXT              exit 0 when the window has a visible, enabled child with that text
//   driver close CAPTION                 asks the window to close (WM_CLOSE)
//   driver rect CAPTION                  the window's rectangle: L T R B
//   driver region CAPTION                the window region's rectangles ("none" without one)
//   driver click CAPTION X Y [right]     a mouse click at client point X,Y (posted messages)
//   driver resource EXE NAME OUT         writes EXE's raw-data resource NAME to the file OUT
//   driver menus                         how many popup menus are open
//   driver link LNK                      the target path of a shell link, read through IShellLinkW
//   driver mouse CAPTION X Y down|up|move [right]   one mouse message at client X,Y (down and move
//                                        put the cursor there first)
//   driver styles CAPTION                the window's style, extended style and owner caption
//   driver notify CLASS MESSAGE [X Y]    posts a notification-area callback (message 0x800, the mouse
//                                        message in lparam) to the first window of that class, the
//                                        cursor put at X,Y first
//   driver load-library NAME             loads a library by its bare name with the classic search
//                                        (the program's folder first); exit 0 when it loaded
//   driver menu-probe CLASS MESSAGE X Y MS   opens a popup menu by a notification-area callback with
//                                        menu_probe.dll hooked into every program and prints the
//                                        entries of the first owner-drawn menu that draws
//   driver known-folder NAME             the shell's path of a known folder: desktop, programs,
//                                        local-app-data or profile
//   driver reg-read KEY [VALUE]          HKCU\... or HKLM\...: without VALUE exit 0 when the key
//                                        exists; with it prints its type and data ("REG_SZ\ttext",
//                                        "REG_DWORD\tdecimal"), read with RegQueryValueExW
//   driver module-path                   the driver's own path, from GetModuleFileNameW
//   driver elevation                     the token's TokenIsElevated and TokenElevationType, and the
//                                        desktop shell's TokenIsElevated (-1: unknown)
//
// Arguments and output are UTF-8; every call into the system is a wide one.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace {

using brevaro::platform::win32::narrow;
using brevaro::platform::win32::widen;

// The program's arguments in UTF-8, read from the wide command line.
std::vector<std::string> utf8_arguments() {
  std::vector<std::string> out;
  int n = 0;
  if (LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 0; i < n; ++i) out.push_back(narrow(args[i]));
    LocalFree(args);
  }
  return out;
}

// A path the system fills into a buffer, grown until it fits.
template <class Fill>
std::wstring grown(Fill fill) {
  std::wstring buf(260, L'\0');
  for (;;) {
    const DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(std::max<std::size_t>(n, buf.size() * 2));
  }
}

std::wstring module_path() {
  return grown([](wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); });
}

std::wstring temp_dir() {
  return grown([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
}

std::string window_text(HWND h) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
  return narrow(text);
}

struct Found {
  HWND hwnd = nullptr;
  DWORD pid = 0;
  std::string caption;
};

std::string process_name(DWORD pid) {
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return "?";
  const std::wstring image = grown([p](wchar_t* b, DWORD size) {
    DWORD n = size;
    if (QueryFullProcessImageNameW(p, 0, b, &n)) return n;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size : 0;
  });
  std::string name = image.empty() ? "?" : narrow(image);
  CloseHandle(p);
  const auto slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::vector<Found> visible_windows() {
  std::vector<Found> out;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        if (!IsWindowVisible(h)) return TRUE;
        const std::string text = window_text(h);
        if (text.empty()) return TRUE;
        Found f{h, 0, text};
        GetWindowThreadProcessId(h, &f.pid);
        reinterpret_cast<std::vector<Found>*>(lp)->push_back(f);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND find_window(const std::string& caption) {
  for (const auto& f : visible_windows())
    if (f.caption == caption) return f.hwnd;
  return nullptr;
}

// The first child with this text; with `usable`, the first that is also
// visible and enabled.
HWND find_child(HWND parent, const std::string& caption, bool usable = false) {
  struct Ctx {
    std::string caption;
    bool usable;
    HWND found;
  } ctx{caption, usable, nullptr};
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        // The control's own text (an edit box's too, which the window
        // title of another process's control does not hold).
        DWORD_PTR length = 0;
        SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length);
        std::wstring text(length + 1, L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                            &got);
        text.resize(std::min<std::size_t>(got, text.size()));
        if (c->caption == narrow(text) && (!c->usable || (IsWindowVisible(h) && IsWindowEnabled(h)))) {
          c->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// Reads KEY (with its HKCU\ or HKLM\ root) and, with a value name, prints
// the value; exit 1 when the key or value is not there.
int read_registry(const std::string& key, const char* value) {
  HKEY root = nullptr;
  std::string sub;
  if (key.rfind("HKCU\\", 0) == 0) {
    root = HKEY_CURRENT_USER;
  } else if (key.rfind("HKLM\\", 0) == 0) {
    root = HKEY_LOCAL_MACHINE;
  } else {
    std::fprintf(stderr, "no root in %s\n", key.c_str());
    return 2;
  }
  sub = key.substr(5);
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, widen(sub).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
    std::fprintf(stderr, "no key %s\n", key.c_str());
    return 1;
  }
  int rc = 0;
  if (value) {
    const std::wstring name = widen(value);
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (r == ERROR_SUCCESS) r = RegQueryValueExW(h, name.c_str(), nullptr, &type, data.data(), &size);
    if (r != ERROR_SUCCESS) {
      std::fprintf(stderr, "no value %s in %s\n", value, key.c_str());
      rc = 1;
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
      DWORD d = 0;
      std::memcpy(&d, data.data(), sizeof d);
      std::printf("REG_DWORD\t%lu\n", static_cast<unsigned long>(d));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring text(size / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
      // The stored terminating null is no part of the text; any other null is.
      if (!text.empty() && text.back() == L'\0') text.pop_back();
      std::printf("%s\t%s\n", type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ", narrow(text).c_str());
    } else {
      std::printf("type %lu\t%lu bytes\n", static_cast<unsigned long>(type), static_cast<unsigned long>(size));
    }
  }
  RegCloseKey(h);
  return rc;
}

int usage() {
  std::fprintf(stderr, "usage: driver list|wait|gone|press|close|rect|region|click ...\n");
  return 2;
}

}  // namespace

int main(int, char**) {
  const std::vector<std::string> args = utf8_arguments();
  std::vector<const char*> pointers;
  for (const auto& a : args) pointers.push_back(a.c_str());
  const int argc = static_cast<int>(pointers.size());
  const char* const* argv = pointers.data();
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  if (cmd == "list") {
    for (const auto& f : visible_windows())
      std::printf("%p\t%lu\t%s\t%s\n", static_cast<void*>(f.hwnd), f.pid, process_name(f.pid).c_str(),
                  f.caption.c_str());
    return 0;
  }
  if (cmd == "resource" && argc > 4) {
    HMODULE m = LoadLibraryExW(widen(argv[2]).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return 1;
    HRSRC r = FindResourceW(m, widen(argv[3]).c_str(), MAKEINTRESOURCEW(10));
    HGLOBAL g = r ? LoadResource(m, r) : nullptr;
    const void* data = g ? LockResource(g) : nullptr;
    if (!data) {
      std::fprintf(stderr, "no resource %s\n", argv[3]);
      return 1;
    }
    FILE* out = _wfopen(widen(argv[4]).c_str(), L"wb");
    if (!out) return 1;
    std::fwrite(data, 1, SizeofResource(m, r), out);
    std::fclose(out);
    FreeLibrary(m);
    return 0;
  }
  if (cmd == "link" && argc > 2) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    int rc = 1;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
      IPersistFile* file = nullptr;
      if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        // A link holds no longer path than the system's longest one.
        std::wstring target(32768, L'\0');
        if (SUCCEEDED(file->Load(widen(argv[2]).c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(target.data(), static_cast<int>(target.size()), nullptr, SLGP_RAWPATH))) {
          target.resize(target.find(L'\0'));
          // The item list names the target in UTF-16 (this Wine keeps the
          // plain path in the ANSI code page only).
          ITEMIDLIST* item = nullptr;
          wchar_t* named = nullptr;
          if (SUCCEEDED(link->GetIDList(&item)) && item &&
              SUCCEEDED(SHGetNameFromIDList(item, SIGDN_FILESYSPATH, &named)) && named)
            target = named;
          CoTaskMemFree(named);
          CoTaskMemFree(item);
          std::printf("%s\n", narrow(target).c_str());
          rc = 0;
        }
        file->Release();
      }
      link->Release();
    }
    CoUninitialize();
    return rc;
  }
  if (cmd == "known-folder" && argc > 2) {
    const std::string name = argv[2];
    const KNOWNFOLDERID* id = name == "desktop"          ? &FOLDERID_Desktop
                              : name == "programs"       ? &FOLDERID_Programs
                              : name == "local-app-data" ? &FOLDERID_LocalAppData
                              : name == "profile"        ? &FOLDERID_Profile
                                                         : nullptr;
    wchar_t* path = nullptr;
    if (!id || FAILED(SHGetKnownFolderPath(*id, 0, nullptr, &path)) || !path) {
      std::fprintf(stderr, "no known folder %s\n", argv[2]);
      return 1;
    }
    std::printf("%s\n", narrow(path).c_str());
    CoTaskMemFree(path);
    return 0;
  }
  if (cmd == "reg-read" && argc > 2) return read_registry(argv[2], argc > 3 ? argv[3] : nullptr);
  if (cmd == "elevation") {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 1;
    TOKEN_ELEVATION elevated{};
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevated, sizeof elevated, &size) &&
                    GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    CloseHandle(token);
    if (!ok) return 1;
    // The desktop shell's elevation too: -1 when it cannot be read.
    int shell_elevated = -1;
    DWORD pid = 0;
    if (HWND shell = GetShellWindow()) GetWindowThreadProcessId(shell, &pid);
    if (HANDLE process = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : nullptr) {
      HANDLE shell_token = nullptr;
      if (OpenProcessToken(process, TOKEN_QUERY, &shell_token)) {
        TOKEN_ELEVATION se{};
        if (GetTokenInformation(shell_token, TokenElevation, &se, sizeof se, &size))
          shell_elevated = se.TokenIsElevated != 0 ? 1 : 0;
        CloseHandle(shell_token);
      }
      CloseHandle(process);
    }
    std::printf("%lu %d %d\n", static_cast<unsigned long>(elevated.TokenIsElevated), static_cast<int>(type),
                shell_elevated);
    return 0;
  }
  if (cmd == "module-path") {
    std::printf("%s\n", narrow(module_path()).c_str());
    return 0;
  }
  if (cmd == "load-library" && argc > 2) {
    HMODULE m = LoadLibraryW(widen(argv[2]).c_str());
    if (!m) {
      std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[2], GetLastError());
      return 1;
    }
    FreeLibrary(m);
    return 0;
  }
  if (cmd == "menus") {
    int open = 0;
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
          wchar_t cls[64] = {};
          GetClassNameW(h, cls, 64);
          if (IsWindowVisible(h) && std::wstring_view(cls) == L"#32768") ++*reinterpret_cast<int*>(lp);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&open));
    std::printf("%d\n", open);
    return 0;
  }
  if (cmd == "notify" && argc > 3) {
    HWND target = FindWindowW(widen(argv[2]).c_str(), nullptr);
    if (!target) {
      std::fprintf(stderr, "no window of class %s\n", argv[2]);
      return 1;
    }
    if (argc > 5) SetCursorPos(std::atoi(argv[4]), std::atoi(argv[5]));
    PostMessageW(target, 0x0800, 1, std::atoi(argv[3]));
    return 0;
  }
  if (cmd == "menu-probe" && argc > 6) {
    const std::wstring report = temp_dir() + L"brevaro-menu-probe.txt";
    DeleteFileW(report.c_str());
    std::wstring lib = module_path();
    lib = lib.substr(0, lib.find_last_of(L'\\') + 1) + L"menu_probe.dll";
    HMODULE probe = LoadLibraryW(lib.c_str());  // by its full path
    const auto proc =
        probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "probe_hook"))) : nullptr;
    HHOOK hook = proc ? SetWindowsHookExW(WH_CALLWNDPROC, proc, probe, 0) : nullptr;
    HWND target = FindWindowW(widen(argv[2]).c_str(), nullptr);
    if (!hook || !target) {
      std::fprintf(stderr, "cannot probe: hook %p, window %p\n", static_cast<void*>(hook), static_cast<void*>(target));
      return 1;
    }
    SetCursorPos(std::atoi(argv[4]), std::atoi(argv[5]));
    PostMessageW(target, 0x0800, 1, std::atoi(argv[3]));
    const DWORD limit = static_cast<DWORD>(std::atoi(argv[6]));
    const DWORD start = GetTickCount();
    int status = 1;
    while (GetTickCount() - start < limit) {
      if (FILE* f = _wfopen(report.c_str(), L"rb")) {
        char buf[4096] = {};
        const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        std::fwrite(buf, 1, n, stdout);
        status = 0;
        break;
      }
      Sleep(50);
    }
    UnhookWindowsHookEx(hook);
    if (status) std::fprintf(stderr, "no owner-drawn menu drew within %lu ms\n", limit);
    return status;
  }
  if (argc < 3) return usage();
  const std::string caption = argv[2];
  if (cmd == "wait" || cmd == "gone") {
    const DWORD limit = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 10000;
    const DWORD start = GetTickCount();
    for (;;) {
      const bool present = find_window(caption) != nullptr;
      if (present == (cmd == "wait")) return 0;
      if (GetTickCount() - start > limit) {
        std::fprintf(stderr, "timed out waiting for \"%s\" to %s\n", caption.c_str(), cmd == "wait" ? "appear" : "go");
        return 1;
      }
      Sleep(50);
    }
  }
  HWND w = find_window(caption);
  if (!w) {
    std::fprintf(stderr, "no window \"%s\"\n", caption.c_str());
    return 1;
  }
  if (cmd == "press" && argc > 3) {
    HWND b = find_child(w, argv[3]);
    if (!b) {
      std::fprintf(stderr, "no button \"%s\"\n", argv[3]);
      return 1;
    }
    PostMessageW(b, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "has" && argc > 3) {
    return find_child(w, argv[3], true) ? 0 : 1;
  }
  if (cmd == "close") {
    PostMessageW(w, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == "styles") {
    std::string owner;
    if (HWND o = GetWindow(w, GW_OWNER)) owner = window_text(o);
    std::printf("%08lx %08lx %s\n", static_cast<unsigned long>(GetWindowLongPtrW(w, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongPtrW(w, GWL_EXSTYLE)), owner.c_str());
    return 0;
  }
  if (cmd == "rect") {
    RECT r{};
    GetWindowRect(w, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  if (cmd == "region") {
    const brevaro::platform::win32::UniqueRegion owned{CreateRectRgn(0, 0, 0, 0)};
    HRGN rgn = owned.get();
    const int kind = GetWindowRgn(w, rgn);
    if (kind == ERROR) {
      std::printf("none\n");
      return 0;
    }
    const DWORD size = GetRegionData(rgn, 0, nullptr);
    std::vector<char> buf(size);
    auto* data = reinterpret_cast<RGNDATA*>(buf.data());
    GetRegionData(rgn, size, data);
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    for (DWORD i = 0; i < data->rdh.nCount; ++i)
      std::printf("rect %ld %ld %ld %ld\n", rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
    return 0;
  }
  if (cmd == "mouse" && argc > 5) {
    const int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
    const std::string what = argv[5];
    const bool right = argc > 6 && std::string(argv[6]) == "right";
    POINT screen{x, y};
    ClientToScreen(w, &screen);
    // A release happens where the cursor already is.
    if (what != "up") SetCursorPos(screen.x, screen.y);
    const LPARAM lp = MAKELPARAM(x, y);
    UINT m = WM_MOUSEMOVE;
    WPARAM keys = 0;
    if (what == "down") {
      m = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
      keys = right ? MK_RBUTTON : MK_LBUTTON;
    } else if (what == "up") {
      m = right ? WM_RBUTTONUP : WM_LBUTTONUP;
    }
    PostMessageW(w, m, keys, lp);
    return 0;
  }
  if (cmd == "click" && argc > 4) {
    const int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
    const bool right = argc > 5 && std::string(argv[5]) == "right";
    POINT screen{x, y};
    ClientToScreen(w, &screen);
    SetCursorPos(screen.x, screen.y);
    HWND target = ChildWindowFromPoint(w, POINT{x, y});
    if (!target) target = w;
    POINT local{screen.x, screen.y};
    ScreenToClient(target, &local);
    const LPARAM lp = MAKELPARAM(local.x, local.y);
    PostMessageW(target, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, lp);
    PostMessageW(target, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, lp);
    return 0;
  }
  return usage();
}
