#pragma once
// The part of the command line every program of the project shares: --help prints the
// program's usage, --version its name and the project's version, and an argument the
// program does not know is refused with the usage on standard error. Nothing else is
// done first, so these answers never create a machine root, a socket or a window.
#include <functional>
#include <optional>
#include <string_view>

namespace qv::cli {

// The exit status of a usage error.
inline constexpr int kUsageError = 2;

struct Program {
  std::string_view name;   // as it is started, e.g. "qv-monitor"
  std::string_view usage;  // the whole --help text, ending in a newline
};

// The project's version as the build names it, e.g. "3.1.03".
std::string_view projectVersion();

// When an argument (before a "--") is --help or -h, prints the usage on standard output;
// when it is --version, prints "NAME VERSION". Returns 0 then, so the program ends at
// once; nullopt when neither was asked for.
std::optional<int> answerHelpOrVersion(const Program& program, int argc, char** argv);

// For programs that take no arguments: answers --help and --version, refuses anything
// else. Returns the exit status when the program is to end now, nullopt to go on.
std::optional<int> takeNoArguments(const Program& program, int argc, char** argv);

// Prints "NAME: problem" and the usage on standard error; returns kUsageError.
int refuse(const Program& program, std::string_view problem);

// Whether an argument looks like an option ("-x", "--xyz"); "-" alone is no option.
bool isOption(std::string_view argument);

// Whether the window system can be reached as far as the environment tells: the Qt
// platform named by QT_QPA_PLATFORM needs no display (offscreen, minimal, vnc, ...), or
// the display its platform needs is named (DISPLAY, WAYLAND_DISPLAY). Looked at before
// the application object exists, which otherwise aborts the program without a display.
using Environment = std::function<const char*(const char*)>;
bool hasDisplay(const Environment& environment);
bool hasDisplay();

}  // namespace qv::cli
