// The brevaro-region tool as a function, so that tests can run it in-process:
//   brevaro-region [--window W,H] [--client X,Y,W,H] [--caption N]
//                  [--bitmap NAME=FILE.bmp[,trans=RRGGBB][,inverted][,source]]
//                  [--png OUT.png] DESCRIPTION
// Prints "rect L T R B" per rectangle (canonical banded order) and
// "bbox L T R B", exit 0 (no region built: only "bbox 0 0 0 0");
// "error: <message>" and exit 1 on an evaluation error; usage errors exit 2.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace brevaro::region::tool {

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "\n" (backslash, n) stands for CR LF.
std::string unescape_description(const std::string& text);

}  // namespace brevaro::region::tool
