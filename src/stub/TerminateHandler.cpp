// The stub's handler for an exception that escapes everything (which the entry point's own
// handlers never let happen): a short line and an abort. It stands in for the C++ runtime's
// verbose handler, whose name demangler would add some 40 KB to every bundle.

#include <cstdio>
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    fputs("qnlaunch: internal error: an exception was not handled\n", stderr);
    abort();
}

}  // namespace __gnu_cxx
