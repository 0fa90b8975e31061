// Detection against qv-controller-sim on pseudo-terminals in a private machine root:
//  - show -> found for a controller answering at 19200 (the newer chip, found at tick 2),
//    through the window-less prober and through the Qt detection window;
//  - the presence test of a port that is absent;
//  - the whole Detect flow over four ports, the controller on the last, against the
//    protocol's own bound (three silent ports x 13 ticks + 2 ticks).
// Times are real: every tick is the window's 500 ms.
#include "detect/detect_flow.h"
#include "detect/machine_ports.h"
#include "detect/port_prober.h"
#include "detect/qt/detect.h"
#include "platform/posix/system_store.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A private machine root for the whole program run.
class Root {
public:
  Root() {
    std::string dir = "/tmp/qvd-XXXXXX";
    if (!::mkdtemp(dir.data())) std::abort();
    path_ = dir;
    ::setenv("QUORVANE_HOME", dir.c_str(), 1);
    ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
  }
  ~Root() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
};

Root& root() {
  static Root r;
  return r;
}

// qv-controller-sim on one port while the object lives.
class Sim {
public:
  explicit Sim(std::vector<std::string> args) {
    port_ = args[1];
    const std::string program = std::string(QV_BENCH_BIN_DIR) + "/qv-controller-sim";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
      if (fs::is_symlink(root().path() / "dev" / port_)) return;
      std::this_thread::sleep_for(10ms);
    }
    std::fprintf(stderr, "qv-controller-sim did not link %s\n", port_.c_str());
    std::abort();
  }
  ~Sim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

private:
  std::string port_;
  pid_t pid_ = -1;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_ShowToFoundAt19200_Prober(benchmark::State& state) {
  root();
  Sim sim({"--port", "COM2", "--model", "7C4A"});
  double overhead = 0;
  for (auto _ : state) {
    qv::detect::ProbeState probeState;
    qv::detect::PortProber prober(probeState, qv::detect::realTimeTicks(), qv::detect::machinePortOpener());
    prober.setPortName("COM2");
    const auto start = Clock::now();
    prober.showModal();
    const auto took = Clock::now() - start;
    if (!prober.result().DetFound || prober.ticks() != 2) state.SkipWithError("not found at tick 2");
    state.SetIterationTime(seconds(took));
    overhead += seconds(took) - 2 * 0.5;
  }
  state.counters["after_tick2_ms"] = overhead / static_cast<double>(state.iterations()) * 1000;
  // The line's read interval holds every burst back until the line has been quiet 100 ms.
  state.counters["beyond_read_interval_ms"] = state.counters["after_tick2_ms"] - 100;
}
BENCHMARK(BM_ShowToFoundAt19200_Prober)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ShowToFoundAt19200_Window(benchmark::State& state) {
  root();
  Sim sim({"--port", "COM2", "--model", "7C4A"});
  double overhead = 0;
  for (auto _ : state) {
    qv::detect::ProbeState probeState;
    qv::detect::TDetectForm form(nullptr, probeState);
    form.setPortName("COM2");
    const auto start = Clock::now();
    form.showModal();
    const auto took = Clock::now() - start;
    if (!form.result().DetFound) state.SkipWithError("not found");
    state.SetIterationTime(seconds(took));
    overhead += seconds(took) - 2 * 0.5;
  }
  state.counters["after_tick2_ms"] = overhead / static_cast<double>(state.iterations()) * 1000;
  // The line's read interval holds every burst back until the line has been quiet 100 ms.
  state.counters["beyond_read_interval_ms"] = state.counters["after_tick2_ms"] - 100;
}
BENCHMARK(BM_ShowToFoundAt19200_Window)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_PresenceOfAnAbsentPort(benchmark::State& state) {
  root();
  for (auto _ : state) benchmark::DoNotOptimize(qv::detect::machinePortPresent("COM7"));
}
BENCHMARK(BM_PresenceOfAnAbsentPort)->Unit(benchmark::kMicrosecond);

// Labels and port controls of the main window for one run of the flow.
struct Panel {
  std::string type, firmware, baud, status, comboText = "COM1", irq = "4", port = "3F8H";
  std::vector<std::string> items{"COM1", "COM2", "COM3", "COM4"};
  std::vector<std::string> irqs{"4", "3", "4", "3"};
  int index = 0;
  bool comboEnabled = true, irqEnabled = false, portEnabled = false, userDefine = false;
  bool initialEnabled = false;  // a restart is pending: every port is probed
};

struct NoPrompts final : qv::platform::UserPrompts {
  void notice(std::string_view) override {}
  bool askYesNo(std::string_view, std::string_view) override { return false; }
  void error(std::string_view) override {}
};

void BM_DetectFourPortsControllerOnTheLast(benchmark::State& state) {
  root();
  Sim s1({"--port", "COM1", "--model", "T303", "--silent"});
  Sim s2({"--port", "COM2", "--model", "T303", "--silent"});
  Sim s3({"--port", "COM3", "--model", "T303", "--silent"});
  Sim s4({"--port", "COM4", "--model", "7C4A"});
  const auto storeHandle = qv::platform::openSystemStore();
  qv::platform::RegistryStore& store = *storeHandle;
  NoPrompts prompts;
  const double bound = (3 * 13 + 2) * 0.5;
  double ratio = 0;
  for (auto _ : state) {
    Panel p;
    bool quiet = false;
    qv::detect::ProbeState probeState;
    qv::detect::DetectControls controls{p.type,  p.firmware,     p.baud,      p.status,     p.items,
                                        p.index, p.comboText,    p.comboEnabled, p.irq,     p.port,
                                        p.irqEnabled, p.portEnabled, p.userDefine, p.initialEnabled, p.irqs};
    qv::detect::DetectServices services{
        store, prompts, quiet, nullptr, qv::detect::machinePortPresent,
        [&]() -> std::unique_ptr<qv::detect::DetectWindow> {
          return std::make_unique<qv::detect::PortProber>(probeState, qv::detect::realTimeTicks(),
                                                          qv::detect::machinePortOpener());
        },
        nullptr, nullptr, nullptr};
    const auto start = Clock::now();
    qv::detect::runDetectFlow(controls, services);
    const auto took = Clock::now() - start;
    if (p.status != "Found" || p.index != 3) state.SkipWithError("controller not found on COM4");
    state.SetIterationTime(seconds(took));
    ratio += seconds(took) / bound;
  }
  state.counters["ratio_to_bound"] = ratio / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DetectFourPortsControllerOnTheLast)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
