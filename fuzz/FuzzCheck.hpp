#pragma once

// A property every input must keep: when it does not, the fuzzer stops with the property's
// name, and libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace velvix::fuzz {

inline void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

}  // namespace velvix::fuzz
