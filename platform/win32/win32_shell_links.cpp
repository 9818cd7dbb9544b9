#include "platform/win32/win32_shell_links.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>

namespace brevaro::platform::win32 {

namespace {

// The class and interfaces, spelled out so that nothing depends on which
// of them the import library happens to define.
constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ComRelease {
  void operator()(IUnknown* p) const noexcept {
    if (p) p->Release();
  }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease>;

std::wstring wide(std::string_view s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

}  // namespace

bool Win32ShellLinks::save_link(std::string_view target, std::string_view link_path) {
  void* raw = nullptr;
  const HRESULT hr = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA, &raw);
  if (FAILED(hr) || !raw) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    throw ShellLinkError(std::string("Cannot create the shell link object (error 0x") + code + ")");
  }
  ComPtr<IShellLinkA> link{static_cast<IShellLinkA*>(raw)};
  if (FAILED(link->SetPath(std::string(target).c_str()))) return false;
  void* file_raw = nullptr;
  if (FAILED(link->QueryInterface(kPersistFile, &file_raw)) || !file_raw) return false;
  ComPtr<IPersistFile> file{static_cast<IPersistFile*>(file_raw)};
  return SUCCEEDED(file->Save(wide(link_path).c_str(), FALSE));
}

std::optional<std::string> Win32ShellLinks::special_folder(SpecialFolder folder) const {
  const int csidl = folder == SpecialFolder::desktop_directory ? CSIDL_DESKTOPDIRECTORY : CSIDL_PROGRAMS;
  char buf[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) || !buf[0]) return std::nullopt;
  std::string path(buf);
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace brevaro::platform::win32
