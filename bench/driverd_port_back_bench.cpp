// A controller port that comes back: from the moment the simulator's port is linked again
// (a USB serial adapter plugged in) to the first touch the driver counts from it, with
// the driver as the service runs it (its controller must answer). Median of 10 returns.
#include "driver/driver_channel.h"
#include "platform/posix/socket_device_io.h"
#include "support/controller_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::uint32_t penDowns(qv::driver::DriverChannel& channel) {
  qv::driver::LineStatistics stats;
  auto session = channel.open();
  return session && session->readLineStatistics(stats) ? stats.penDowns : 0;
}

void BM_PortBackToTouches(benchmark::State& state) {
  qv::test::PrivateRoot root;
  root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_COM\"=\"COM1\"\n"
                     "\"ChipBaudRate\"=\"19200\"\n");
  auto controller = std::make_unique<qv::test::ControllerProcess>(root.path(), "COM1", "T303");
  qv::test::DriverdProcess driverd({}, false);
  qv::platform::SocketDeviceIo io(2000ms);
  qv::driver::DriverChannel channel(io);
  if (!controller->linked() || !driverd.ready()) {
    state.SkipWithError("no simulator or no driver");
    return;
  }
  const auto gone = [&] { return root.readRegistry().find("is gone") != std::string::npos; };
  std::vector<double> ms;
  for (auto _ : state) {
    controller.reset();  // pulled
    for (auto until = Clock::now() + 5s; !gone() && Clock::now() < until;) std::this_thread::sleep_for(1ms);
    const std::uint32_t before = penDowns(channel);
    controller = std::make_unique<qv::test::ControllerProcess>(root.path(), "COM1", "T303");
    const auto back = Clock::now();  // linked again, within a millisecond
    // A finger rests on the screen: reports keep coming until the driver takes them.
    controller->play("down 100 50");
    bool touched = false;
    for (auto until = back + 5s; !touched && Clock::now() < until;) {
      controller->play("move 100 50");
      std::this_thread::sleep_for(2ms);
      touched = penDowns(channel) > before;
    }
    const auto took = Clock::now() - back;
    controller->play("up");
    if (!touched) {
      state.SkipWithError("no touch within 5 s of the port coming back");
      return;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(took).count());
    state.SetIterationTime(ms.back() / 1000.0);
  }
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_PortBackToTouches)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
