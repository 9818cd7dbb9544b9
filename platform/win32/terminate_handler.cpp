// The programs' handler for an exception that nothing caught. The C++
// runtime's default one prints the exception's type, which links in its
// whole name demangler (about 50 KB in every executable), and prints it to a
// standard error that a windowed program does not have. This one only ends
// the program, as the default one does after printing. Each executable lists
// this file among its own sources: the definition has to be in place before
// the runtime library is searched, or the runtime's own is linked instead.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
