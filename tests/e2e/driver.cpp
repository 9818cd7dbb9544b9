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
//   driver link LNK                      the target path of a shell link, read through IShellLinkA
//   driver mouse CAPTION X Y down|up|move [right]   one mouse message at client X,Y (down and move
//                                        put the cursor there first)
//   driver styles CAPTION                the window's style, extended style and owner caption
//   driver notify CLASS MESSAGE [X Y]    posts a notification-area callback (message 0x800, the mouse
//                                        message in lparam) to the first window of that class, the
//                                        cursor put at X,Y first
//   driver menu-probe CLASS MESSAGE X Y MS   opens a popup menu by a notification-area callback with
//                                        menu_probe.dll hooked into every program and prints the
//                                        entries of the first owner-drawn menu that draws
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Found {
  HWND hwnd = nullptr;
  DWORD pid = 0;
  std::string caption;
};

std::string process_name(DWORD pid) {
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return "?";
  char buf[MAX_PATH] = {};
  DWORD n = sizeof buf;
  std::string name = QueryFullProcessImageNameA(p, 0, buf, &n) ? std::string(buf, n) : "?";
  CloseHandle(p);
  const auto slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::vector<Found> visible_windows() {
  std::vector<Found> out;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        if (!IsWindowVisible(h)) return TRUE;
        char text[512] = {};
        GetWindowTextA(h, text, sizeof text);
        if (!text[0]) return TRUE;
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
        char text[512] = {};
        // The control's own text (an edit box's too, which the window
        // title of another process's control does not hold).
        SendMessageTimeoutA(h, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                            nullptr);
        if (c->caption == text && (!c->usable || (IsWindowVisible(h) && IsWindowEnabled(h)))) {
          c->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

int usage() {
  std::fprintf(stderr, "usage: driver list|wait|gone|press|close|rect|region|click ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  if (cmd == "list") {
    for (const auto& f : visible_windows())
      std::printf("%p\t%lu\t%s\t%s\n", static_cast<void*>(f.hwnd), f.pid, process_name(f.pid).c_str(),
                  f.caption.c_str());
    return 0;
  }
  if (cmd == "resource" && argc > 4) {
    HMODULE m = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return 1;
    HRSRC r = FindResourceA(m, argv[3], MAKEINTRESOURCEA(10));
    HGLOBAL g = r ? LoadResource(m, r) : nullptr;
    const void* data = g ? LockResource(g) : nullptr;
    if (!data) {
      std::fprintf(stderr, "no resource %s\n", argv[3]);
      return 1;
    }
    FILE* out = std::fopen(argv[4], "wb");
    if (!out) return 1;
    std::fwrite(data, 1, SizeofResource(m, r), out);
    std::fclose(out);
    FreeLibrary(m);
    return 0;
  }
  if (cmd == "link" && argc > 2) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    int rc = 1;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
      IPersistFile* file = nullptr;
      if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, argv[2], -1, wide, MAX_PATH);
        char target[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide, STGM_READ)) &&
            SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
          std::printf("%s\n", target);
          rc = 0;
        }
        file->Release();
      }
      link->Release();
    }
    CoUninitialize();
    return rc;
  }
  if (cmd == "menus") {
    int open = 0;
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
          char cls[64] = {};
          GetClassNameA(h, cls, sizeof cls);
          if (IsWindowVisible(h) && std::string(cls) == "#32768") ++*reinterpret_cast<int*>(lp);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&open));
    std::printf("%d\n", open);
    return 0;
  }
  if (cmd == "notify" && argc > 3) {
    HWND target = FindWindowA(argv[2], nullptr);
    if (!target) {
      std::fprintf(stderr, "no window of class %s\n", argv[2]);
      return 1;
    }
    if (argc > 5) SetCursorPos(std::atoi(argv[4]), std::atoi(argv[5]));
    PostMessageA(target, 0x0800, 1, std::atoi(argv[3]));
    return 0;
  }
  if (cmd == "menu-probe" && argc > 6) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    const std::string report = std::string(dir) + "brevaro-menu-probe.txt";
    DeleteFileA(report.c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string lib(self);
    lib = lib.substr(0, lib.find_last_of('\\') + 1) + "menu_probe.dll";
    HMODULE probe = LoadLibraryA(lib.c_str());
    const auto proc =
        probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "probe_hook"))) : nullptr;
    HHOOK hook = proc ? SetWindowsHookExA(WH_CALLWNDPROC, proc, probe, 0) : nullptr;
    HWND target = FindWindowA(argv[2], nullptr);
    if (!hook || !target) {
      std::fprintf(stderr, "cannot probe: hook %p, window %p\n", static_cast<void*>(hook), static_cast<void*>(target));
      return 1;
    }
    SetCursorPos(std::atoi(argv[4]), std::atoi(argv[5]));
    PostMessageA(target, 0x0800, 1, std::atoi(argv[3]));
    const DWORD limit = static_cast<DWORD>(std::atoi(argv[6]));
    const DWORD start = GetTickCount();
    int status = 1;
    while (GetTickCount() - start < limit) {
      if (FILE* f = std::fopen(report.c_str(), "rb")) {
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
    PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "has" && argc > 3) {
    return find_child(w, argv[3], true) ? 0 : 1;
  }
  if (cmd == "close") {
    PostMessageA(w, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == "styles") {
    char owner[512] = {};
    if (HWND o = GetWindow(w, GW_OWNER)) GetWindowTextA(o, owner, sizeof owner);
    std::printf("%08lx %08lx %s\n", static_cast<unsigned long>(GetWindowLongPtrA(w, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongPtrA(w, GWL_EXSTYLE)), owner);
    return 0;
  }
  if (cmd == "rect") {
    RECT r{};
    GetWindowRect(w, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  if (cmd == "region") {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(w, rgn);
    if (kind == ERROR) {
      std::printf("none\n");
      DeleteObject(rgn);
      return 0;
    }
    const DWORD size = GetRegionData(rgn, 0, nullptr);
    std::vector<char> buf(size);
    auto* data = reinterpret_cast<RGNDATA*>(buf.data());
    GetRegionData(rgn, size, data);
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    for (DWORD i = 0; i < data->rdh.nCount; ++i)
      std::printf("rect %ld %ld %ld %ld\n", rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
    DeleteObject(rgn);
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
    PostMessageA(w, m, keys, lp);
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
    PostMessageA(target, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, lp);
    PostMessageA(target, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, lp);
    return 0;
  }
  return usage();
}
