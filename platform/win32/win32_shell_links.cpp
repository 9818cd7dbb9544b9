#include "platform/win32/win32_shell_links.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/win32/wide.h"

namespace brevaro::platform::win32 {

namespace {

// The class, interfaces and folder identifiers, spelled out so that nothing
// depends on which of them the import library happens to define.
constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kFolderDesktop = {0xB4BFCC3A, 0xDB2C, 0x424C, {0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41}};
constexpr GUID kFolderPrograms = {0xA77F5D77, 0x2E2B, 0x44C3, {0xA6, 0xA2, 0xAB, 0xA6, 0x01, 0x05, 0x4A, 0x51}};
constexpr GUID kFolderStartMenu = {0x625B53C3, 0xAB48, 0x4EC1, {0xBA, 0x1F, 0xA1, 0xEF, 0x41, 0x46, 0xFC, 0x19}};
constexpr GUID kFolderLocalAppData = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr GUID kFolderUserProgramFiles = {0x5CD7AEE2, 0x2219, 0x4A67, {0xB8, 0x5D, 0x6C, 0x9C, 0xE1, 0x56, 0x60, 0xCB}};

struct ComRelease {
  void operator()(IUnknown* p) const noexcept {
    if (p) p->Release();
  }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease>;

struct TaskMemFree {
  void operator()(wchar_t* p) const noexcept { CoTaskMemFree(p); }
};

// The folder the shell knows by this identifier, without a trailing
// backslash (a drive root keeps its own); none when it has none.
std::optional<std::string> known_folder(const GUID& id) {
  wchar_t* raw = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &raw);
  const std::unique_ptr<wchar_t, TaskMemFree> owned(raw);  // freed also when the call failed
  if (FAILED(hr) || !raw || !raw[0]) return std::nullopt;
  std::string path = narrow(raw);
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

bool Win32ShellLinks::save_link(std::string_view target, std::string_view link_path) {
  void* raw = nullptr;
  const HRESULT hr = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW, &raw);
  if (FAILED(hr) || !raw) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    throw ShellLinkError(std::string("Cannot create the shell link object (error 0x") + code + ")");
  }
  ComPtr<IShellLinkW> link{static_cast<IShellLinkW*>(raw)};
  if (FAILED(link->SetPath(widen(target).c_str()))) return false;
  void* file_raw = nullptr;
  if (FAILED(link->QueryInterface(kPersistFile, &file_raw)) || !file_raw) return false;
  ComPtr<IPersistFile> file{static_cast<IPersistFile*>(file_raw)};
  return SUCCEEDED(file->Save(widen(link_path).c_str(), FALSE));
}

std::optional<std::string> Win32ShellLinks::special_folder(SpecialFolder folder) const {
  switch (folder) {
    case SpecialFolder::desktop_directory: return known_folder(kFolderDesktop);
    case SpecialFolder::programs: return known_folder(kFolderPrograms);
    case SpecialFolder::start_menu: return known_folder(kFolderStartMenu);
    case SpecialFolder::local_app_data: return known_folder(kFolderLocalAppData);
    case SpecialFolder::user_program_files: break;
  }
  // Where the system does not name the user's own programs folder (some
  // answer E_INVALIDARG), it is the one Windows defines it to be.
  if (auto own = known_folder(kFolderUserProgramFiles)) return own;
  auto local = known_folder(kFolderLocalAppData);
  if (!local) return std::nullopt;
  return *local + "\\Programs";
}

}  // namespace brevaro::platform::win32
