// Stands in for the user's web browser or mail program in end-to-end tests:
// registered as the open command of a link scheme, it appends the link it was
// started with (in UTF-8), one per line, to links.txt beside itself and ends.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/wide.h"

namespace {

// The command line after the program's own name, without surrounding quotes.
std::wstring argument(const wchar_t* line) {
  std::wstring s(line);
  std::size_t i = 0;
  if (!s.empty() && s[0] == L'"') {
    i = s.find(L'"', 1);
    i = i == std::wstring::npos ? s.size() : i + 1;
  } else {
    i = s.find(L' ');
    if (i == std::wstring::npos) i = s.size();
  }
  while (i < s.size() && s[i] == L' ') ++i;
  std::wstring arg = s.substr(i);
  if (arg.size() >= 2 && arg.front() == L'"' && arg.back() == L'"') arg = arg.substr(1, arg.size() - 2);
  return arg;
}

// This program's path; the buffer grows until the path fits.
std::wstring module_path() {
  std::wstring buf(260, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::wstring file = module_path();
  file = file.substr(0, file.find_last_of(L'\\') + 1) + L"links.txt";
  if (FILE* f = _wfopen(file.c_str(), L"ab")) {
    const std::string line = brevaro::platform::win32::narrow(argument(GetCommandLineW())) + "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return 0;
}
