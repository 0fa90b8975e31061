#pragma once
// A property a fuzz target holds the code to: when it fails, the input is a finding.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "fuzz check failed: %s\n", #condition), std::abort()))
