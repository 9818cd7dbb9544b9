#include "ui/win32/win32_folder_dialog.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>

namespace brevaro::ui::win32 {

namespace {

struct BrowseState {
  std::string start;
  std::string typed;  // a folder the user typed that the browser does not know
};

int CALLBACK browse_callback(HWND dialog, UINT message, LPARAM lp, LPARAM data) {
  auto* state = reinterpret_cast<BrowseState*>(data);
  switch (message) {
    case BFFM_INITIALIZED:
      if (!state->start.empty())
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(state->start.c_str()));
      break;
    case BFFM_VALIDATEFAILEDA:
      // A folder that does not exist yet: the caller asks before it is made.
      state->typed = reinterpret_cast<const char*>(lp);
      return 0;  // close the dialog with this answer
    default: break;
  }
  return 0;
}

struct ItemFree {
  void operator()(ITEMIDLIST* p) const noexcept { CoTaskMemFree(p); }
};

}  // namespace

std::optional<std::string> Win32FolderDialog::select_directory(std::string_view start) {
  BrowseState state{std::string(start), {}};
  while (state.start.size() > 3 && state.start.back() == '\\') state.start.pop_back();
  char display[MAX_PATH] = {};
  BROWSEINFOA bi{};
  bi.hwndOwner = GetActiveWindow();
  bi.pszDisplayName = display;
  bi.lpszTitle = "Select the directory you wish to install into";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
  bi.lpfn = &browse_callback;
  bi.lParam = reinterpret_cast<LPARAM>(&state);
  std::unique_ptr<ITEMIDLIST, ItemFree> item{SHBrowseForFolderA(&bi)};
  if (!state.typed.empty()) {
    // A relative name is taken inside the folder that was selected.
    const bool absolute = state.typed.size() > 1 && (state.typed[1] == ':' || state.typed.rfind("\\\\", 0) == 0);
    if (absolute || !item) return state.typed;
    char base[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(item.get(), base)) return state.typed;
    std::string joined(base);
    if (!joined.empty() && joined.back() != '\\') joined += '\\';
    return joined + state.typed;
  }
  if (!item) return std::nullopt;
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(item.get(), path) || !path[0]) return std::nullopt;
  return std::string(path);
}

}  // namespace brevaro::ui::win32
