// Costs of reaching other programs: finding a window, posting to it, sending to it and
// waiting for the answer (within this process and to a running qv-monitor), and
// starting a program.
#include "platform/manual_event_loop.h"
#include "platform/posix/posix_program_launcher.h"
#include "platform/posix/unix_window_endpoints.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using qv::platform::WindowMessage;

// A private machine root for the whole run.
struct PrivateMachine {
  PrivateMachine() {
    std::string dir = "/tmp/qvb-XXXXXX";
    if (!::mkdtemp(dir.data())) std::abort();
    root = dir;
    ::setenv("QUORVANE_HOME", dir.c_str(), 1);
    ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
  }
  ~PrivateMachine() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path root;
};

PrivateMachine& machine() {
  static PrivateMachine m;
  return m;
}

// A window in this process whose loop is pumped by a thread of its own.
class LocalWindow {
public:
  LocalWindow() {
    endpoint_ = factory_.listen("TBenchForm", "Bench", loop_, [this](const WindowMessage&) {
      handled_.fetch_add(1, std::memory_order_relaxed);
      return 0u;
    });
    pump_ = std::thread([this] {
      while (!stop_) loop_.runFor(50ms);
    });
  }
  ~LocalWindow() {
    stop_ = true;
    pump_.join();
    endpoint_.reset();
  }
  bool ok() const { return endpoint_ != nullptr; }
  long handled() const { return handled_.load(); }

private:
  qv::platform::ManualEventLoop loop_;
  qv::platform::UnixWindowEndpointFactory factory_;
  std::unique_ptr<qv::platform::WindowEndpoint> endpoint_;
  std::atomic<long> handled_{0};
  std::atomic<bool> stop_{false};
  std::thread pump_;
};

void BM_FindWindow(benchmark::State& state) {
  machine();
  LocalWindow window;
  qv::platform::UnixWindowMessenger messenger;
  for (auto _ : state) benchmark::DoNotOptimize(messenger.windowExists("TBenchForm", "Bench"));
}
BENCHMARK(BM_FindWindow)->Unit(benchmark::kMicrosecond);

void BM_PostUntilHandled(benchmark::State& state) {
  machine();
  LocalWindow window;
  qv::platform::UnixWindowMessenger messenger;
  long sent = 0;
  for (auto _ : state) {
    messenger.post("TBenchForm", "Bench", {0x5BE, 0, 0});
    ++sent;
  }
  while (window.handled() < sent) std::this_thread::sleep_for(1ms);
}
BENCHMARK(BM_PostUntilHandled)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SendWithinProcess(benchmark::State& state) {
  machine();
  LocalWindow window;
  qv::platform::UnixWindowMessenger messenger;
  for (auto _ : state) {
    if (!messenger.send("TBenchForm", "Bench", {0x5BC, 0, 0})) state.SkipWithError("no answer");
  }
}
BENCHMARK(BM_SendWithinProcess)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SendToMonitorProgram(benchmark::State& state) {
  machine();
  const std::string program = std::string(QV_BENCH_BIN_DIR) + "/qv-monitor";
  if (::access(program.c_str(), X_OK) != 0) {
    state.SkipWithError("qv-monitor is not built");
    return;
  }
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  qv::platform::UnixWindowMessenger messenger;
  for (int i = 0; i < 500 && !messenger.windowExists("TWatchForm", "Quorvane Monitor"); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  for (auto _ : state) {
    if (!messenger.send("TWatchForm", "Quorvane Monitor", {0x5BC, 0, 0})) state.SkipWithError("no answer");
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}
BENCHMARK(BM_SendToMonitorProgram)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_StartProgram(benchmark::State& state) {
  machine();
  qv::platform::PosixProgramLauncher launcher;
  for (auto _ : state) {
    if (launcher.startProgram("/bin/true") <= 31) state.SkipWithError("start failed");
  }
}
BENCHMARK(BM_StartProgram)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
