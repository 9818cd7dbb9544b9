// A library that does nothing but leave a mark when a process loads it: the
// end-to-end tests plant it beside a program under the name of a system
// library ("icmp.dll") and then look for "<its own path>.loaded", which holds
// the path of the program that loaded it.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size())));
  std::wstring program(32768, L'\0');
  program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  HANDLE f = CreateFileW((path + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    // The loading program's path in UTF-16, then CR LF.
    const std::wstring line = program + L"\r\n";
    DWORD written = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
  }
  return TRUE;
}
