#include <iostream>
#include <string>
#include <vector>

#include "tools/region/region_tool.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as the host build: LF line ends.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  return brevaro::region::tool::run(args, std::cout, std::cerr);
}
