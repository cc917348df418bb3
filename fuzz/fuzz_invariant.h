#pragma once
// A broken invariant ends the run the way a crash does, so libFuzzer keeps
// the input that broke it and the fuzz run fails.

#include <cstdio>
#include <cstdlib>

inline void RequireInvariant(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}
