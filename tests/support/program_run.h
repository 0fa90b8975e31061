#pragma once
// Runs a program to its end for a test, with its standard output and standard error
// caught apart and its environment changed only for it.
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

struct ProgramRun {
  std::optional<int> status;  // exit code, 128 + signal number; nullopt when it had to be killed
  std::string out;
  std::string err;
};

// A variable to set to a value, or to remove (nullopt), for the program only.
using EnvironmentChange = std::pair<std::string, std::optional<std::string>>;

// Starts program (a built program's name, found in binDir(), or an absolute path) with
// standard input /dev/null and waits for its end; one still running after limit is
// killed, which is a fault of the program, not a measure of time.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<EnvironmentChange>& environment = {},
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace qv::test
