// The right-click helper's stand-in: records what it receives and ends when asked to stop.
#include "cli/command_line.h"
#include "window_stand_in.h"

namespace {

constexpr qv::cli::Program kProgram{"AltKey", R"(Usage: AltKey
Stands in for the right-click helper: listens as the window "Right Click Button" (class
TAltKeyForm) in the machine root named by QUORVANE_HOME, answers every message with 0
and writes one line for it to altkey.log there. Ends on message 0x5BE (stop), SIGTERM
or SIGINT.

Options:
  --help     show this text
  --version  show the version

Exit status: 0 after a clean end, 1 when it cannot listen, 2 for a wrong argument.
)"};

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::takeNoArguments(kProgram, argc, argv)) return *status;
  return qv::tools::runWindowStandIn({"TAltKeyForm", "Right Click Button", "altkey.log", 0x5BEu, {}});
}
