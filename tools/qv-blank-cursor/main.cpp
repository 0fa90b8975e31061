// qv-blank-cursor FILE: writes the blank (fully transparent) cursor file.
#include "blank_cursor.h"
#include "cli/command_line.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr qv::cli::Program kProgram{"qv-blank-cursor", R"(Usage: qv-blank-cursor FILE
Writes a 32x32 cursor file in which every pixel is transparent.

Options:
  --help     show this text
  --version  show the version
)"};

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::answerHelpOrVersion(kProgram, argc, argv)) return *status;
  if (argc != 2) return qv::cli::refuse(kProgram, argc < 2 ? "no FILE given" : "only one FILE is written");
  if (qv::cli::isOption(argv[1])) return qv::cli::refuse(kProgram, std::string("unknown option ") + argv[1]);
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
