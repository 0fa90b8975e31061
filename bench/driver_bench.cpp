// Round trips through the driver's socket to a running qv-driverd in a private machine
// root: one request on an open connection, and a whole channel operation (open, one
// request, close) as the panel does it for every user action.
#include "driver/driver_channel.h"
#include "platform/posix/socket_device_io.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A private machine root with qv-driverd serving it, for the whole program run.
class Driver {
public:
  Driver() {
    std::string dir = "/tmp/qvb-XXXXXX";
    if (!::mkdtemp(dir.data())) std::abort();
    root_ = dir;
    ::setenv("QUORVANE_HOME", dir.c_str(), 1);
    ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
    const std::string program = std::string(QV_BENCH_BIN_DIR) + "/qv-driverd";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    qv::platform::SocketDeviceIo io;
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
      if (io.open(socket())) return;
      std::this_thread::sleep_for(10ms);
    }
    std::fprintf(stderr, "qv-driverd did not start from %s\n", program.c_str());
    std::abort();
  }
  ~Driver() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  std::filesystem::path socket() const { return root_ / "dev" / "QV.VXD"; }

private:
  std::filesystem::path root_;
  pid_t pid_ = -1;
};

Driver& driver() {
  static Driver d;
  return d;
}

void BM_RequestRoundTrip(benchmark::State& state) {
  qv::platform::SocketDeviceIo io;
  auto handle = io.open(driver().socket());
  if (!handle) {
    state.SkipWithError("cannot open the driver");
    return;
  }
  std::array<std::uint8_t, 20> stats{};
  for (auto _ : state) {
    if (!handle->control(0x0C, {}, stats)) state.SkipWithError("request failed");
    benchmark::DoNotOptimize(stats);
  }
}
BENCHMARK(BM_RequestRoundTrip)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

void BM_ChannelOperation(benchmark::State& state) {
  qv::platform::SocketDeviceIo io;
  qv::driver::DriverChannel channel(io, driver().socket());
  qv::driver::LineStatistics stats;
  for (auto _ : state) {
    auto session = channel.open();
    if (!session) state.SkipWithError("cannot open the driver");
    else session->readLineStatistics(stats);
  }
}
BENCHMARK(BM_ChannelOperation)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
