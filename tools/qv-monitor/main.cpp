// The monitor program's stand-in: records every notification it is sent.
#include "cli/command_line.h"
#include "window_stand_in.h"

namespace {

constexpr qv::cli::Program kProgram{"qv-monitor", R"(Usage: qv-monitor
Stands in for the monitor program: listens as the window "Quorvane Monitor" (class
TWatchForm) in the machine root named by QUORVANE_HOME, answers every message with 0
and writes one line for it to monitor.log there. Ends on SIGTERM or SIGINT.

Options:
  --help     show this text
  --version  show the version

Exit status: 0 after a clean end, 1 when it cannot listen, 2 for a wrong argument.
)"};

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::takeNoArguments(kProgram, argc, argv)) return *status;
  return qv::tools::runWindowStandIn({"TWatchForm", "Quorvane Monitor", "monitor.log", std::nullopt});
}
