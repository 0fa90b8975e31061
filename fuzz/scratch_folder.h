#pragma once
// A folder of the fuzz target's own under /tmp, for its sockets: made on first use and
// removed when the process ends, after everything made later that lives in it.
#include <stdlib.h>

#include <filesystem>

inline const std::filesystem::path& scratchFolder() {
  static char dir[] = "/tmp/qv-fuzz-XXXXXX";
  static const std::filesystem::path path = ::mkdtemp(dir) ? dir : (std::abort(), "");
  static const struct Cleanup { ~Cleanup() { std::filesystem::remove_all(path); } } cleanup;
  return path;
}
