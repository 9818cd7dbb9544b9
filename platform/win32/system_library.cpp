#include "platform/win32/system_library.h"

#include <windows.h>

#include <string>

namespace brevaro::platform::win32 {

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

FARPROC kernel32_proc(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? GetProcAddress(kernel, name) : nullptr;
}

// The LOAD_LIBRARY_SEARCH_* flags came with AddDllDirectory: where that
// function exists, LoadLibraryEx understands them.
bool search_flags_supported() { return kernel32_proc("AddDllDirectory") != nullptr; }

}  // namespace

std::wstring system_directory() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const UINT n = GetSystemDirectoryW(buf.data(), static_cast<UINT>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(n);  // n is the size needed, terminator included
  }
}

UniqueModule load_system_library(std::wstring_view file_name) {
  const std::wstring name(file_name);
  if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return UniqueModule{};
  }
  if (search_flags_supported())
    return UniqueModule{LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)};
  const std::wstring folder = system_directory();
  if (folder.empty()) return UniqueModule{};
  // The library's own dependencies are then searched from its folder first.
  const std::wstring path = folder + L"\\" + name;
  return UniqueModule{LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)};
}

bool restrict_library_search() {
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void (*)()>(kernel32_proc("SetDefaultDllDirectories")));
  return set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace brevaro::platform::win32
