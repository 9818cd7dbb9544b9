// Stands in for the user's web browser or mail program in end-to-end tests:
// registered as the open command of a link scheme, it appends the link it was
// started with, one per line, to links.txt beside itself and ends.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The command line after the program's own name, without surrounding quotes.
std::string argument(const char* line) {
  std::string s(line);
  std::size_t i = 0;
  if (!s.empty() && s[0] == '"') {
    i = s.find('"', 1);
    i = i == std::string::npos ? s.size() : i + 1;
  } else {
    i = s.find(' ');
    if (i == std::string::npos) i = s.size();
  }
  while (i < s.size() && s[i] == ' ') ++i;
  std::string arg = s.substr(i);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') arg = arg.substr(1, arg.size() - 2);
  return arg;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path, n);
  file = file.substr(0, file.find_last_of('\\') + 1) + "links.txt";
  if (FILE* f = std::fopen(file.c_str(), "ab")) {
    const std::string line = argument(GetCommandLineA()) + "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return 0;
}
