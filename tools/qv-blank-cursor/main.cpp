// qv-blank-cursor FILE: writes the blank (fully transparent) cursor file.
#include "blank_cursor.h"

#include <cstdio>
#include <cstring>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs("Usage: qv-blank-cursor FILE\nWrites a 32x32 cursor file in which every pixel is transparent.\n",
               argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  const auto bytes = qv::tools::blankCursorFile();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "qv-blank-cursor: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
