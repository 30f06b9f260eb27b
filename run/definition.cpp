// Out-of-line parts of the shared definitions.
#include "run/definition.hpp"

#include <cstdio>
#include <cstdlib>

namespace routava {

[[noreturn]] void bounds_failure(const char* file, int line) {
  std::fprintf(stderr, "routava: table index out of bounds at %s:%d\n", file, line);
  std::abort();
}

}  // namespace routava
