// A hook library the driver installs for all programs: when an owner-drawn
// popup menu draws an entry, it writes the menu's entries (as the program
// that owns the menu sees them) to %TEMP%\brevaro-menu-probe.txt. Menus are
// private to their process, so only code inside it can read them.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// %TEMP%\brevaro-menu-probe.txt; the buffer grows until the folder fits.
std::wstring probe_path() {
  std::wstring dir(260, L'\0');
  for (;;) {
    const DWORD n = GetTempPathW(static_cast<DWORD>(dir.size()), dir.data());
    if (n < dir.size()) {
      dir.resize(n);
      break;
    }
    dir.resize(n + 1);
  }
  return dir + L"brevaro-menu-probe.txt";
}

void write_entries(HMENU menu) {
  const std::wstring path = probe_path();
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;  // one report per probe
  const int count = GetMenuItemCount(menu);
  if (count <= 0) return;
  std::string text;
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi)) continue;
    text += (mi.fType & MFT_OWNERDRAW) ? "ownerdraw" : "plain";
    text += (mi.fType & MFT_SEPARATOR) ? " separator" : " command";
    if (mi.fState & MFS_DEFAULT) text += " default";
    if (mi.fState & MFS_GRAYED) text += " grayed";
    text += "\r\n";
  }
  const std::wstring part = path + L".part";
  if (FILE* f = _wfopen(part.c_str(), L"wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    MoveFileW(part.c_str(), path.c_str());
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && lp) {
    const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (cwp->message == WM_DRAWITEM && cwp->lParam) {
      const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(cwp->lParam);
      if (dis->CtlType == ODT_MENU) write_entries(reinterpret_cast<HMENU>(dis->hwndItem));
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
