// Start-up cost of the panel: process start to main window shown, and resident memory
// then, against a minimal Qt Widgets program with one tab widget built by the same build,
// offscreen and on a virtual X display (Xvfb, started by this program).
//
//   panel_start_bench [runs] [offscreen|xvfb]
//                                   runs both programs alternately (default 10 times each)
//                                   on each display (default both) and prints medians and
//                                   ratios, and one "@figure <name> <value>" line per figure
//   panel_start_bench --minimal     is the minimal program itself
//
// Each program prints "startup_ms=<ms> rss_kb=<kB>" once its window has been painted and
// then ends (QV_STARTUP_REPORT); the time runs from QV_START_NS, taken just before spawn.
#include "app/startup_report.h"
#include "support/virtual_display.h"

#include <QApplication>
#include <QTabWidget>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

int runMinimal(int argc, char** argv) {
  QApplication app(argc, argv);
  QTabWidget tabs;
  tabs.addTab(new QWidget, QStringLiteral("Tab"));
  tabs.resize(552, 420);
  qv::app::installStartupActions(tabs, &tabs);
  tabs.show();
  return app.exec();
}

long long nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec;
}

struct Sample {
  double ms = 0;
  long rssKb = 0;
};

// Runs program once with the given extra environment; its report, if it gave one.
std::optional<Sample> runOnce(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return std::nullopt;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("QV_STARTUP_REPORT=1");
  env.push_back("QV_START_NS=" + std::to_string(nowNs()));
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; rc == 0 && (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  if (rc != 0) return std::nullopt;
  int status = 0;
  waitpid(pid, &status, 0);
  Sample s;
  const auto at = text.find("startup_ms=");
  if (at == std::string::npos || std::sscanf(text.c_str() + at, "startup_ms=%lf rss_kb=%ld", &s.ms, &s.rssKb) != 2) {
    return std::nullopt;
  }
  return s;
}

template <class T>
T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A private machine root holding the demo machine's store, for the panel to start on.
fs::path makeMachine(const fs::path& binDir) {
  std::string pattern = "/tmp/qvb-XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  const fs::path root = pattern;
  std::ifstream in(fs::path(QV_BENCH_SOURCE_DIR) / "share" / "demo" / "machine.reg");
  std::string reg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (const auto at = reg.find("@BIN_DIR@"); at != std::string::npos) reg.replace(at, 9, binDir.string());
  std::ofstream(root / "registry.reg") << reg;
  return root;
}

// Runs both programs alternately on the display the environment names; prints the medians
// and their figures under the name prefix. False when either program never reported.
bool compare(int runs, const fs::path& binDir, const char* display, const std::string& prefix) {
  const std::string panel = (binDir / "quorvane-panel").string();
  const std::string self = (binDir / "panel_start_bench").string();
  std::vector<double> panelMs, minimalMs;
  std::vector<long> panelKb, minimalKb;
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    // Alternate, so that a slow phase of the machine hits both alike.
    if (auto s = runOnce(panel, {})) {
      panelMs.push_back(s->ms);
      panelKb.push_back(s->rssKb);
    } else {
      ++failures;
    }
    if (auto s = runOnce(self, {"--minimal"})) {
      minimalMs.push_back(s->ms);
      minimalKb.push_back(s->rssKb);
    } else {
      ++failures;
    }
  }
  if (panelMs.empty() || minimalMs.empty()) {
    std::fprintf(stderr, "%s: no report from %s\n", display, panelMs.empty() ? "quorvane-panel" : "the minimal program");
    return false;
  }
  const double pm = median(panelMs), mm = median(minimalMs);
  const long pk = median(panelKb), mk = median(minimalKb);
  std::printf("start to window shown, %d runs each, %s (medians)\n", runs, display);
  std::printf("  %-24s %9.1f ms %9ld kB\n", "quorvane-panel", pm, pk);
  std::printf("  %-24s %9.1f ms %9ld kB\n", "minimal one-tab program", mm, mk);
  std::printf("  %-24s %9.2fx    %9.2fx     (targets <= 1.50x time, <= 1.30x memory)\n", "ratio", pm / mm,
              static_cast<double>(pk) / static_cast<double>(mk));
  if (failures) std::printf("  %d runs gave no report\n", failures);
  std::printf("@figure %s.panel_ms %.3f\n@figure %s.minimal_ms %.3f\n", prefix.c_str(), pm, prefix.c_str(), mm);
  std::printf("@figure %s.panel_kb %ld\n@figure %s.minimal_kb %ld\n", prefix.c_str(), pk, prefix.c_str(), mk);
  std::fflush(stdout);
  return true;
}

int runComparison(int runs, bool offscreen, bool xvfb) {
  const fs::path binDir = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path machine = makeMachine(binDir);
  if (machine.empty()) return 1;
  setenv("QUORVANE_HOME", machine.c_str(), 1);
  setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
  bool ok = true;
  if (offscreen) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ok = compare(runs, binDir, "offscreen", "start.offscreen") && ok;
  }
  if (xvfb) {
    qv::bench::VirtualDisplay display;
    if (display.ready()) {
      display.useForQtPrograms();
      ok = compare(runs, binDir, ("Xvfb " + display.name()).c_str(), "start.xvfb") && ok;
    } else {
      std::fprintf(stderr, "Xvfb did not start\n");
      ok = false;
    }
  }
  fs::remove_all(machine);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--minimal") == 0) return runMinimal(argc, argv);
  int runs = 10;
  bool offscreen = true, xvfb = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "offscreen") == 0) {
      xvfb = false;
    } else if (std::strcmp(argv[i], "xvfb") == 0) {
      offscreen = false;
    } else if (std::atoi(argv[i]) > 0) {
      runs = std::atoi(argv[i]);
    } else {
      std::fprintf(stderr, "usage: panel_start_bench [runs] [offscreen|xvfb] | --minimal\n");
      return 2;
    }
  }
  return runComparison(runs, offscreen, xvfb);
}
