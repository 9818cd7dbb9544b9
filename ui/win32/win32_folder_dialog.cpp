#include "ui/win32/win32_folder_dialog.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "platform/win32/wide.h"

namespace brevaro::ui::win32 {

namespace {

using platform::win32::narrow;
using platform::win32::widen;

struct BrowseState {
  std::wstring start;
  std::wstring typed;  // a folder the user typed that the browser does not know
};

int CALLBACK browse_callback(HWND dialog, UINT message, LPARAM lp, LPARAM data) {
  auto* state = reinterpret_cast<BrowseState*>(data);
  switch (message) {
    case BFFM_INITIALIZED:
      if (!state->start.empty())
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->start.c_str()));
      break;
    case BFFM_VALIDATEFAILEDW:
      // A folder that does not exist yet: the caller asks before it is made.
      if (lp) state->typed = reinterpret_cast<const wchar_t*>(lp);
      return 0;  // close the dialog with this answer
    default: break;
  }
  return 0;
}

struct ItemFree {
  void operator()(ITEMIDLIST* p) const noexcept { CoTaskMemFree(p); }
};
struct TaskMemFree {
  void operator()(wchar_t* p) const noexcept { CoTaskMemFree(p); }
};

// The file-system path of a shell item, of any length; none for an item
// that is no folder on disk.
std::optional<std::wstring> item_path(const ITEMIDLIST* item) {
  wchar_t* raw = nullptr;
  const HRESULT hr = SHGetNameFromIDList(item, SIGDN_FILESYSPATH, &raw);
  const std::unique_ptr<wchar_t, TaskMemFree> owned(raw);
  if (FAILED(hr) || !raw || !raw[0]) return std::nullopt;
  return std::wstring(raw);
}

}  // namespace

std::optional<std::string> Win32FolderDialog::select_directory(std::string_view start) {
  BrowseState state{widen(start), {}};
  while (state.start.size() > 3 && state.start.back() == L'\\') state.start.pop_back();
  // The dialog writes the chosen folder's display name here and takes the
  // buffer to be MAX_PATH characters long; the path itself is read below
  // without a size limit.
  std::wstring display(MAX_PATH, L'\0');
  BROWSEINFOW bi{};
  bi.hwndOwner = GetActiveWindow();
  bi.pszDisplayName = display.data();
  bi.lpszTitle = L"Select the directory you wish to install into";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
  bi.lpfn = &browse_callback;
  bi.lParam = reinterpret_cast<LPARAM>(&state);
  std::unique_ptr<ITEMIDLIST, ItemFree> item{SHBrowseForFolderW(&bi)};
  if (!state.typed.empty()) {
    // A relative name is taken inside the folder that was selected.
    const bool absolute = state.typed.size() > 1 && (state.typed[1] == L':' || state.typed.rfind(L"\\\\", 0) == 0);
    if (absolute || !item) return narrow(state.typed);
    const auto base = item_path(item.get());
    if (!base) return narrow(state.typed);
    std::wstring joined = *base;
    if (!joined.empty() && joined.back() != L'\\') joined += L'\\';
    return narrow(joined + state.typed);
  }
  if (!item) return std::nullopt;
  const auto path = item_path(item.get());
  if (!path) return std::nullopt;
  return narrow(*path);
}

}  // namespace brevaro::ui::win32
