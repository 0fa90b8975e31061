// OK from the key press to the driver's last request, the whole program: a private machine
// root made from the demo profile, qv-driverd and qv-monitor running, the real
// quorvane-panel on a virtual X display (Xvfb, started here), and a real Enter pressed
// with xdotool. Each run starts the panel afresh, presses Enter once its main window is
// shown and has the keyboard focus, and waits for OK to end the panel; qv-driverd stamps
// each request in its log (--log-times), and the run's time is the last request's stamp
// less the moment xdotool was started (its own start-up is part of the figure).
//
//   panel_ok_bench [runs]     (default 15) prints the median, spread and one
//                             "@figure <name> <value>" line per figure
#include "platform/posix/unix_window_endpoints.h"
#include "support/child_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/virtual_display.h"
#include "support/wait_for.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::test::ChildProcess;

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr const char* kTitle = "Quorvane Control Panel";

long long monotonicUs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1'000'000LL + ts.tv_nsec / 1000;
}

// The log's lines, each "<code> <input> <outcome> <monotonic µs>".
std::vector<std::string> logLines(const fs::path& log) {
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::optional<long long> stampOf(const std::string& line) {
  const auto space = line.rfind(' ');
  if (space == std::string::npos) return std::nullopt;
  char* end = nullptr;
  const long long us = std::strtoll(line.c_str() + space + 1, &end, 10);
  if (end == line.c_str() + space + 1 || *end != '\0') return std::nullopt;
  return us;
}

std::nullopt_t failed(const char* why) {
  std::fprintf(stderr, "panel_ok_bench: %s\n", why);
  return std::nullopt;
}

// Runs xdotool with args to its end; true when it ended with status 0 within limit.
bool xdotool(const std::vector<std::string>& args, std::chrono::milliseconds limit = 15s) {
  ChildProcess tool(kXdotool, args);
  return tool.started() && tool.waitExit(limit) == 0;
}

struct Run {
  double lastRequestMs = 0;  // key tool started -> last request of OK logged
  double keyToolMs = 0;      // key tool started -> key tool ended
  std::size_t requests = 0;  // requests OK made
};

// One start of the panel, Enter, and OK's requests; nullopt (with the reason printed) when
// the run did not go as a user's would.
std::optional<Run> runOnce(const fs::path& log) {
  qv::platform::UnixWindowMessenger messenger;
  ChildProcess panel("quorvane-panel");
  if (!panel.started()) return failed("quorvane-panel did not start");
  // The window on the display, given the keyboard focus (there is no window manager).
  if (!xdotool({"search", "--sync", "--onlyvisible", "--name", std::string("^") + kTitle + "$", "windowfocus", "--sync"},
               20s)) {
    return failed("the panel's window was not shown");
  }
  if (!qv::test::waitFor([&] { return messenger.windowExists("TMainForm", kTitle); }, 10s)) {
    return failed("the panel's window endpoint did not appear");
  }
  // Let the start-up settle: its own requests are not OK's.
  std::this_thread::sleep_for(300ms);
  const std::size_t before = logLines(log).size();

  const long long keyToolStarted = monotonicUs();
  const bool keyed = xdotool({"key", "--delay", "0", "Return"});
  const long long toolEnded = monotonicUs();
  if (!keyed) return failed("xdotool could not press Enter");
  const auto status = panel.waitExit(20s);
  if (status != 0) {
    std::fprintf(stderr, "panel_ok_bench: the panel did not end with status 0 after OK (%d)\n", status.value_or(-1));
    return std::nullopt;
  }
  const auto lines = logLines(log);
  if (lines.size() <= before) return failed("OK made no driver request");
  const auto last = stampOf(lines.back());
  if (!last) return failed("driverd.log has no time stamps");
  return Run{static_cast<double>(*last - keyToolStarted) / 1000.0, static_cast<double>(toolEnded - keyToolStarted) / 1000.0,
             lines.size() - before};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const fs::path binDir = fs::read_symlink("/proc/self/exe").parent_path();
  ::setenv("QV_BIN_DIR", binDir.c_str(), 1);

  qv::bench::VirtualDisplay display;
  if (!display.ready()) {
    std::fprintf(stderr, "panel_ok_bench: Xvfb did not start\n");
    return 2;
  }
  display.useForQtPrograms();
  qv::test::PrivateRoot root;  // also points restarts at a recorder
  const fs::path source = QV_BENCH_SOURCE_DIR;
  if (qv::test::runProgram((source / "packaging" / "qv-make-machine").string(),
                           {"--programs", binDir.string(), "--profile", (source / "share/demo/machine.reg").string(),
                            root.path().string()},
                           nullptr) != 0) {
    std::fprintf(stderr, "panel_ok_bench: the demo machine could not be made\n");
    return 2;
  }
  qv::test::DriverdProcess driverd({"--init-at-start", "--log-times"});
  if (!driverd.ready()) {
    std::fprintf(stderr, "panel_ok_bench: qv-driverd did not start\n");
    return 2;
  }
  qv::platform::UnixWindowMessenger messenger;
  ChildProcess monitor("qv-monitor");
  if (!qv::test::waitFor([&] { return messenger.windowExists("TWatchForm", "Quorvane Monitor"); }, 10s)) {
    std::fprintf(stderr, "panel_ok_bench: qv-monitor did not start\n");
    return 2;
  }

  std::vector<double> latency, keyTool;
  std::size_t requests = 0;
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    if (auto run = runOnce(root.path() / "driverd.log")) {
      latency.push_back(run->lastRequestMs);
      keyTool.push_back(run->keyToolMs);
      requests = run->requests;
    } else {
      ++failures;
    }
  }
  if (latency.empty()) {
    std::fprintf(stderr, "panel_ok_bench: no run went through\n");
    return 1;
  }
  std::vector<double> sorted = latency;
  std::sort(sorted.begin(), sorted.end());
  std::printf("OK by Enter on Xvfb %s to qv-driverd's last request, %zu runs (%zu requests each)\n",
              display.name().c_str(), latency.size(), requests);
  std::printf("  median %8.1f ms   min %8.1f ms   max %8.1f ms   (target median <= 50 ms)\n", median(latency),
              sorted.front(), sorted.back());
  std::printf("  xdotool itself, from its start to its end: median %.1f ms\n", median(keyTool));
  if (failures) std::printf("  %d runs failed\n", failures);
  std::printf("@figure ok.last_request_ms %.3f\n@figure ok.key_tool_ms %.3f\n", median(latency), median(keyTool));
  return failures == 0 ? 0 : 1;
}
