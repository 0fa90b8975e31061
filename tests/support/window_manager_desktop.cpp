#include "support/window_manager_desktop.h"

#include "support/program_run.h"
#include "support/wait_for.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

namespace qv::test {

namespace {

constexpr const char* kOpenbox = "/usr/bin/openbox";
constexpr const char* kTint2 = "/usr/bin/tint2";
constexpr const char* kXprop = "/usr/bin/xprop";

// The root window's work area as "left, top, width, height"; empty before a window
// manager published one.
std::string workArea() {
  const auto shown = runProgram(kXprop, {"-root", "_NET_SUPPORTING_WM_CHECK", "_NET_WORKAREA"});
  std::smatch m;
  static const std::regex area("_NET_WORKAREA\\(CARDINAL\\) = (\\d+, \\d+, \\d+, \\d+)");
  if (shown.out.find("window id") == std::string::npos || !std::regex_search(shown.out, m, area)) return {};
  return m[1];
}

std::string screenArea() {
  std::smatch m;
  const std::string size = runProgram("/usr/bin/xdotool", {"getdisplaygeometry"}).out;
  static const std::regex pair("(\\d+) (\\d+)");
  return std::regex_search(size, m, pair) ? "0, 0, " + m[1].str() + ", " + m[2].str() : std::string{};
}

}  // namespace

WindowManagerDesktop::WindowManagerDesktop(std::chrono::milliseconds limit) {
  for (const char* program : {kOpenbox, kTint2, kXprop}) {
    if (!std::filesystem::exists(program)) {
      problem_ = std::string(program) + " is missing: scripts/setup installs openbox, tint2 and x11-utils";
      return;
    }
  }
  const std::string screen = screenArea();
  // Both talk a lot on their standard error; none of it is the test's.
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  windowManager_ = std::make_unique<ChildProcess>(kOpenbox, std::vector<std::string>{"--sm-disable"}, quiet);
  bar_ = std::make_unique<ChildProcess>(
      kTint2, std::vector<std::string>{"-c", QV_TEST_SOURCE_DIR "/share/desktop/tint2rc"}, quiet);
  if (quiet >= 0) ::close(quiet);
  // The bar is there once the window manager took its strip off the work area.
  std::string area;
  if (!waitFor(
          [&] {
            area = workArea();
            return !area.empty() && area != screen;
          },
          limit)) {
    problem_ = "openbox and the tint2 bar did not come up (work area \"" + area + "\", screen \"" + screen + "\")";
  }
}

}  // namespace qv::test
